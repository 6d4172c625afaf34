#include "media/avi/DecMovie.h"

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "core/ErrorCodes.h"
#include "core/Strings.h"
#include "media/avi/AviErrors.h"
#include "platform/ByteIO.h"

namespace vt {

namespace {

constexpr uint32_t kFccNone = MakeFourCC('N', 'o', 'n', 'e');
constexpr uint32_t kFccRle8 = MakeFourCC('R', 'l', 'e', '8');

uint32_t SubstituteCode(uint32_t fcc) {
    if (fcc == 0) return kFccNone;
    if (fcc == 1) return kFccRle8;
    return fcc;
}

// A four-character code as "%4.4s" prints it: at most four characters, up to the first zero byte.
std::string CodeText(uint32_t fcc) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        char c = char((fcc >> (8 * i)) & 0xFF);
        if (c == 0) break;
        s.push_back(c);
    }
    return s;
}

struct TagName {
    uint16_t tag;
    const char* name;
};
constexpr TagName kTagNames[] = {
    {0x0001, "PCM"},
    {0x0002, "ADPCM"},
    {0x0003, "IEEE-FLOAT"},
    {0x0005, "IBM-CVSD"},
    {0x0006, "ALAW"},
    {0x0007, "MULAW"},
    {0x0010, "OKI-ADPCM"},
    {0x0011, "DVI-ADPCM"},
    {0x0012, "MEDIASPACE-ADPCM"},
    {0x0013, "SIERRA-ADPCM"},
    {0x0014, "G723-ADPCM"},
    {0x0015, "DIGISTD"},
    {0x0016, "DIGIFIX"},
    {0x0017, "DIALOGIC-OKI-ADPCM"},
    {0x0018, "MEDIAVISION-ADPCM"},
    {0x0020, "YAMAHA-ADPCM"},
    {0x0021, "SONARC"},
    {0x0022, "DSPGROUP-TRUESPEECH"},
    {0x0023, "ECHOSC1"},
    {0x0024, "AUDIOFILE-AF36"},
    {0x0025, "APTX"},
    {0x0026, "AUDIOFILE-AF10"},
    {0x0030, "DOLBY-AC2"},
    {0x0031, "GSM610"},
    {0x0032, "MSNAUDIO"},
    {0x0033, "ANTEX-ADPCME"},
    {0x0034, "CONTROL-RES-VQLPC"},
    {0x0035, "DIGIREAL"},
    {0x0036, "DIGIADPCM"},
    {0x0037, "CONTROL-RES-CR10"},
    {0x0038, "NMS-VBXADPCM"},
    {0x0039, "CS-IMAADPCM"},
    {0x003A, "ECHOSC3"},
    {0x003B, "ROCKWELL-ADPCM"},
    {0x003C, "ROCKWELL-DIGITALK"},
    {0x003D, "XEBEC"},
    {0x0040, "G721-ADPCM"},
    {0x0041, "G728-CELP"},
    {0x0050, "MPEG"},
    {0x0055, "MPEG LAYER-3"},
    {0x0060, "CIRRUS"},
    {0x0061, "ESPCM"},
    {0x0062, "VOXWARE"},
    {0x0064, "G726-ADPCM"},
    {0x0065, "G722-ADPCM"},
    {0x0067, "DSAT-DISPLAY"},
    {0x0080, "SOFTSOUND"},
    {0x0100, "RHETOREX-ADPCM"},
    {0x0200, "CREATIVE-ADPCM"},
    {0x0202, "CREATIVE-FASTSPEECH8"},
    {0x0203, "CREATIVE-FASTSPEECH10"},
    {0x0220, "QUARTERDECK"},
    {0x0300, "FM-TOWNS-SND"},
    {0x0400, "BTV-DIGITAL"},
    {0x1000, "OLIGSM"},
    {0x1001, "OLIADPCM"},
    {0x1002, "OLICELP"},
    {0x1003, "OLISBC"},
    {0x1004, "OLIOPR"},
    {0x1100, "LH-CODEC"},
    {0x1400, "NORRIS"},
    {0x2000, "AC3"},
};
static_assert(sizeof kTagNames / sizeof kTagNames[0] == 62);

}  // namespace

