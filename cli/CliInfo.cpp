// `info` and `extract --dry-run`: reading what a file holds and planning a
// section, with the very steps the extraction itself takes.
#include "cli/CliInfo.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "cli/CliArgs.h"
#include "core/ErrorCodes.h"
#include "core/ShellHelpers.h"
#include "core/Strings.h"
#include "core/TimeFields.h"
#include "flv/FlvFile.h"
#include "media/avi/DecMovie.h"
#include "media/wm/DecCompWMV.h"
#include "mediainfo/JoinCheck.h"
#include "mediainfo/MediaInfo.h"
#include "pages/avi/AviOperations.h"
#include "pages/wm/WmOperations.h"
#include "platform/AviFile.h"
#include "platform/ByteIO.h"

namespace vt {
namespace {

std::string T(const char* ja, const char* en) {
    return SelectByLanguage(ja, en);
}

// The options that take a value, so that their values are not taken for operands.
bool TakesValue(const std::string& a) {
    return a == "--format" || a == "--lang" || a == "--start" || a == "--end" || a == "-o" || a == "--output";
}

// The format of a file from its first bytes; the extension when they say nothing.
std::optional<int> SniffFormat(const std::string& path) {
    uint8_t head[16] = {};
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        const size_t n = std::fread(head, 1, sizeof head, f);
        std::fclose(f);
        if (n >= 12 && std::memcmp(head, "RIFF", 4) == 0) {
            if (std::memcmp(head + 8, "AVI ", 4) == 0) return kFormatAvi;
            if (std::memcmp(head + 8, "WAVE", 4) == 0) return kFormatWav;
        }
        // RF64 (BW64) and Wave64: WAV files past 4 GiB.
        if (n >= 12 && (std::memcmp(head, "RF64", 4) == 0 || std::memcmp(head, "BW64", 4) == 0) &&
            std::memcmp(head + 8, "WAVE", 4) == 0)
            return kFormatWav;
        if (n >= 16 && std::memcmp(head, "riff\x2E\x91\xCF\x11\xA5\xD6\x28\xDB\x04\xC1\x00\x00", 16) == 0)
            return kFormatWav;
        static const uint8_t kAsf[4] = {0x30, 0x26, 0xB2, 0x75};
        if (n >= 4 && std::memcmp(head, kAsf, 4) == 0) return kFormatWmv;
        if (n >= 3 && std::memcmp(head, "FLV", 3) == 0) return kFormatFlv;
    }
    return FormatFromExtension(GetExtLower(path));
}

int InfoUsage(const std::string& message) {
    std::fprintf(
        stderr, "vantorel-cli: %s\n%s\n", message.c_str(),
        T("詳しくは vantorel-cli --help を見てください。", "Try 'vantorel-cli --help' for more information.")
            .c_str());
    return kExitUsage;
}

// A sink that only counts: the size of what a save would write.
class CountingIO final : public ByteIO {
  public:
    size_t Read(void*, size_t) override { return 0; }
    bool Write(const void*, size_t n) override {
        pos_ += n;
        size_ = std::max(size_, pos_);
        return true;
    }
    bool Seek(uint64_t pos) override {
        pos_ = pos;
        return true;
    }
    uint64_t Tell() const override { return pos_; }
    uint64_t Size() const override { return size_; }

