#include "mediainfo/MediaInfo.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

#include "core/ErrorCodes.h"
#include "core/Strings.h"
#include "flv/FlvFile.h"
#include "media/avi/AviErrors.h"
#include "media/avi/DecMovie.h"
#include "media/wm/WmErrors.h"
#include "ops/PageTable.h"
#include "platform/AsfReader.h"
#include "platform/AviFile.h"

namespace vt {
namespace {

std::string FourCCText(uint32_t fcc) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        const char c = char((fcc >> (8 * i)) & 0xFF);
        s += (c >= 0x20 && c < 0x7F) ? c : '.';
    }
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

std::string AudioTagText(uint16_t tag) {
    const char* name = WaveFormatTagName(tag);
    if (name && *name && std::strcmp(name, "?") != 0) return name;
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", unsigned(tag));
    return buf;
}

int64_t Ms(double seconds) {
    return std::isfinite(seconds) && seconds > 0 ? int64_t(std::llround(seconds * 1000.0)) : 0;
}

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

void SetAudio(MediaStreamInfo& s, const uint8_t* wfx, size_t size) {
    if (size < 16) return;
    s.codecTag = Le16(wfx);
    s.codec = AudioTagText(uint16_t(s.codecTag));
    s.channels = Le16(wfx + 2);
    s.sampleRate = int(Le32(wfx + 4));
    s.bitRate = int64_t(Le32(wfx + 8)) * 8;
    s.bitsPerSample = Le16(wfx + 14);
}

// ---- AVI and WAV ----

int ReadRiff(const std::string& path, bool wav, MediaFileInfo& out) {
    std::shared_ptr<AviFile> file;
    const ErrorCode openFailure = wav ? kErrWavOpen : kErrAviFileOpen;
    if (const int code = ErrorFromAvi(AviFile::Open(path, file), openFailure)) return code;
    if (!file) return openFailure;
    out.container = file->IsWav() ? "wav" : "avi";
    AviFileInfo fi;
    if (const int code = ErrorFromAvi(file->Info(fi), openFailure)) return code;
    for (int i = 0; i < int(fi.dwStreams) && i < 256; ++i) {
        std::shared_ptr<AviStream> stream;
        if (file->GetStream(stream, 0, i) != kAviOk || !stream) break;
        AviStreamInfo si;
        if (stream->Info(si) != kAviOk) continue;
        MediaStreamInfo s;
        const double unit = si.dwRate ? double(si.dwScale) / double(si.dwRate) : 0.0;
        const int32_t length = std::max<int32_t>(stream->Length(), 0);
        s.durationMs = Ms(double(length) * unit);
        int32_t formatSize = 0;
        std::vector<uint8_t> format;
        if (stream->ReadFormat(stream->Start(), nullptr, formatSize) == kAviOk && formatSize > 0 &&
            formatSize < (1 << 20)) {
            format.resize(size_t(formatSize));
            if (stream->ReadFormat(stream->Start(), format.data(), formatSize) != kAviOk) format.clear();
            format.resize(
                size_t(std::max<int32_t>(0, std::min<int32_t>(formatSize, int32_t(format.size())))));
        }
        if (si.fccType == kStreamTypeVideo) {
            s.kind = MediaStreamInfo::Video;
            uint32_t compression = si.fccHandler;
            if (format.size() >= 20) {
                s.width = int(int32_t(Le32(format.data() + 4)));
                s.height = std::abs(int(int32_t(Le32(format.data() + 8))));
                compression = Le32(format.data() + 16);
            }
            s.codecTag = compression;
            s.codec = compression == 0 ? "RGB" : FourCCText(compression);
            s.frameRate = si.dwScale ? double(si.dwRate) / double(si.dwScale) : 0.0;
            s.packets = length;
            int64_t bytes = 0;
            for (int32_t p = stream->Start(); p < stream->Start() + length; ++p) {
                int32_t b = 0, n = 0;
                if (stream->Read(p, 1, nullptr, 0, &b, &n) != kAviOk) break;
                bytes += b;
            }
            if (s.durationMs > 0) s.bitRate = bytes * 8000 / s.durationMs;
            for (int32_t p = stream->Start(); p < stream->Start() + length;) {
                const int32_t k = stream->FindSample(p, kFindKey | kFindNext);
                if (k < p || k >= stream->Start() + length) break;
                s.keyFramesMs.push_back(Ms(double(k) * unit));
                p = k + 1;
            }
        } else if (si.fccType == kStreamTypeAudio) {
            s.kind = MediaStreamInfo::Audio;
            SetAudio(s, format.data(), format.size());
            s.packets = length;
        } else {
            s.codec = FourCCText(si.fccType);
            s.codecTag = si.fccType;
        }
        out.streams.push_back(std::move(s));
    }
    // The file lasts as long as its video, as the extraction pages see it; a
    // file without video as long as its longest stream.
    for (const MediaStreamInfo& s : out.streams)
        if (s.kind == MediaStreamInfo::Video) {
            out.durationMs = s.durationMs;
            return 0;
        }
    for (const MediaStreamInfo& s : out.streams) out.durationMs = std::max(out.durationMs, s.durationMs);
    return 0;
}

// ---- WMV and WMA ----

int ReadAsf(const std::string& path, MediaFileInfo& out) {
    AsfReader reader;
    if (const int code = ErrorFromAsf(reader.Open(path), kErrWmOpen)) return code;
    out.container = "asf";
    out.durationMs = int64_t(reader.Duration() / 10000);
    std::map<uint16_t, size_t> byNumber;
    for (const AsfStreamConfig& c : reader.Header().profile.Streams()) {
        MediaStreamInfo s;
        const std::vector<uint8_t>& t = c.typeSpecific;
        s.bitRate = c.bitrate;
        if (c.streamType == asfguid::kVideoMedia) {
            s.kind = MediaStreamInfo::Video;
            // width, height, flags, format size, then the bitmap header
            if (t.size() >= 11 + 20) {
                s.width = int(int32_t(Le32(t.data() + 11 + 4)));
                s.height = std::abs(int(int32_t(Le32(t.data() + 11 + 8))));
                s.codecTag = Le32(t.data() + 11 + 16);
                s.codec = FourCCText(s.codecTag);
            }
            if (c.avgTimePerFrame) s.frameRate = 1e7 / double(c.avgTimePerFrame);
        } else if (c.streamType == asfguid::kAudioMedia) {
            s.kind = MediaStreamInfo::Audio;
            const int64_t declared = s.bitRate;
            SetAudio(s, t.data(), t.size());
            if (declared) s.bitRate = declared;
        } else {
            s.codec = "data";
        }
        byNumber[c.streamNumber] = out.streams.size();
        out.streams.push_back(std::move(s));
    }
    // The samples, for the counts and the key frames.
    struct Sink : IAsfSampleSink {
        MediaFileInfo* out;
        std::map<uint16_t, size_t>* byNumber;
        AsfResult OnStreamSample(uint16_t number, uint64_t time, uint64_t duration, uint32_t flags,
                                 const AsfSampleBuffer&) override {
            auto it = byNumber->find(number);
            if (it == byNumber->end()) return asf::kOk;
            MediaStreamInfo& s = out->streams[it->second];
            ++s.packets;
            s.durationMs = std::max<int64_t>(s.durationMs, int64_t((time + duration) / 10000));
            if (s.kind == MediaStreamInfo::Video && (flags & kSampleCleanPoint))
                s.keyFramesMs.push_back(int64_t(time / 10000));
            return asf::kOk;
        }
    } sink;
    sink.out = &out;
    sink.byNumber = &byNumber;
    (void)reader.Run(sink);  // a damaged packet ends the count there
    for (MediaStreamInfo& s : out.streams) {
        std::sort(s.keyFramesMs.begin(), s.keyFramesMs.end());
        if (s.kind == MediaStreamInfo::Video && s.frameRate == 0 && s.packets > 1 && s.durationMs > 0)
            s.frameRate = std::round(double(s.packets) * 1e6 / double(s.durationMs)) / 1000.0;
        if (out.durationMs == 0) out.durationMs = std::max(out.durationMs, s.durationMs);
    }
    return 0;
}

// ---- FLV ----

int ReadFlv(const std::string& path, MediaFileInfo& out) {
    CFlvFile file;
    if (const int code = ErrorFromFlv(file.Open(path))) return code;
    out.container = "flv";
    out.durationMs = file.Duration();
    const double stated = file.MetaData().NumberOr("duration", -1);
    // Within a second counts as agreeing: encoders round it, count the last
    // frame's length or not, and some write it from the first timestamp on.
    if (std::isfinite(stated) && stated >= 0 && stated < 1e9 &&
        std::abs(stated * 1000.0 - double(out.durationMs)) > 1000.0)
        out.statedDurationMs = std::llround(stated * 1000.0);
    uint32_t first = UINT32_MAX;
    for (const FlvTag& t : file.Tags())
        if (t.IsMediaFrame()) first = std::min(first, t.time);
    if (first == UINT32_MAX) first = 0;
    MediaStreamInfo video, audio;
    int64_t videoBytes = 0, audioBytes = 0;
    bool haveAudioHead = false;
    for (const FlvTag& t : file.Tags()) {
        if (!t.IsMediaFrame()) continue;
        if (t.type == kFlvTagVideo) {
            if (video.packets == 0) video.codecTag = t.VideoCodec();
            ++video.packets;
            videoBytes += t.size;
            if (t.IsKeyFrame()) video.keyFramesMs.push_back(int64_t(t.time) - first);
        } else if (t.type == kFlvTagAudio) {
            if (!haveAudioHead) {
                haveAudioHead = true;
                audio.codecTag = t.SoundFormat();
                static const int kRates[4] = {5512, 11025, 22050, 44100};
                audio.sampleRate = kRates[(t.head >> 2) & 3];
                audio.bitsPerSample = (t.head & 2) ? 16 : 8;
                audio.channels = (t.head & 1) ? 2 : 1;
                if (audio.codecTag == kFlvSoundMp3_8k) audio.sampleRate = 8000;
            }
            ++audio.packets;
            audioBytes += t.size;
        }
    }
    const int64_t duration = out.durationMs;
    if (file.HasVideo()) {
        video.kind = MediaStreamInfo::Video;
        static const char* const kVideo[] = {"", "", "H.263", "Screen", "VP6", "VP6A", "Screen2", "H.264"};
        video.codec = video.codecTag < 8 && *kVideo[video.codecTag] ? kVideo[video.codecTag] : "?";
        video.width = int(file.Width());
        video.height = int(file.Height());
        video.durationMs = duration;
        if (duration > 0) {
            video.frameRate = std::round(double(video.packets) * 1000.0 / double(duration) * 1000.0) / 1000.0;
            video.bitRate = videoBytes * 8000 / duration;
        }
        out.streams.push_back(std::move(video));
    }
    if (file.HasAudio()) {
        audio.kind = MediaStreamInfo::Audio;
        audio.codec = FlvSoundFormatName(uint8_t(audio.codecTag));
        const std::vector<uint8_t>& asc = file.AudioConfig();
        if (audio.codecTag == kFlvSoundAac && asc.size() >= 2) {
            // AudioSpecificConfig: object type (5 bits), frequency index (4), channels (4)
            static const int kAacRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                              22050, 16000, 12000, 11025, 8000,  7350};
            const int index = ((asc[0] & 7) << 1) | (asc[1] >> 7);
            if (index < 13) audio.sampleRate = kAacRates[index];
            audio.channels = (asc[1] >> 3) & 0x0F;
            audio.bitsPerSample = 0;
        }
        audio.durationMs = duration;
        if (duration > 0) audio.bitRate = audioBytes * 8000 / duration;
        out.streams.push_back(std::move(audio));
    }
    return 0;
}