const char* WaveFormatTagName(uint16_t tag) {
    for (const auto& t : kTagNames)
        if (t.tag == tag) return t.name;
    return "?";
}

// ---------------------------------------------------------------- CDecMovie

void CDecMovie::Close() {
    frameHeader_ = {};
    audioHeader_ = {};
}

BitmapInfoHeader* CDecMovie::GetDIBHeader(BitmapInfoHeader* out) {
    frameHeader_.biCompression = 0;
    frameHeader_.biClrUsed = 0;
    frameHeader_.biClrImportant = 0;
    if (out) *out = frameHeader_;
    return out;
}

// ---------------------------------------------------------------- CDecAVI

CDecAVI::~CDecAVI() {
    CDecAVI::Close();
}

void CDecAVI::Close() {
    video_.reset();
    file_.reset();
    videoInfo_ = {};
    CDecMovie::Close();
}

namespace {

// The file's reads during Open, with the open pump called at most once per
// interval (the clock is read once per 1024 calls, or on every call for a zero
// interval) until Open has returned.
class OpenPumpIO : public ByteIO {
  public:
    OpenPumpIO(std::unique_ptr<ByteIO> io, std::shared_ptr<std::function<void()>> pump,
               std::chrono::milliseconds every)
        : io_(std::move(io)),
          pump_(std::move(pump)),
          every_(every),
          last_(std::chrono::steady_clock::now()) {}
    size_t Read(void* dst, size_t n) override {
        Tick();
        const size_t got = io_->Read(dst, n);
        failed_ = failed_ || io_->Failed();
        return got;
    }
    bool Write(const void* src, size_t n) override {
        const bool ok = io_->Write(src, n);
        failed_ = failed_ || io_->Failed();
        return ok;
    }
    bool Seek(uint64_t pos) override {
        Tick();
        const bool ok = io_->Seek(pos);
        failed_ = failed_ || io_->Failed();
        return ok;
    }
    uint64_t Tell() const override { return io_->Tell(); }
    uint64_t Size() const override { return io_->Size(); }
    bool Flush() override { return io_->Flush(); }
    void WillRead(uint64_t end) override { io_->WillRead(end); }
    FileIO* File() override { return io_->File(); }

  private:
    void Tick() {
        if (!*pump_) return;
        if (every_.count() > 0 && ++calls_ % 1024 != 0) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ < every_) return;
        (*pump_)();
        last_ = std::chrono::steady_clock::now();
    }
    std::unique_ptr<ByteIO> io_;
    std::shared_ptr<std::function<void()>> pump_;
    std::chrono::milliseconds every_;
    std::chrono::steady_clock::time_point last_;
    unsigned calls_ = 0;
};

}  // namespace

int CDecAVI::OpenFile(const std::string& path, AviFileInfo& info) {
    if (openPump_) {
        auto file = std::make_unique<FileIO>();
        if (!file->Open(path, FileIO::Mode::Read, 32 << 10)) return kErrAviFileOpen;
        auto pump = std::make_shared<std::function<void()>>(openPump_);
        const AviResult r =
            AviFile::Open(std::make_unique<OpenPumpIO>(std::move(file), pump, openPumpEvery_), file_);
        *pump = nullptr;  // later reads belong to the copy loops, which report themselves
        if (const int code = ErrorFromAvi(r, kErrAviFileOpen)) return code;
    } else if (const int code = ErrorFromAvi(AviFile::Open(path, file_), kErrAviFileOpen)) {
        return code;
    }
    if (const int code = ErrorFromAvi(file_->Info(info), kErrAviFileInfo)) return code;
    return 0;
}