  private:
    uint64_t pos_ = 0, size_ = 0;
};

struct Plan {
    int64_t askedStartMs = 0;
    int64_t startMs = 0, endMs = 0;
    int64_t videoPackets = -1, audioPackets = -1;  // -1: not counted
    int64_t blocks = -1;                           // WAV: blocks of the audio format; -1: not counted
    int64_t bytes = -1;                            // -1: not counted
    bool bytesAreFile = false;                     // the whole output file, or the media data only
};

int64_t TimeMs(const TimeFields& t) {
    return ToMilliseconds(t);
}

int PlanAvi(const CliRequest& request, Plan& plan) {
    const std::string& input = request.inputs.at(0);
    SectionRange range;
    double rate = 0;
    int r = ReadAviRange(input, range, &rate);
    if (r) return r;
    range.start = FromMilliseconds(request.startMs);
    if (request.endMs) range.end = FromMilliseconds(*request.endMs);
    CDecAVIAudio reader;
    r = reader.Open(input);
    if (r) return r;
    rate = reader.GetFrameRate();
    // As ExtractAviSection: the end frame clamped, the start at its key frame.
    int end = TimeToFrame(range.end, rate);
    if (end >= reader.GetLength() - 1) end = reader.GetLength() - 1;
    int start = TimeToFrame(range.start, rate);
    if (start <= end) start = AviKeyFrameStart(reader, start, end);
    plan.startMs = TimeMs(FrameToTime(start, rate));
    plan.endMs = TimeMs(FrameToTime(end + 1, rate));
    plan.videoPackets = std::max(0, end - start + 1);
    int64_t bytes = 0;
    if (const auto& video = reader.GetVideoStream())
        for (int p = start; p <= end; ++p) {
            int32_t b = 0, n = 0;
            if (video->Read(p, 1, nullptr, 0, &b, &n) != kAviOk) break;
            bytes += b;
        }
    plan.audioPackets = 0;
    if (reader.HasAudio() && start <= end) {
        const auto& audio = reader.GetAudioStream();
        int32_t first = AviVideoToAudioSample(start, *reader.GetVideoInfo(), *reader.GetAudioInfo());
        const int32_t last = std::min<int32_t>(
            AviVideoToAudioSample(int64_t(end) + 1, *reader.GetVideoInfo(), *reader.GetAudioInfo()),
            audio->Start() + audio->Length());
        for (int32_t p = std::max(first, audio->Start()); p < last;) {
            int32_t b = 0, n = 0;
            if (audio->Read(p, kAviStreamReadConvenient, nullptr, 0, &b, &n) != kAviOk || n <= 0) break;
            n = std::min(n, last - p);
            AviStreamInfo ai;
            audio->Info(ai);
            if (ai.dwSampleSize) b = int32_t(int64_t(n) * ai.dwSampleSize);
            bytes += b;
            ++plan.audioPackets;
            p += n;
        }
    }
    plan.bytes = bytes;
    return 0;
}

int PlanWav(const CliRequest& request, Plan& plan) {
    SectionRange range;
    const int r = ReadWavRange(request.inputs.at(0), range);
    if (r) return r;
    const int64_t length = TimeMs(range.end);
    plan.startMs = std::min<int64_t>(request.startMs, length);
    plan.endMs = std::min<int64_t>(request.endMs.value_or(length), length);
    // The extraction's own plan of what it writes.
    range.start = FromMilliseconds(request.startMs);
    if (request.endMs) range.end = FromMilliseconds(*request.endMs);
    WavSectionPlan section;
    const int p = PlanWavExtraction(request.inputs.at(0), range, section);
    if (p) return p;
    if (section.blocksOfFormat) plan.blocks = int64_t(section.blocks);
    plan.bytes = int64_t(section.fileBytes);
    plan.bytesAreFile = true;
    return 0;
}

int PlanWm(const CliRequest& request, Plan& plan, OperationHost& host) {
    const std::string& input = request.inputs.at(0);
    CWmExtraction op;
    op.RouteDiagnostics(host);
    int code = 0;
    const uint64_t duration = op.ReadDuration(input, &code);
    if (code) return kErrWmOpen;
    const uint64_t asked = request.startMs < 0 ? 0 : uint64_t(request.startMs) * 10000;
    uint64_t end = WmRangeTime(WmDurationFields(duration));
    if (request.endMs && *request.endMs > 0) end = std::min<uint64_t>(end, uint64_t(*request.endMs) * 10000);
    // The extraction's own step back to the key frame.
    const uint64_t start = WmKeyFrameStart(input, asked, &code);
    if (code) return code;
    plan.startMs = int64_t(start / 10000);
    plan.endMs = int64_t(end / 10000);
    // The samples the extraction's reader hands to the writer: the same range,
    // 0 for an open end, and nothing when the range ends before it begins.
    const uint64_t rangeEnd = request.endMs ? WmRangeTime(FromMilliseconds(*request.endMs)) : 0;
    plan.videoPackets = plan.audioPackets = 0;
    plan.bytes = 0;
    if (rangeEnd != 0 && rangeEnd < asked) return 0;
    struct Count {
        std::vector<uint16_t> video, audio;
        Plan* plan;
    } count;
    count.plan = &plan;
    CDecCompWMV reader;
    reader.SetDiagnosticSink([](const std::string&) {});
    if (reader.Open(input, start, rangeEnd) != 0) return kErrWmOpen;
    for (size_t i = 0; i < reader.StreamTypes().size() && i < reader.StreamNumbers().size(); ++i) {
        if (reader.StreamTypes()[i] == kMediaTypeVideo) count.video.push_back(reader.StreamNumbers()[i]);
        if (reader.StreamTypes()[i] == kMediaTypeAudio) count.audio.push_back(reader.StreamNumbers()[i]);
    }
    reader.SetSampleCallback(
        [](uint16_t stream, uint64_t, uint64_t, uint32_t, const AsfSampleBuffer* sample, void*,
           void* user) -> AsfResult {
            auto& c = *static_cast<Count*>(user);
            auto has = [stream](const std::vector<uint16_t>& v) {
                return std::find(v.begin(), v.end(), stream) != v.end();
            };
            if (has(c.video)) ++c.plan->videoPackets;
            if (has(c.audio)) ++c.plan->audioPackets;
            if (sample) c.plan->bytes += int64_t(sample->Length());
            return asf::kOk;
        },
        &count);
    if (reader.Run() != 0) return kErrWmProcess;
    return 0;
}

int PlanFlv(const CliRequest& request, Plan& plan) {
    auto clamp = [](int64_t ms) {
        return uint32_t(std::clamp<int64_t>(ms, 0, std::numeric_limits<uint32_t>::max()));
    };
    CFlvFile file;
    int r = ErrorFromFlv(file.Open(request.inputs.at(0)));
    if (r) return r;
    const uint32_t duration = file.Duration();
    const uint32_t endMs = request.endMs ? clamp(*request.endMs) : 0;
    r = ErrorFromFlv(file.Extract(clamp(request.startMs), endMs));
    if (r) return r;
    plan.startMs = file.SectionStart();
    plan.endMs = (endMs == 0 || endMs > duration) ? duration : endMs;
    plan.videoPackets = plan.audioPackets = 0;
    for (const FlvTag& t : file.Tags()) {
        if (!t.IsMediaFrame()) continue;
        ++(t.type == kFlvTagVideo ? plan.videoPackets : plan.audioPackets);
    }
    // The very save, into a sink that only counts.
    CountingIO sink;
    r = ErrorFromFlv(file.SaveAs(sink, nullptr));
    if (r) return r;
    plan.bytes = int64_t(sink.Size());
    plan.bytesAreFile = true;
    return 0;
}

}  // namespace