std::string Fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, std::isfinite(v) ? v : 0.0);
    return buf;
}

const char* KindName(MediaStreamInfo::Kind k) {
    return k == MediaStreamInfo::Video ? "video" : k == MediaStreamInfo::Audio ? "audio" : "other";
}

}  // namespace

int64_t MediaFileInfo::KeyFrameCount() const {
    int64_t n = 0;
    for (const MediaStreamInfo& s : streams) n += int64_t(s.keyFramesMs.size());
    return n;
}

int ReadMediaInfo(const std::string& path, int format, MediaFileInfo& out) {
    out = MediaFileInfo{};
    out.path = path;
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    out.fileBytes = ec ? 0 : uint64_t(size);
    switch (format) {
        case kFormatAvi:
        case kFormatWav:
            return ReadRiff(path, format == kFormatWav, out);
        case kFormatWmv:
        case kFormatWma:
            return ReadAsf(path, out);
        case kFormatFlv:
            return ReadFlv(path, out);
        default:
            return kErrFileOpen;
    }
}

std::string SecondsText(int64_t ms) {
    if (ms < 0) return "-" + SecondsText(-ms);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%" PRId64 ".%03d", ms / 1000, int(ms % 1000));
    return buf;
}

std::string JsonString(const std::string& text) {
    std::string s = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                s += "\\\"";
                break;
            case '\\':
                s += "\\\\";
                break;
            case '\n':
                s += "\\n";
                break;
            case '\r':
                s += "\\r";
                break;
            case '\t':
                s += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", unsigned(c));
                    s += buf;
                } else {
                    s += char(c);  // UTF-8 passes as it is
                }
        }
    }
    return s + "\"";
}