int CDecAVI::Open(const std::string& path) {
    Close();
    AviFileInfo info;
    int r = OpenFile(path, info);
    if (r) return r;
    uint16_t best = 0;
    for (uint32_t i = 0; i < info.dwStreams; ++i) {
        std::shared_ptr<AviStream> s;
        if (const int code = ErrorFromAvi(file_->GetStream(s, 0, int(i)), kErrAviStream)) return code;
        AviStreamInfo si;
        if (const int code = ErrorFromAvi(s->Info(si), kErrAviStreamInfo)) return code;
        // The video stream of the lowest priority value wins; the first among equals.
        if (si.fccType == kStreamTypeVideo && (!video_ || si.wPriority < best)) {
            video_ = s;
            best = si.wPriority;
        }
    }
    if (!video_) return kErrAviNoVideo;
    ReadVideoInfo();
    return 0;
}

void CDecAVI::ReadVideoInfo() {
    video_->Info(videoInfo_);
    rate_ = videoInfo_.dwRate;
    scale_ = videoInfo_.dwScale;
    length_ = int32_t(videoInfo_.dwLength);
    videoInfo_.fccHandler = SubstituteCode(videoInfo_.fccHandler);
    videoInfo_.fccType = SubstituteCode(videoInfo_.fccType);
    handlerText_ = CodeText(videoInfo_.fccHandler);
    typeText_ = CodeText(videoInfo_.fccType);
    int32_t size = 0;
    video_->ReadFormat(0, nullptr, size);
    CMemBuffBase<unsigned char> fmt(std::max<int32_t>(size, int32_t(sizeof(BitmapInfoHeader))));
    if (!fmt.GetData()) return;
    fmt.FillAll(0);
    video_->ReadFormat(0, fmt.GetData(), size);
    BitmapInfoHeader bh = BitmapHeaderFromBytes(fmt.GetData(), size_t(fmt.GetCount()));
    width_ = bh.biWidth;
    height_ = bh.biHeight;
    compressionText_ = CodeText(SubstituteCode(bh.biCompression));
}

int CDecAVI::ReadVideoFormat(void** block, int* size) {
    *block = nullptr;
    *size = 0;
    if (!video_) return kErrAviStreamFormat;
    int32_t n = 0;
    if (const int code = ErrorFromAvi(video_->ReadFormat(0, nullptr, n), kErrAviStreamFormat)) return code;
    void* p = std::malloc(size_t(std::max(n, 1)));
    if (!p) return kErrMemory;
    *block = p;
    if (const int code = ErrorFromAvi(video_->ReadFormat(0, p, n), kErrAviStreamFormat)) return code;
    *size = n;
    return 0;
}

int CDecAVI::IsKeyFrame(int frame) const {
    if (!video_) return 0;
    return video_->FindSample(frame, kFindKey | kFindPrev) == frame ? 1 : 0;
}

int CDecAVI::ReadVideoSample(int pos, int* samples, CMemBuffBase<unsigned char>& buffer, int* bytes) {
    if (samples) *samples = 0;
    if (bytes) *bytes = 0;
    if (!video_) return kErrAviStreamRead;
    int32_t b = 0, s = 0;
    if (const int code =
            ErrorFromAvi(video_->Read(pos, kAviStreamReadConvenient, nullptr, 0, &b, &s), kErrAviStreamRead))
        return code;
    if (s == 0) return kErrAviStreamRead;
    if (samples) *samples = s;
    if (b == 0) return 0;
    // The buffer only grows: frames of changing sizes neither move it nor
    // leave holes in the heap.
    if (!buffer.GetBuffer(b)) return kErrMemory;
    if (const int code = ErrorFromAvi(
            video_->Read(pos, kAviStreamReadConvenient, buffer.GetData(), b, &b, &s), kErrAviStreamRead))
        return code;
    if (samples) *samples = s;
    if (bytes) *bytes = b;
    return 0;
}

int CDecAVI::GetFrame(int, const uint8_t** pixels) {
    // Nothing here decodes video; no page asks for frames.
    if (pixels) *pixels = nullptr;
    return -1;
}

// ---------------------------------------------------------------- CDecAVIAudio

CDecAVIAudio::~CDecAVIAudio() {
    CDecAVIAudio::Close();
}