bool IsInfoCommand(const std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") return i + 1 < args.size() && args[i + 1] == "info";
        if (TakesValue(a)) {
            ++i;
            continue;
        }
        if (!a.empty() && a[0] == '-' && a != "-") continue;
        return a == "info";
    }
    return false;
}

int RunInfoCommand(const std::vector<std::string>& args) {
    const std::string lang = FindLanguageOption(args);
    if (!lang.empty() && !ApplyLanguage(lang))
        return InfoUsage(T("--lang は ja か en です", "--lang takes ja or en"));
    bool json = false, keyFrames = false, seenInfo = false, optionsEnded = false;
    std::optional<int> format;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
            if (!seenInfo)
                seenInfo = true;
            else
                files.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        if (a == "--help" || a == "-h") {
            std::fputs(HelpText().c_str(), stdout);
            return kExitOk;
        }
        if (a == "--json") {
            json = true;
        } else if (a == "--keyframes") {
            keyFrames = true;
        } else if (a == "--quiet" || a == "-q") {
        } else if (a == "--lang" || a.rfind("--lang=", 0) == 0) {
            if (a == "--lang") ++i;
        } else if (a == "--format" || a.rfind("--format=", 0) == 0) {
            std::string value;
            if (a == "--format") {
                if (i + 1 >= args.size())
                    return InfoUsage(
                        T("オプション --format に値がありません", "option --format needs a value"));
                value = args[++i];
            } else {
                value = a.substr(9);
            }
            format = ParseFormatName(value);
            if (!format) return InfoUsage(T("不明な形式です: ", "unknown format: ") + value);
        } else {
            return InfoUsage(T("info には使えないオプションです: ", "not an option of info: ") + a);
        }
    }
    if (files.empty())
        return InfoUsage(T("info にはファイルを指定してください", "info takes one or more files"));

    int status = kExitOk;
    std::string out = json ? "[" : "";
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string& path = files[i];
        MediaFileInfo info;
        const std::optional<int> f = format ? format : SniffFormat(path);
        const int code = f ? ReadMediaInfo(path, *f, info) : kErrFileOpen;
        if (json) out += i ? ",\n " : "";
        if (code) {
            status = kExitFailed;
            const std::string message = GetErrorText(code);
            if (json)
                out += "{\"file\": " + JsonString(path) + ", \"error\": " + std::to_string(code) +
                       ", \"message\": " + JsonString(message) + "}";
            std::fprintf(stderr, "vantorel-cli: %s: %s (%s)\n", path.c_str(), message.c_str(),
                         ErrorCaption(code).c_str());
            continue;
        }
        if (json)
            out += MediaInfoJson(info, keyFrames);
        else
            out += MediaInfoText(info, keyFrames);
    }
    if (json) out += "]\n";
    std::fputs(out.c_str(), stdout);
    std::fflush(stdout);
    return status;
}

