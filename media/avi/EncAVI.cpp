#include "media/avi/EncAVI.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "core/ErrorCodes.h"
#include "core/OperationHost.h"
#include "core/Settings.h"
#include "core/Strings.h"
#include "media/avi/AviErrors.h"
#include "media/avi/MemBuff.h"
#include "platform/AudioFormat.h"
#include "platform/AudioFrames.h"
#include "platform/Bytes.h"
#include "platform/Registry.h"

namespace vt {

namespace {

// An existing output, even a read-only one, is replaced; a failure is left to
// the create step that follows.
void RemoveExistingOutput(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return;
    if (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) ::chmod(path.c_str(), st.st_mode | S_IWUSR);
    ::unlink(path.c_str());
}

constexpr uint32_t kDefaultHandler = MakeFourCC('D', 'I', 'B', ' ');

// Bytes [a, b) of a stream whose samples are bytes.
std::vector<uint8_t> ReadBytes(const AviStream& s, int64_t a, int64_t b) {
    std::vector<uint8_t> out(size_t(std::max<int64_t>(b - a, 0)));
    int32_t got = 0;
    if (out.empty() ||
        s.Read(int32_t(a), int32_t(out.size()), out.data(), int32_t(out.size()), &got, nullptr) != kAviOk)
        return {};
    out.resize(size_t(got));
    return out;
}

}  // namespace

void AlignToAudioFrames(const AviStream& s, int& first, int& end) {
    int32_t size = 0;
    if (s.ReadFormat(s.Start(), nullptr, size) != kAviOk || size < 16) return;
    std::vector<uint8_t> fmt(static_cast<size_t>(size));
    if (s.ReadFormat(s.Start(), fmt.data(), size) != kAviOk) return;
    const uint16_t tag = EffectiveFormatTag(fmt.data(), fmt.size());
    int32_t unit = 0;
    if (!IsFramedAudioTag(tag) || s.Read(s.Start(), 1, nullptr, 0, &unit, nullptr) != kAviOk || unit != 1)
        return;
    const int64_t streamEnd = int64_t(s.Start()) + s.Length();
    const int64_t window = 4 * int64_t(kMaxAudioFrameBytes);
    if (first >= streamEnd || first >= end) return;

    const int64_t a = std::max<int64_t>(first, s.Start()), b = std::min(streamEnd, a + window);
    std::vector<uint8_t> head = ReadBytes(s, a, b);
    const size_t at = FindAudioFrame(tag, head.data(), head.size(), 0, b == streamEnd);
    if (at < head.size()) first = int(a + int64_t(at));

    // The end: walk whole frames from a boundary before it.
    const int64_t e = std::min<int64_t>(end, streamEnd);
    const int64_t wa = std::max<int64_t>(first, e - window), wb = std::min(streamEnd, e + window);
    if (wb <= wa) return;
    std::vector<uint8_t> tail = ReadBytes(s, wa, wb);
    const bool endOfData = wa + int64_t(tail.size()) == streamEnd;
    const size_t n = tail.size(), target = size_t(e - wa);
    size_t pos = FindAudioFrame(tag, tail.data(), n, 0, endOfData), lastWhole = pos;
    if (pos >= n) return;
    while (pos < target) {
        AudioFrame f;
        if (ParseAudioFrame(tag, tail.data() + pos, n - pos, f) && f.bytes <= n - pos) {
            pos += f.bytes;
            lastWhole = pos;
            continue;
        }
        // Not a whole frame here: the next checked one, else the last whole frame ends the audio.
        pos = FindAudioFrame(tag, tail.data(), n, pos + 1, endOfData);
        if (pos >= n) {
            // A frame cut off by the window rather than the stream's end: leave the end alone.
            if (!endOfData) return;
            pos = lastWhole;
            break;
        }
    }
    end = std::max(first, int(wa + int64_t(pos)));
}

// ---------------------------------------------------------------- settings

RegistryAviSettingStore::RegistryAviSettingStore(const std::string& registryKeyName, std::string storeFile)
    : subKey_("Software\\" + registryKeyName + "\\AviVideoSettings"), file_(std::move(storeFile)) {}

namespace {
RegistryStore StoreOf(const std::string& file) {
    return RegistryStore(file.empty() ? RegistryStore::DefaultPath() : std::filesystem::path(file));
}
}  // namespace

bool RegistryAviSettingStore::ReadDword(const std::string& name, uint32_t& value) {
    auto v = StoreOf(file_).GetValue(RegRoot::CurrentUser, subKey_, name);
    if (!v || v->type != RegType::Dword || v->data.size() != 4) return false;
    value = ByteReader(v->data).U32LE();
    return true;
}

bool RegistryAviSettingStore::ReadBinary(const std::string& name, std::vector<uint8_t>& value,
                                         size_t maxBytes) {
    auto v = StoreOf(file_).GetValue(RegRoot::CurrentUser, subKey_, name);
    if (!v || v->type != RegType::Binary || v->data.empty() || v->data.size() > maxBytes) return false;
    value = v->data;
    return true;
}

bool RegistryAviSettingStore::WriteDword(const std::string& name, uint32_t value) {
    RegValue v{RegType::Dword, std::vector<uint8_t>(4)};
    PutU32LE(v.data.data(), value);
    RegistryStore store = StoreOf(file_);
    return store.SetValue(RegRoot::CurrentUser, subKey_, name, v);
}

bool RegistryAviSettingStore::WriteBinary(const std::string& name, const std::vector<uint8_t>& value) {
    RegistryStore store = StoreOf(file_);
    return store.SetValue(RegRoot::CurrentUser, subKey_, name, RegValue{RegType::Binary, value});
}

std::shared_ptr<AviSettingStore> DefaultAviSettingStore() {
    return std::make_shared<RegistryAviSettingStore>(GetRegistryKeyName());
}

std::shared_ptr<AviSettingStore> NoAviSettingStore() {
    return nullptr;
}

CEncAVISetting::CEncAVISetting(std::shared_ptr<AviSettingStore> store) : store_(std::move(store)) {
    handler = kDefaultHandler;
    if (!store_) return;
    uint32_t h;
    if (store_->ReadDword("handler", h)) handler = h;
    if (store_->ReadBinary("AviCodec", stateBlock, kMaxValueBytes))
        stateSize = int32_t(stateBlock.size());
    else
        stateBlock.clear();
    if (!store_->ReadBinary("AudioCodec", audioFormat, kMaxValueBytes)) audioFormat.clear();
}

CEncAVISetting::~CEncAVISetting() {
    if (!store_) return;
    if (!stateBlock.empty()) {
        size_t n = std::min<size_t>(size_t(std::max(stateSize, 0)), stateBlock.size());
        store_->WriteBinary("AviCodec",
                            std::vector<uint8_t>(stateBlock.begin(), stateBlock.begin() + long(n)));
    }
    if (audioFormat.size() >= sizeof(WaveFormatEx)) {
        // The record's own length: the header and its cbSize extra bytes.
        WaveFormatEx w = WaveFormatFromBytes(audioFormat.data(), audioFormat.size());
        size_t n = std::min<size_t>(audioFormat.size(), size_t(w.cbSize) + 18);
        store_->WriteBinary("AudioCodec",
                            std::vector<uint8_t>(audioFormat.begin(), audioFormat.begin() + long(n)));
    }
    store_->WriteDword("handler", handler);
}

// ---------------------------------------------------------------- CEncAVI

CEncAVI::CEncAVI(std::shared_ptr<AviSettingStore> store) : settings_(std::move(store)) {
    CEncAVI::Close();
}

CEncAVI::~CEncAVI() {
    CEncAVI::Close();
}

int CEncAVI::WriteFrame(const void*) {
    return kErrAviStreamWrite;
}
int CEncAVI::CreateCompressed(const std::string&) {
    return kErrAviCreate;
}
int CEncAVI::SetupCompressor() {
    return kErrAviCreate;
}

void CEncAVI::EndCompress() {
    compVars_ = {};
    options_ = {};
}

void CEncAVI::Close() {
    source_.reset();
    video_.reset();
    if (file_) {
        lastClose_ = ErrorFromAvi(file_->Finish(), kErrAviStreamWrite);
        file_.reset();
    }
    EndCompress();
    frameFormat_ = {};
    videoPos_ = 0;
    videoInfo_ = {};
}

int CEncAVI::OpenFile(const std::string& path) {
    RemoveExistingOutput(path);
    lastClose_ = 0;
    if (const int code = ErrorFromAvi(AviFile::Create(path, file_, writeOptions_), kErrAviCreate))
        return code;
    return 0;
}

int CEncAVI::CreateVideoStream(const std::string& path, const AviStreamInfo& info, const void* format,
                               int formatSize) {
    Close();
    int r = OpenFile(path);
    if (r) return r;
    if (const int code = ErrorFromAvi(file_->CreateStream(video_, info), kErrAviVideoStream)) return code;
    if (const int code = ErrorFromAvi(video_->SetFormat(0, format, formatSize), kErrAviFormatSet))
        return code;
    videoInfo_ = info;
    return 0;
}

int CEncAVI::WriteVideoSamples(int samples, const void* data, int bytes, int keyFrame) {
    if (!video_) return kErrAviStreamWrite;
    int32_t written = 0;
    if (const int code = ErrorFromAvi(
            video_->Write(videoPos_, samples, data, bytes, keyFrame ? kAviIfKeyFrame : 0, &written, nullptr),
            kErrAviStreamWrite))
        return code;
    videoPos_ += written;
    return 0;
}

int CEncAVI::CopyVideoSample(const AviStream& source, int pos, int keyFrame, int* samples) {
    if (samples) *samples = 0;
    if (!video_) return kErrAviStreamWrite;
    int32_t written = 0;
    const AviResult r = video_->CopySample(source, pos, keyFrame ? kAviIfKeyFrame : 0, &written);
    if (r == kAviErrUnsupported) return kCopyNotPossible;
    if (r == kAviErrFileRead || r == kAviErrBadParam) return kErrAviStreamRead;
    if (r != kAviOk) return kErrAviStreamWrite;
    videoPos_ += written;
    if (samples) *samples = written;
    return 0;
}

int CEncAVI::WriteVideoSampleFrom(ByteIO& source, uint64_t pos, int bytes, int keyFrame) {
    if (!video_) return kErrAviStreamWrite;
    const AviResult r = video_->WriteFrom(source, pos, bytes, keyFrame ? kAviIfKeyFrame : 0);
    if (r == kAviErrFileRead) return kErrAviStreamRead;
    if (r != kAviOk) return kErrAviStreamWrite;
    ++videoPos_;
    return 0;
}

void CEncAVI_Comp::EndCompress() {
    frames_ = {};
    CEncAVI::EndCompress();
}

// ---------------------------------------------------------------- CEncAVIAudio

CEncAVIAudio::CEncAVIAudio(std::shared_ptr<AviSettingStore> store) : CEncAVI_Comp(std::move(store)) {}

CEncAVIAudio::~CEncAVIAudio() {
    CEncAVIAudio::Close();
}

void CEncAVIAudio::Close() {
    audio_.reset();
    audioPos_ = 0;
    audioCreated_ = 0;
    CEncAVI::Close();
}

int CEncAVIAudio::CreateAudioStream(const WaveFormatEx* format, const AviStreamInfo& info,
                                    const std::string& path) {
    if (!path.empty()) {
        Close();
        int r = OpenFile(path);
        if (r) return r;
    }
    if (!file_) return kErrAviVideoStream;
    if (const int code = ErrorFromAvi(file_->CreateStream(audio_, info), kErrAviVideoStream)) return code;
    if (!format) return kErrAviFormatSet;
    if (const int code =
            ErrorFromAvi(audio_->SetFormat(0, format, int(format->cbSize) + 18), kErrAviFormatSet))
        return code;
    audioCreated_ = 1;
    return 0;
}

int CEncAVIAudio::WriteAudio(int& samples, const void* data, int& bytes) {
    if (!audio_) return kErrAviStreamWrite;
    if (samples == 0) {
        int32_t size = 0;
        audio_->ReadFormat(0, nullptr, size);
        CMemBuffBase<unsigned char> fmt(std::max<int32_t>(size, 18));
        if (fmt.GetData()) {
            fmt.Fill(0, fmt.GetCount());
            audio_->ReadFormat(0, fmt.GetData(), size);
            ByteReader fields(fmt.GetData(), size_t(fmt.GetCount()));
            fields.Skip(12);                        // wFormatTag, nChannels, nSamplesPerSec, nAvgBytesPerSec
            const uint16_t align = fields.U16LE();  // nBlockAlign
            // A block alignment of 0 gives no count: the write is one sample.
            samples = align ? bytes / align : 0;
        }
    }
    int32_t s = 0, b = 0;
    if (const int code = ErrorFromAvi(audio_->Write(audioPos_, samples, data, bytes, kAviIfKeyFrame, &s, &b),
                                      kErrAviStreamWrite))
        return code;
    samples = s;
    bytes = b;
    audioPos_ += s;
    return 0;
}

int CEncAVIAudio::CopyAudio(int first, int end, const std::shared_ptr<AviStream>& source,
                            OperationHost* host) {
    CMemBuffBase<unsigned char> buffer(kCopyBufferBytes);
    if (!buffer.GetData()) return kErrMemory;
    if (!source) return 0;
    end = std::min(end, source->Length());
    AlignToAudioFrames(*source, first, end);
    AviStreamInfo si;
    source->Info(si);
    const int64_t sampleSize = si.dwSampleSize;
    if (sampleSize > kAviMaxSampleBytes && first < end) return kErrAviAudioReadWrite;
    int result = 0;
    while (first < end) {
        if (host) host->PumpMessages();
        // Never past the end of the range: a section's audio stops with its video.
        int32_t capacity = kCopyBufferBytes;
        if (sampleSize > 0) {
            capacity = int32_t(std::min<int64_t>(capacity, (int64_t(end) - first) * sampleSize));
            capacity = int32_t(std::max<int64_t>(capacity, sampleSize));
            if (capacity > buffer.GetCount() && !buffer.GetBuffer(capacity)) return kErrMemory;
        }
        int32_t bytes = 0, samples = 0;
        AviResult r = kAviErrUnsupported;
        if (sampleSize > 0 && audio_) {
            // From file to file where it can: the chunk a read of `capacity` bytes makes.
            r = audio_->CopySamples(*source, first, capacity, kAviIfKeyFrame, &samples, &bytes);
            if (r == kAviOk) {
                if (bytes < 1) break;
                audioPos_ += samples;
                first += samples;
                continue;
            }
            if (r != kAviErrUnsupported && r != kAviErrFileRead) {
                result = ErrorFromAvi(r, kErrAviStreamWrite);
                break;
            }
        }
        if (r == kAviErrUnsupported)
            r = source->Read(first, kAviStreamReadConvenient, buffer.GetData(), capacity, &bytes, &samples);
        if (r != kAviOk) {
            bool stop = true;
            if (host) stop = host->AskOkCancel(LoadStringPair(46005, 46006), "Vantorel");
            if (stop) {
                result = kErrAviAudioReadWrite;
                break;
            }
            ++first;
            continue;
        }
        if (bytes < 1) break;
        int s = samples, b = bytes;
        result = WriteAudio(s, buffer.GetData(), b);
        if (result) break;
        first += s;
    }
    return result;
}

}  // namespace vt