void CDecAVIAudio::Close() {
    CDecAVI::Close();
    audio_.reset();
    readPos_ = 0;
    audioInfo_ = {};
    audioFormat_.Free();
}

const WaveFormatEx* CDecAVIAudio::GetAudioFormat() const {
    return audioFormat_.GetData() ? reinterpret_cast<const WaveFormatEx*>(audioFormat_.GetData()) : nullptr;
}

int CDecAVIAudio::FindLastAudio(const AviFileInfo& info) {
    for (uint32_t i = 0; i < info.dwStreams; ++i) {
        std::shared_ptr<AviStream> s;
        if (const int code = ErrorFromAvi(file_->GetStream(s, 0, int(i)), kErrAviStream)) return code;
        AviStreamInfo si;
        if (const int code = ErrorFromAvi(s->Info(si), kErrAviStreamInfo)) return code;
        if (si.fccType == kStreamTypeAudio) audio_ = s;  // the last audio stream wins
    }
    return 0;
}

int CDecAVIAudio::Open(const std::string& path) {
    Close();
    int r = CDecAVI::Open(path);
    if (r) return r;
    AviFileInfo info;
    if (const int code = ErrorFromAvi(file_->Info(info), kErrAviFileInfo)) return code;
    r = FindLastAudio(info);
    if (r) return r;
    if (audio_) ReadAudioInfo();
    return 0;
}

int CDecAVIAudio::ReadAudioInfo() {
    audio_->Info(audioInfo_);
    int32_t size = 0;
    if (const int code = ErrorFromAvi(audio_->ReadFormat(audio_->Start(), nullptr, size), kErrAviAudioInfo))
        return code;
    if (uint32_t(size) < 18) size = 18;
    if (!audioFormat_.ReSize(size)) return 0;
    audioFormat_.FillAll(0);
    if (audio_->ReadFormat(audio_->Start(), audioFormat_.GetData(), size) != kAviOk) {
        audioFormat_.Free();
        return 0;
    }
    WaveFormatEx* w = reinterpret_cast<WaveFormatEx*>(audioFormat_.GetData());
    if (w->nChannels == 1)
        channelsText_ = LoadStringPair(46001, 46002);
    else if (w->nChannels == 2)
        channelsText_ = LoadStringPair(46003, 46004);
    else
        channelsText_.assign(1, '?');
    sampleRate_ = int32_t(w->nSamplesPerSec);
    formatName_ = WaveFormatTagName(w->wFormatTag);
    // A 16-byte PCM format becomes a whole 18-byte record.
    if (w->wFormatTag == kWaveFormatPcm) w->cbSize = 0;
    // Whoever copies the record takes cbSize extra bytes: never more than the block holds.
    const size_t held = std::max<size_t>(size_t(size), 18);
    if (size_t(w->cbSize) + 18 > held) w->cbSize = uint16_t(held - 18);
    return 0;
}

int CDecAVIAudio::ReadAudio(int* samples, void* buffer, int* bytes) {
    int capacity = bytes ? *bytes : 0;
    if (samples) *samples = 0;
    if (bytes) *bytes = 0;
    if (!audio_) return kErrAviStreamRead;
    int32_t b = 0, s = 0;
    if (const int code = ErrorFromAvi(
            audio_->Read(readPos_, kAviStreamReadConvenient, buffer, capacity, &b, &s), kErrAviStreamRead))
        return code;
    readPos_ += s;
    if (samples) *samples = s;
    if (bytes) *bytes = b;
    return 0;
}

// ---------------------------------------------------------------- CDecWAV

CDecWAV::~CDecWAV() {
    CDecWAV::Close();
}

int CDecWAV::Open(const std::string& path) {
    Close();
    AviFileInfo info;
    int r = OpenFile(path, info);
    if (r) return r;
    r = FindLastAudio(info);
    if (r) return r;
    if (!audio_) return kErrAviNoAudio;
    ReadAudioInfo();
    return 0;
}

}  // namespace vt