int RunExtractDryRun(const CliRequest& request, OperationHost& host) {
    if (request.operation != Operation::Extract || request.inputs.size() != 1) return kErrSave;
    Plan plan;
    plan.askedStartMs = request.startMs;
    int code = kErrSave;
    switch (request.format) {
        case kFormatAvi:
            code = PlanAvi(request, plan);
            break;
        case kFormatWav:
            code = PlanWav(request, plan);
            break;
        case kFormatWmv:
        case kFormatWma:
            code = PlanWm(request, plan, host);
            break;
        case kFormatFlv:
            code = PlanFlv(request, plan);
            break;
    }
    if (code) return code;
    std::string t =
        T("区間 (書き込みはしません): ", "section (nothing is written): ") + request.inputs[0] + "\n";
    t += "  start: " + SecondsText(plan.startMs);
    if (plan.startMs != plan.askedStartMs)
        t += T(" (指定 ", " (asked ") + SecondsText(plan.askedStartMs) +
             T(", キーフレームへ移動)", ", moved to the key frame)");
    t += "\n  end: " + SecondsText(plan.endMs) + "\n";
    if (plan.videoPackets >= 0) t += "  video packets: " + std::to_string(plan.videoPackets) + "\n";
    if (plan.audioPackets >= 0) t += "  audio packets: " + std::to_string(plan.audioPackets) + "\n";
    if (plan.blocks >= 0) t += "  blocks: " + std::to_string(plan.blocks) + "\n";
    if (plan.bytes >= 0)
        t += std::string(plan.bytesAreFile ? "  bytes: " : "  media bytes: ") + std::to_string(plan.bytes) +
             "\n";
    t += "  output: " + request.output + T(" (書き込みません)", " (not written)") + "\n";
    std::fputs(t.c_str(), stdout);
    std::fflush(stdout);
    return 0;
}

OpResult RefuseDifferingJoin(const CliRequest& request) {
    const std::vector<std::string> differences = JoinDifferences(request.inputs, request.format);
    if (differences.empty()) return {};
    std::string detail = T("最初のファイルと形式の違うファイルがあります。何もしませんでした:",
                           "some files differ from the first file; nothing was done:");
    for (const std::string& d : differences) detail += "\n  " + d;
    detail += T("\n--force を付けるとそのまま連結します (出力は最初のファイルの形式になります)。",
                "\n--force joins them anyway (the output takes the first file's format).");
    return {1, detail};
}

}  // namespace vt
