// The fuzz entry points: see FuzzEntries.h.
#include "fuzz/FuzzEntries.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "cli/CliOperations.h"
#include "core/OperationHost.h"
#include "core/VersionInfo.h"
#include "flv/Amf0.h"
#include "flv/FlvFile.h"
#include "media/avi/WaveFileACM.h"
#include "platform/AsfReader.h"
#include "platform/AviFile.h"
#include "platform/ByteIO.h"
#include "platform/Profile.h"
#include "platform/Registry.h"

namespace vt::fuzz {

namespace {

// Work bounds of one run: enough to reach every part of a small file, few
// enough that a file claiming billions of samples does not stall the run.
constexpr int kMaxReads = 4096;
constexpr int32_t kReadBufferBytes = 64 * 1024;

// A folder of our own for the run's files, removed at exit.
class ScratchDir {
  public:
    ScratchDir() {
        const char* tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vt-fuzz-XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (mkdtemp(buf.data())) path_ = buf.data();
        // The operations keep their settings in the user's registry store:
        // ours goes to this folder, never to the real one.
        if (!path_.empty()) setenv("XDG_CONFIG_HOME", path_.c_str(), 1);
    }
    ~ScratchDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    std::string File(const char* name) const { return path_ + "/" + name; }
    // Empties the folder (outputs of the previous run).
    void Clear() const {
        std::error_code ec;
        for (auto& e : std::filesystem::directory_iterator(path_, ec))
            std::filesystem::remove_all(e.path(), ec);
    }