std::string MediaInfoJson(const MediaFileInfo& info, bool keyFrames) {
    std::string j =
        "{\"file\": " + JsonString(info.path) + ", \"container\": " + JsonString(info.container) +
        ", \"size\": " + std::to_string(info.fileBytes) + ", \"duration\": " + SecondsText(info.durationMs) +
        (info.statedDurationMs >= 0 ? ", \"stated_duration\": " + SecondsText(info.statedDurationMs) : "") +
        ", \"key_frames\": " + std::to_string(info.KeyFrameCount()) + ", \"streams\": [";
    for (size_t i = 0; i < info.streams.size(); ++i) {
        const MediaStreamInfo& s = info.streams[i];
        if (i) j += ", ";
        j += "{\"index\": " + std::to_string(i) + ", \"type\": \"" + KindName(s.kind) +
             "\", \"codec\": " + JsonString(s.codec) + ", \"codec_tag\": " + std::to_string(s.codecTag);
        if (s.kind == MediaStreamInfo::Video)
            j += ", \"width\": " + std::to_string(s.width) + ", \"height\": " + std::to_string(s.height) +
                 ", \"frame_rate\": " + Fixed(s.frameRate, 3);
        if (s.kind == MediaStreamInfo::Audio)
            j += ", \"sample_rate\": " + std::to_string(s.sampleRate) +
                 ", \"channels\": " + std::to_string(s.channels) +
                 ", \"bits_per_sample\": " + std::to_string(s.bitsPerSample);
        j += ", \"bit_rate\": " + std::to_string(s.bitRate) + ", \"packets\": " + std::to_string(s.packets) +
             ", \"duration\": " + SecondsText(s.durationMs);
        if (s.kind == MediaStreamInfo::Video) {
            j += ", \"key_frames\": " + std::to_string(s.keyFramesMs.size());
            if (keyFrames) {
                j += ", \"key_frame_times\": [";
                for (size_t k = 0; k < s.keyFramesMs.size(); ++k)
                    j += (k ? ", " : "") + SecondsText(s.keyFramesMs[k]);
                j += "]";
            }
        }
        j += "}";
    }
    return j + "]}";
}