  private:
    std::string path_;
};

const ScratchDir& Scratch() {
    static ScratchDir dir;
    return dir;
}

// Writes the input to a file of the scratch folder; false when it cannot.
bool WriteInput(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

// Runs everything to its end: never stops, answers OK, keeps quiet.
class QuietHost : public OperationHost {
  public:
    void ReportProgress(double) override {}
    bool StopRequested() const override { return error_; }
    void ReportError(const std::string&, int code) override {
        if (code) error_ = true;
    }
    bool AskOkCancel(const std::string&, const std::string&) override { return true; }
    void Diagnostic(const std::string&) override {}

  private:
    bool error_ = false;
};

class NoProgress : public CFlvProcess {
  public:
    int OnProgress(uint32_t, uint32_t) override { return 0; }
};

std::unique_ptr<ByteIO> View(const uint8_t* data, size_t size) {
    return std::make_unique<MemoryIO>(std::span<const uint8_t>(data, size));
}

// Reads one stream of an open AVI or WAV file the ways the operations do.
void ReadAviStream(AviStream& s, std::vector<uint8_t>& buf) {
    AviStreamInfo info;
    (void)s.Info(info);
    int32_t fmtSize = 0;
    if (s.ReadFormat(s.Start(), nullptr, fmtSize) == kAviOk && fmtSize > 0 && fmtSize < (1 << 20)) {
        std::vector<uint8_t> fmt(static_cast<size_t>(fmtSize));
        (void)s.ReadFormat(s.Start(), fmt.data(), fmtSize);
    }
    const int32_t start = s.Start();
    const int32_t length = s.Length();
    int32_t pos = start;
    for (int i = 0; i < kMaxReads; ++i) {
        int32_t bytes = 0, samples = 0;
        if (s.Read(pos, kAviStreamReadConvenient, buf.data(), int32_t(buf.size()), &bytes, &samples) !=
            kAviOk)
            break;
        if (samples <= 0) break;
        (void)s.IsKeyFrame(pos);
        pos += std::min(samples, INT32_MAX - pos);
    }
    // Counts only, and the index searches, at the ends and in the middle.
    const int64_t end = int64_t(start) + length;
    for (int64_t p64 : {int64_t(start), int64_t(start) + length / 2, end - 1, end}) {
        const int32_t p = int32_t(std::clamp<int64_t>(p64, 0, INT32_MAX));
        int32_t bytes = 0, samples = 0;
        (void)s.Read(p, kAviStreamReadConvenient, nullptr, 0, &bytes, &samples);
        (void)s.FindSample(p, kFindKey | kFindPrev);
        (void)s.FindSample(p, kFindKey | kFindNext);
        (void)s.FindSample(p, kFindAny | kFindNext);
    }
}

void ReadAviFile(std::unique_ptr<ByteIO> io) {
    std::shared_ptr<AviFile> file;
    if (AviFile::Open(std::move(io), file) != kAviOk) return;
    AviFileInfo info;
    if (file->Info(info) != kAviOk) return;
    std::vector<uint8_t> buf(kReadBufferBytes);
    for (uint32_t i = 0; i < std::min<uint32_t>(info.dwStreams, 64); ++i) {
        std::shared_ptr<AviStream> s;
        if (file->GetStream(s, 0, int(i)) != kAviOk || !s) continue;
        ReadAviStream(*s, buf);
    }
}

// Runs one command-line request with a fresh quiet host.
void Run(int page, Operation op, std::vector<std::string> inputs, const std::string& output,
         SeparateStream stream = SeparateStream::None, int64_t startMs = 0) {
    CliRequest r;
    r.pageNumber = page;
    r.operation = op;
    r.inputs = std::move(inputs);
    r.output = output;
    r.stream = stream;
    r.startMs = startMs;
    QuietHost host;
    (void)DispatchOperation(r, host);
}

// The input as a file of the scratch folder, outputs of the last run gone.
std::string PrepareInput(const uint8_t* data, size_t size, const char* name) {
    const ScratchDir& dir = Scratch();
    dir.Clear();
    const std::string in = dir.File(name);
    return WriteInput(in, data, size) ? in : std::string();
}

class NullSink : public IAsfSampleSink {
  public:
    AsfResult OnStreamSample(uint16_t, uint64_t, uint64_t, uint32_t, const AsfSampleBuffer& sample) override {
        if (sample.Length()) sum_ += sample.Data()[0];
        return asf::kOk;
    }
    unsigned sum_ = 0;
};

}  // namespace

void AviReader(const uint8_t* data, size_t size) {
    ReadAviFile(View(data, size));
}

void WavReader(const uint8_t* data, size_t size) {
    ReadAviFile(View(data, size));
    const std::string in = PrepareInput(data, size, "in.wav");
    if (in.empty()) return;
    CWaveFileACM wav;
    if (wav.OpenRead(in) != 0) return;
    std::vector<uint8_t> buf(16 * 1024);
    for (int i = 0; i < kMaxReads; ++i)
        if (wav.Read(buf.data(), int(buf.size())) <= 0) break;
    wav.Close();
}

void AsfReader(const uint8_t* data, size_t size) {
    vt::AsfReader reader;
    if (reader.Open(View(data, size)) != asf::kOk) return;
    (void)reader.Duration();
    NullSink sink;
    (void)reader.Run(sink);
    // Packets on their own, at every packet size a header might give.
    for (size_t packet : {size_t(64), size_t(size)}) {
        if (packet == 0 || packet > size) continue;
        AsfPacketInfo info;
        (void)ParseAsfPacket(std::span<const uint8_t>(data, packet), info, [](const AsfPayload& p) {
            volatile size_t n = p.data.size() + p.replicated.size();
            (void)n;
        });
    }
}

void FlvReader(const uint8_t* data, size_t size) {
    CFlvFile file;
    if (file.Open(std::shared_ptr<ByteIO>(View(data, size))) != 0) return;
    (void)file.Duration();
    (void)file.HasAudio();
    (void)file.HasVideo();
    std::vector<uint8_t> tag;
    int n = 0;
    for (const FlvTag& t : file.Tags()) {
        if (++n > kMaxReads) break;
        (void)file.ReadTagData(t, tag);
    }
    MemoryIO out;
    NoProgress progress;
    (void)file.SaveAs(out, &progress);
    Scratch().Clear();
    (void)file.SaveAVI(Scratch().File("out.avi"), &progress);
    (void)file.SaveAudio(Scratch().File("out.mp3"), &progress);
}

void Amf0Decoder(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    for (int i = 0; i < 64 && in.Remaining() > 0; ++i) {
        AmfValue v;
        if (!ReadAmfValue(in, v)) break;
        // What we read we can write again, and its size is what we said.
        MemoryIO out;
        if (WriteAmfValue(out, v) && out.Data().size() != AmfEncodedSize(v)) __builtin_trap();
    }
}

void ProfileReader(const uint8_t* data, size_t size) {
    const std::string in = PrepareInput(data, size, "settings.ini");
    if (in.empty()) return;
    for (const char* section : {"Settings", "settings", "", "Vantorel"}) {
        (void)GetPrivateProfileString(section, "Key", "default  ", in);
        (void)GetPrivateProfileString(section, "Folder", "", in, 8);
        (void)GetPrivateProfileInt(section, "Value", -1, in);
    }
    (void)WritePrivateProfileString("Settings", "Key", std::string_view("value"), in);
    (void)GetPrivateProfileString("Settings", "Key", "", in);
    (void)WritePrivateProfileString("Settings", "Key", std::nullopt, in);
}

void RegistryReader(const uint8_t* data, size_t size) {
    const std::string in = PrepareInput(data, size, "registry");
    if (in.empty()) return;
    RegistryStore store(in);
    for (const char* key : {"", "Software", "Software\\Vantorel", "Software\\Vantorel\\Settings"}) {
        (void)store.KeyExists(RegRoot::CurrentUser, key);
        (void)ReadRegBinary(store, RegRoot::CurrentUser, key, "Placement");
        (void)ReadRegDword(store, RegRoot::CurrentUser, key, "Value", 7);
    }
    const uint8_t bytes[3] = {1, 2, 3};
    (void)WriteRegBinary(store, RegRoot::CurrentUser, "Software\\Vantorel", "Placement", bytes, sizeof bytes);
    (void)ReadRegBinary(store, RegRoot::CurrentUser, "Software\\Vantorel", "Placement");
}

void VersionBlock(const uint8_t* data, size_t size) {
    (void)VersionTextFromBlock(std::span<const uint8_t>(data, size));
    const std::string in = PrepareInput(data, size, "program");
    if (!in.empty()) (void)GetFileVersionText(in);
}

void AviOperations(const uint8_t* data, size_t size) {
    const std::string in = PrepareInput(data, size, "in.avi");
    if (in.empty()) return;
    const ScratchDir& d = Scratch();
    Run(0, Operation::Separate, {in}, d.File("video.avi"), SeparateStream::Video);
    Run(0, Operation::Separate, {in}, d.File("audio.wav"), SeparateStream::Audio);
    Run(1, Operation::Union, {in, in}, d.File("union.avi"));
    Run(2, Operation::Join, {in, in}, d.File("join.avi"));
    Run(3, Operation::Extract, {in}, d.File("extract.avi"));
    Run(3, Operation::Extract, {in}, d.File("extract2.avi"), SeparateStream::None, 1000);
}

void WavOperations(const uint8_t* data, size_t size) {
    const std::string in = PrepareInput(data, size, "in.wav");
    if (in.empty()) return;
    const ScratchDir& d = Scratch();
    Run(4, Operation::Join, {in, in}, d.File("join.wav"));
    Run(5, Operation::Extract, {in}, d.File("extract.wav"));
    Run(5, Operation::Extract, {in}, d.File("extract2.wav"), SeparateStream::None, 1000);
}

void FlvOperations(const uint8_t* data, size_t size) {
    const std::string in = PrepareInput(data, size, "in.flv");
    if (in.empty()) return;
    const ScratchDir& d = Scratch();
    Run(10, Operation::Separate, {in}, d.File("video.avi"), SeparateStream::Video);
    Run(10, Operation::Separate, {in}, d.File("audio.mp3"), SeparateStream::Audio);
    Run(11, Operation::Join, {in, in}, d.File("join.flv"));
    Run(12, Operation::Extract, {in}, d.File("extract.flv"));
    Run(12, Operation::Extract, {in}, d.File("extract2.flv"), SeparateStream::None, 1000);
}

void WmOperations(const uint8_t* data, size_t size) {
    const std::string in = PrepareInput(data, size, "in.wmv");
    if (in.empty()) return;
    const ScratchDir& d = Scratch();
    Run(6, Operation::Separate, {in}, d.File("video.wmv"), SeparateStream::Video);
    Run(6, Operation::Separate, {in}, d.File("audio.wma"), SeparateStream::Audio);
    Run(8, Operation::Join, {in, in}, d.File("join.wmv"));
    Run(9, Operation::Extract, {in}, d.File("extract.wmv"));
    Run(9, Operation::Extract, {in}, d.File("extract2.wmv"), SeparateStream::None, 1000);
}

namespace {
struct Named {
    const char* name;
    Entry entry;
};
constexpr Named kEntries[] = {
    {"avi_reader", &AviReader},    {"wav_reader", &WavReader},       {"asf_reader", &AsfReader},
    {"flv_reader", &FlvReader},    {"amf0", &Amf0Decoder},           {"profile", &ProfileReader},
    {"registry", &RegistryReader}, {"version_block", &VersionBlock}, {"avi_ops", &AviOperations},
    {"wav_ops", &WavOperations},   {"flv_ops", &FlvOperations},      {"wm_ops", &WmOperations},
};
}  // namespace

Entry FindEntry(std::string_view target) {
    for (const Named& n : kEntries)
        if (target == n.name) return n.entry;
    return nullptr;
}

const char* TargetNames() {
    return "avi_reader wav_reader asf_reader flv_reader amf0 profile registry version_block avi_ops wav_ops "
           "flv_ops wm_ops";
}

}  // namespace vt::fuzz