std::string MediaInfoText(const MediaFileInfo& info, bool keyFrames) {
    auto T = [](const char* ja, const char* en) { return SelectByLanguage(ja, en); };
    std::string t = info.path + "\n";
    t += T("  形式: ", "  container: ") + info.container + "\n";
    t += T("  長さ: ", "  duration: ") + SecondsText(info.durationMs) + T(" 秒", " s");
    if (info.statedDurationMs >= 0)
        t += T(" (メタデータでは ", " (the metadata says ") + SecondsText(info.statedDurationMs) +
             T(" 秒)", " s)");
    t += "\n";
    t += T("  キーフレーム: ", "  key frames: ") + std::to_string(info.KeyFrameCount()) + "\n";
    for (size_t i = 0; i < info.streams.size(); ++i) {
        const MediaStreamInfo& s = info.streams[i];
        t += "  #" + std::to_string(i) + " ";
        if (s.kind == MediaStreamInfo::Video) {
            t += T("映像 ", "video ") + s.codec + ", " + std::to_string(s.width) + "x" +
                 std::to_string(s.height) + ", " + Fixed(s.frameRate, 3) + " fps";
        } else if (s.kind == MediaStreamInfo::Audio) {
            t += T("音声 ", "audio ") + s.codec + ", " + std::to_string(s.sampleRate) + " Hz, " +
                 std::to_string(s.channels) + " ch";
            if (s.bitsPerSample) t += ", " + std::to_string(s.bitsPerSample) + " bit";
        } else {
            t += T("その他 ", "other ") + s.codec;
        }
        if (s.bitRate) t += ", " + std::to_string((s.bitRate + 500) / 1000) + " kb/s";
        t += ", " + SecondsText(s.durationMs) + T(" 秒", " s");
        if (s.kind == MediaStreamInfo::Video)
            t += T(", キーフレーム ", ", key frames ") + std::to_string(s.keyFramesMs.size());
        t += "\n";
        if (keyFrames && s.kind == MediaStreamInfo::Video) {
            std::string line = "     ";
            for (size_t k = 0; k < s.keyFramesMs.size(); ++k) {
                std::string item = (k ? " " : "") + SecondsText(s.keyFramesMs[k]);
                if (line.size() + item.size() > 78) {
                    t += line + "\n";
                    line = "     ";
                    item = SecondsText(s.keyFramesMs[k]);
                }
                line += item;
            }
            if (!s.keyFramesMs.empty()) t += line + "\n";
        }
    }
    return t;
}

}  // namespace vt
