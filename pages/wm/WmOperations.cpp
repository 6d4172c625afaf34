#include "pages/wm/WmOperations.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <map>

#include "core/ErrorCodes.h"
#include "core/Strings.h"
#include "core/TimeFields.h"
#include "media/wm/WmErrors.h"
#include "platform/AsfReader.h"

namespace vt {

namespace {

constexpr uint64_t kNoRangeEnd = std::numeric_limits<uint64_t>::max();

// True when a later file of a connection carries the streams of the first:
// the same numbers, in the same order, of the same types and formats.
bool SameStreams(const AsfProfile& first, const AsfProfile& later) {
    const auto& a = first.Streams();
    const auto& b = later.Streams();
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].streamNumber != b[i].streamNumber || a[i].streamType != b[i].streamType ||
            a[i].typeSpecific != b[i].typeSpecific)
            return false;
    return true;
}

// Why a later file's streams cannot follow the first file's, in plain words
// (the first difference: the stream count, a stream's number or type, its
// codec, picture size, sample rate or channels, or another format field).
std::string StreamsDifference(const AsfProfile& first, const AsfProfile& later) {
    const auto& a = first.Streams();
    const auto& b = later.Streams();
    auto T = [](const std::string& ja, const std::string& en) { return SelectByLanguage(ja, en); };
    if (a.size() != b.size())
        return T(
            "ストリーム数 " + std::to_string(b.size()) + "、最初のファイルは " + std::to_string(a.size()),
            std::to_string(b.size()) + " streams, first file " + std::to_string(a.size()));
    auto le = [](const std::vector<uint8_t>& v, size_t at, int bytes) {
        uint32_t x = 0;
        for (int i = bytes - 1; i >= 0; --i) x = x << 8 | (at + size_t(i) < v.size() ? v[at + size_t(i)] : 0);
        return x;
    };
    auto fourcc = [](uint32_t f) {
        std::string s;
        for (int i = 0; i < 4; ++i) {
            const char c = char(f >> (8 * i));
            s += (c >= 0x20 && c < 0x7F) ? c : '.';
        }
        return s;
    };
    for (size_t i = 0; i < a.size(); ++i) {
        const std::string n = T("ストリーム " + std::to_string(a[i].streamNumber) + ": ",
                                "stream " + std::to_string(a[i].streamNumber) + ": ");
        const bool video = a[i].streamType == asfguid::kVideoMedia;
        const bool audio = a[i].streamType == asfguid::kAudioMedia;
        auto kind = [&](const AsfStreamConfig& c) {
            return c.streamType == asfguid::kVideoMedia   ? T("映像", "video")
                   : c.streamType == asfguid::kAudioMedia ? T("音声", "audio")
                                                          : T("その他", "other");
        };
        if (a[i].streamNumber != b[i].streamNumber)
            return T("ストリーム番号 " + std::to_string(b[i].streamNumber) + "、最初のファイルは " +
                         std::to_string(a[i].streamNumber),
                     "stream number " + std::to_string(b[i].streamNumber) + ", first file " +
                         std::to_string(a[i].streamNumber));
        if (a[i].streamType != b[i].streamType)
            return n + T(kind(b[i]) + "、最初のファイルは " + kind(a[i]),
                         kind(b[i]) + ", first file " + kind(a[i]));
        if (a[i].typeSpecific == b[i].typeSpecific) continue;
        const auto& x = a[i].typeSpecific;
        const auto& y = b[i].typeSpecific;
        auto differs = [&](const char* ja, const char* en, const std::string& vy, const std::string& vx) {
            return n + T(std::string(ja) + " " + vy + "、最初のファイルは " + vx,
                         std::string(en) + " " + vy + ", first file " + vx);
        };
        if (video) {
            // width, height, flags, format size, then the bitmap header
            if (le(x, 11 + 16, 4) != le(y, 11 + 16, 4))
                return differs("コーデック", "codec", fourcc(le(y, 11 + 16, 4)), fourcc(le(x, 11 + 16, 4)));
            const std::string sx = std::to_string(le(x, 0, 4)) + "\u00D7" + std::to_string(le(x, 4, 4));
            const std::string sy = std::to_string(le(y, 0, 4)) + "\u00D7" + std::to_string(le(y, 4, 4));
            if (sx != sy) return differs("画像サイズ", "picture size", sy, sx);
        }
        if (audio) {
            char tx[8], ty[8];
            std::snprintf(tx, sizeof tx, "0x%04X", unsigned(le(x, 0, 2)));
            std::snprintf(ty, sizeof ty, "0x%04X", unsigned(le(y, 0, 2)));
            if (le(x, 0, 2) != le(y, 0, 2)) return differs("コーデック", "codec", ty, tx);
            if (le(x, 4, 4) != le(y, 4, 4))
                return differs("サンプリングレート", "sample rate", std::to_string(le(y, 4, 4)) + " Hz",
                               std::to_string(le(x, 4, 4)) + " Hz");
            if (le(x, 2, 2) != le(y, 2, 2))
                return differs("チャンネル数", "channels", std::to_string(le(y, 2, 2)),
                               std::to_string(le(x, 2, 2)));
            if (le(x, 8, 4) != le(y, 8, 4))
                return differs("ビットレート", "bit rate", std::to_string(le(y, 8, 4) * 8) + " bit/s",
                               std::to_string(le(x, 8, 4) * 8) + " bit/s");
        }
        return n + T("形式が最初のファイルと違います", "format differs from the first file's");
    }
    return {};
}

// The detail of 8204: the file that lacks the stream, in plain words.
std::string NoStreamDetail(const std::string& file, bool video) {
    return video ? SelectByLanguage(file + " に映像ストリームがありません。", file + " has no video stream.")
                 : SelectByLanguage(file + " に音声ストリームがありません。", file + " has no audio stream.");
}

}  // namespace

void LowerCurrentThreadPriority(WmThreadPriority priority) {
    const int steps = priority == WmThreadPriority::Lowest ? 4 : 2;
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int current = ::getpriority(PRIO_PROCESS, tid);
    if (current == -1 && errno != 0) return;
    (void)::setpriority(PRIO_PROCESS, tid, std::min(current + steps, 19));
}

uint64_t WmRangeTime(const TimeFields& t) {
    // A large hour count must not wrap into a small time: past what 100 ns
    // units hold it stays at the largest time, beyond any file's end.
    constexpr int64_t kMaxMs = std::numeric_limits<int64_t>::max() / 10000;
    const int64_t ms = ToMilliseconds(t);
    if (ms <= 0) return 0;
    return uint64_t(std::min(ms, kMaxMs)) * 10000;
}

TimeFields WmDurationFields(uint64_t duration) {
    const uint32_t w = uint32_t(duration / 10000000);
    return SplitSeconds(w, int((duration / 10000) % 1000));
}

// How far before the start the key-frame search looks first (100 ns).
constexpr uint64_t kKeySearchBack = 20000000;

uint64_t WmKeyFrameStart(const std::string& input, uint64_t rangeStart, int* code) {
    AsfReader reader;
    const AsfResult opened = reader.Open(input);
    if (code) *code = ErrorFromAsf(opened, kErrWmOpen);
    if (asf::Failed(opened)) return rangeStart;
    if (rangeStart == 0) return 0;
    // Samples are stored by send time: one up to a preroll later in the file
    // may still lie before the start.
    const uint64_t lookahead = std::min<uint64_t>(reader.Header().fileProperties.preroll, 3600000) * 10000;
    struct Sink : IAsfSampleSink {
        struct Video {
            bool seen = false;   // a sample at or before the start
            bool keyed = false;  // a key frame at or before the start
            uint64_t key = 0;    // the latest of those
        };
        std::map<uint16_t, Video> videos;
        uint64_t start = 0, lookahead = 0;
        AsfResult OnStreamSample(uint16_t streamNumber, uint64_t time, uint64_t, uint32_t flags,
                                 const AsfSampleBuffer&) override {
            if (time > start) return time - start > lookahead ? asf::kFalse : asf::kOk;
            auto it = videos.find(streamNumber);
            if (it == videos.end()) return asf::kOk;
            it->second.seen = true;
            if ((flags & kSampleCleanPoint) && (!it->second.keyed || time >= it->second.key)) {
                it->second.keyed = true;
                it->second.key = time;
            }
            return asf::kOk;
        }
    } sink;
    sink.start = rangeStart;
    sink.lookahead = lookahead;
    for (const auto& s : reader.Header().profile.Streams())
        if (s.streamType == asfguid::kVideoMedia) sink.videos[s.streamNumber];
    if (sink.videos.empty()) return rangeStart;
    // The search reads from a packet before the start, every time twice as
    // far back, until each video stream has a key frame there that no sample
    // of an earlier packet can come after (they all lie before `from`); at
    // the first packet it has read what a search from there reads.
    uint64_t back = kKeySearchBack;
    for (;;) {
        const uint64_t from = rangeStart > back ? rangeStart - back : 0;
        const uint64_t first = reader.PacketBefore(from);
        for (auto& [number, v] : sink.videos) v = {};
        // A damaged packet ends the search; the run itself reports it.
        const AsfResult hr = reader.Run(sink, first);
        if (first == 0) break;
        if (asf::Failed(hr)) {
            back = rangeStart;  // where a search from the first packet stops, it stops too
            continue;
        }
        if (std::all_of(sink.videos.begin(), sink.videos.end(),
                        [from](const auto& v) { return v.second.keyed && v.second.key >= from; }))
            break;
        back = back > rangeStart / 2 ? rangeStart : back * 2;
    }
    uint64_t start = rangeStart;
    for (const auto& [number, v] : sink.videos)
        if (v.seen) start = std::min(start, v.keyed ? v.key : 0);
    return start;
}

// ---------------------------------------------------------------------------

CWmOperationBase::~CWmOperationBase() {
    Wait();
}

void CWmOperationBase::Wait() {
    for (auto& t : workers_)
        if (t.joinable()) t.join();
    workers_.clear();
}

void CWmOperationBase::EndRun(WmFrontEnd& frontEnd, int code, std::string detail) {
    // An input that does not open is named by the message.
    if (code == kErrWmOpen && detail.empty()) detail = openFailure_;
    {
        std::lock_guard<std::mutex> lock(outcomeMutex_);
        outcome_ = {code, detail};
    }
    result_ = code;
    frontEnd.ReportResult(OpResult{code, std::move(detail)});
    frontEnd.EndOperation();
}

OpResult CWmOperationBase::Outcome() const {
    std::lock_guard<std::mutex> lock(outcomeMutex_);
    return outcome_;
}

int CWmOperationBase::OpenFailed(const std::string& input) {
    openFailure_ = input;
    return kErrWmOpen;
}

int CWmOperationBase::FinishOutput(CEncCompWMV& writer, int code, const std::string& output,
                                   std::string* detail) {
    const int finished = ErrorFromAsf(writer.Finish(), kErrWmProcess);
    if (code == 0 && finished != 0) {
        if (detail) *detail = output;
        return finished;
    }
    return code;
}

// ---------------------------------------------------------------------------
// Separation

CWmSeparation::~CWmSeparation() {
    Wait();
}

void CWmSeparation::Start(WmFrontEnd& frontEnd, bool video) {
    WmJob job;
    if (!frontEnd.BeginOperation(job)) return;
    Wait();  // a run that has ended has left its tail behind
    ResetResult();
    host_ = &frontEnd.Host();
    RouteDiagnostics(*host_);
    const int code = job.inputs.empty() ? kErrWmOpen : SetUp(job.inputs.front(), job.output, video);
    if (code != 0) {
        reader_.Close();
        writer_.Finish();
        EndRun(frontEnd, code,
               code == kErrWmInfo ? NoStreamDetail(job.inputs.front(), video) : std::string());
        return;
    }
    StartWorker(WmThreadPriority::Lowest, [this, &frontEnd, output = job.output] {
        int runCode = reader_.Run();
        // The output is complete before the page says the run has ended.
        reader_.Close();
        std::string detail;
        runCode = FinishOutput(writer_, runCode, output, &detail);
        EndRun(frontEnd, runCode, detail);
    });
}

int CWmSeparation::SetUp(const std::string& input, const std::string& output, bool video) {
    int code = reader_.Open(input, 0, kNoRangeEnd);
    if (code == kErrWmOpen) return OpenFailed(input);
    if (code != 0) return code;
    const Guid wanted = video ? kMediaTypeVideo : kMediaTypeAudio;
    keptStream_ = -1;
    Guid keptType;
    const auto& types = reader_.StreamTypes();
    const auto& numbers = reader_.StreamNumbers();
    for (size_t i = 0; i < types.size() && i < numbers.size(); ++i)
        if (types[i] == wanted) {
            keptType = types[i];
            keptStream_ = numbers[i];
        }
    if (keptStream_ == -1) return kErrWmInfo;

    const auto readerProfile = reader_.GetProfile();
    if (!readerProfile) return kErrWmInfoSet;
    // A copy: the reader's own profile stays as the file describes it.
    AsfProfile profile = *readerProfile;
    std::optional<AsfStreamConfig> config = profile.GetStreamByNumber(uint16_t(keptStream_));
    if (!config) return kErrWmInfoSet;
    AsfResult hr = asf::kOk;
    for (uint16_t n : numbers)
        if (asf::Succeeded(hr)) hr = profile.RemoveStreamByNumber(n);
    (void)config->SetStreamNumber(1);
    if (asf::Succeeded(hr)) hr = profile.AddStream(*config);
    if (const int failed = ErrorFromAsf(hr, kErrWmInfoSet)) return failed;
    if (writer_.Open(output, &profile) != 0) return kErrWmInfoSet;
    reader_.SetSampleCallback(&CWmSeparation::SampleCallback, this);
    AsfHeaderInfo* info = writer_.GetHeaderInfo();
    // The stream's attributes follow it to its number in the output.
    hr = reader_.CopyStreamAttributes(info, uint16_t(keptStream_), 1);
    if (asf::Succeeded(hr)) hr = reader_.CopyStreamAttributes(info, 0);
    if (asf::Succeeded(hr)) hr = reader_.CopyCodecInfo(info, keptType);
    if (const int failed = ErrorFromAsf(hr, kErrWmInfoSet)) return failed;
    if (writer_.StartWriting() != 0) return kErrWmInfoSet;
    return kOk;
}

AsfResult CWmSeparation::SampleCallback(uint16_t streamNumber, uint64_t sampleTime, uint64_t sampleDuration,
                                        uint32_t flags, const AsfSampleBuffer* sample, void*, void* user) {
    auto* self = static_cast<CWmSeparation*>(user);
    const uint64_t duration = self->reader_.GetDuration();
    if (duration != 0) self->host_->ReportProgress(double(sampleTime) * 100.0 / double(duration));
    if (streamNumber == self->keptStream_) {
        const AsfResult hr = self->writer_.WriteSample(1, sampleTime, sampleDuration, flags, sample);
        if (asf::Failed(hr)) return hr;
    }
    return self->host_->StopRequested() ? asf::kFalse : asf::kOk;
}

// ---------------------------------------------------------------------------
// Union

CWmUnion::~CWmUnion() {
    Wait();
}

void CWmUnion::Start(WmFrontEnd& frontEnd) {
    WmJob job;
    if (!frontEnd.BeginOperation(job)) return;
    Wait();
    ResetResult();
    host_ = &frontEnd.Host();
    RouteDiagnostics(*host_);
    const int code = job.inputs.size() < 2 ? kErrWmOpen : SetUp(job.inputs[0], job.inputs[1], job.output);
    if (code != 0) {
        readers_[0].Close();
        readers_[1].Close();
        writer_.Finish();
        std::string detail;
        if (code == kErrWmInfo)
            detail = NoStreamDetail(job.inputs[streamNumbers_[0] == -1 ? 0 : 1], streamNumbers_[0] == -1);
        EndRun(frontEnd, code, detail);
        return;
    }
    times_[0] = 0;
    times_[1] = 0;
    totalDuration_ = std::max(readers_[0].GetDuration(), readers_[1].GetDuration());
    output_ = job.output;
    StartWorker(WmThreadPriority::Lowest, [this, &frontEnd] { Run(frontEnd); });
}

int CWmUnion::SetUp(const std::string& videoSource, const std::string& audioSource,
                    const std::string& output) {
    int code = readers_[0].Open(videoSource, 0, kNoRangeEnd);
    if (code == kErrWmOpen) return OpenFailed(videoSource);
    if (code != 0) return code;
    code = readers_[1].Open(audioSource, 0, kNoRangeEnd);
    if (code == kErrWmOpen) return OpenFailed(audioSource);
    if (code != 0) return code;

    const Guid wanted[2] = {kMediaTypeVideo, kMediaTypeAudio};
    for (int side = 0; side < 2; ++side) {
        streamNumbers_[side] = -1;
        const auto& types = readers_[side].StreamTypes();
        const auto& numbers = readers_[side].StreamNumbers();
        for (size_t i = 0; i < types.size() && i < numbers.size(); ++i)
            if (types[i] == wanted[side]) streamNumbers_[side] = numbers[i];
    }
    if (streamNumbers_[0] == -1 || streamNumbers_[1] == -1) return kErrWmInfo;

    AsfProfile profiles[2];
    std::optional<AsfStreamConfig> configs[2];
    AsfResult hr = asf::kOk;
    for (int side = 0; side < 2; ++side) {
        const auto shared = readers_[side].GetProfile();
        if (!shared) return kErrWmInfoSet;
        profiles[side] = *shared;
        configs[side] = profiles[side].GetStreamByNumber(uint16_t(streamNumbers_[side]));
        if (!configs[side]) return kErrWmInfoSet;
        for (uint16_t n : readers_[side].StreamNumbers())
            if (asf::Succeeded(hr)) hr = profiles[side].RemoveStreamByNumber(n);
        if (const int failed = ErrorFromAsf(hr, kErrWmInfoSet)) return failed;
    }
    (void)configs[0]->SetStreamNumber(1);
    (void)configs[1]->SetStreamNumber(2);
    hr = profiles[0].AddStream(*configs[0]);
    if (asf::Succeeded(hr)) hr = profiles[0].AddStream(*configs[1]);
    if (const int failed = ErrorFromAsf(hr, kErrWmInfoSet)) return failed;
    if (writer_.Open(output, &profiles[0]) != 0) return kErrWmInfoSet;
    readers_[0].SetSampleCallback(&CWmUnion::VideoCallback, this);
    readers_[1].SetSampleCallback(&CWmUnion::AudioCallback, this);
    AsfHeaderInfo* info = writer_.GetHeaderInfo();
    // The file's own attributes come from the audio source.
    // Each stream's attributes follow it to its number in the output.
    hr = readers_[0].CopyStreamAttributes(info, uint16_t(streamNumbers_[0]), 1);
    if (asf::Succeeded(hr)) hr = readers_[1].CopyStreamAttributes(info, uint16_t(streamNumbers_[1]), 2);
    if (asf::Succeeded(hr)) hr = readers_[1].CopyStreamAttributes(info, 0);
    if (asf::Succeeded(hr)) hr = readers_[0].CopyCodecInfo(info, kMediaTypeVideo);
    if (asf::Succeeded(hr)) hr = readers_[1].CopyCodecInfo(info, kMediaTypeAudio);
    if (const int failed = ErrorFromAsf(hr, kErrWmInfoSet)) return failed;
    if (writer_.StartWriting() != 0) return kErrWmInfoSet;
    return kOk;
}

void CWmUnion::Run(WmFrontEnd& frontEnd) {
    // Both sources are read on this thread, a packet at a time, and their
    // samples handed on one by one: the side whose latest sample is earlier
    // (the video side when they are level) takes its next sample, and a
    // sample of the kept stream later than the other side's latest waits
    // until that side has caught up with it (or has ended). So the samples
    // reach the writer in time order, and those of the same time in a fixed
    // order: the one that waited goes second.
    int firstFailure = 0;
    bool stopped = false;  // stopped by the user, or by the other side's failure
    auto ended = [&](int side, int code) {
        Side& s = sides_[side];
        s.running = false;
        s.waiting = false;
        s.Clear();
        times_[side] = -1;
        readers_[side].Close();
        if (code != 0 && firstFailure == 0) firstFailure = code;
    };
    auto stopping = [&] { return stopped || firstFailure != 0 || host_->StopRequested(); };
    auto write = [&](int side, const Queued& q) {
        const Side& s = sides_[side];
        const AsfSampleBuffer sample(std::span(s.pieces).subspan(q.pieceAt, q.pieces),
                                     std::span(s.owners).subspan(q.ownerAt, q.owners), q.length, nullptr);
        const AsfResult hr = writer_.WriteSample(uint16_t(side + 1), q.time, q.duration, q.flags, &sample);
        if (asf::Failed(hr)) ended(side, ErrorFromAsf(hr, kErrWmProcess));
    };
    // The next sample of a side, reading its next packet when it has none left.
    auto next = [&](int side) -> const Queued* {
        Side& s = sides_[side];
        while (s.next == s.queue.size()) {
            if (s.exhausted) {
                ended(side, readers_[side].FinishRun());
                return nullptr;
            }
            s.Clear();
            s.exhausted = !readers_[side].RunStep();
        }
        return &s.queue[s.next++];
    };

    for (int side = 0; side < 2; ++side) {
        sides_[side] = Side{};
        const int code = readers_[side].StartRun();
        sides_[side].running = code == 0;
        if (code != 0) ended(side, code);
    }
    while (sides_[0].running || sides_[1].running) {
        auto free = [&](int k) { return sides_[k].running && !sides_[k].waiting; };
        int side = 0;
        if (!free(0) && !free(1))
            side = sides_[0].waiting ? 0 : 1;  // it waits for a side that has ended
        else if (!free(0))
            side = 1;
        else if (free(1))
            side = times_[0].load() <= times_[1].load() ? 0 : 1;
        const int other = 1 - side;
        Side& s = sides_[side];
        if (s.waiting) {
            // The other side has ended.
            s.waiting = false;
            if (stopping())
                ended(side, 0);
            else
                write(side, s.queue[s.next - 1]);
            continue;
        }
        const Queued* q = next(side);
        if (q) {
            times_[side] = int64_t(q->time);
            if (times_[0] != -1 && times_[1] != -1 && totalDuration_ != 0)
                host_->ReportProgress(double(std::min(times_[0].load(), times_[1].load())) * 100.0 /
                                      double(totalDuration_));
            if (q->kept) {
                if (stopping())
                    ended(side, 0);
                else if (!sides_[other].running || int64_t(q->time) <= times_[other].load())
                    write(side, *q);
                else
                    s.waiting = true;
            }
        }
        // A sample of the other side that waited for this one goes now.
        Side& o = sides_[other];
        if (o.waiting && (!s.running || int64_t(o.queue[o.next - 1].time) <= times_[side].load())) {
            o.waiting = false;
            if (stopping())
                ended(other, 0);
            else
                write(other, o.queue[o.next - 1]);
        }
    }
    std::string detail;
    const int runCode = FinishOutput(writer_, firstFailure, output_, &detail);
    EndRun(frontEnd, runCode, detail);
}

AsfResult CWmUnion::OnSample(int side, uint16_t streamNumber, uint64_t sampleTime, uint64_t sampleDuration,
                             uint32_t flags, const AsfSampleBuffer* sample) {
    // Held until the side reads its next packet: the reader keeps the bytes that long.
    Side& s = sides_[side];
    const bool kept = streamNumber == streamNumbers_[side];
    Queued q{
        sampleTime, sampleDuration, flags, kept, 0, uint32_t(s.pieces.size()), 0, uint32_t(s.owners.size()),
        0};
    if (kept) {
        q.length = sample->Length();
        q.pieces = uint32_t(sample->Pieces().size());
        q.owners = uint32_t(sample->Owners().size());
        s.pieces.insert(s.pieces.end(), sample->Pieces().begin(), sample->Pieces().end());
        s.owners.insert(s.owners.end(), sample->Owners().begin(), sample->Owners().end());
    }
    s.queue.push_back(q);
    return asf::kOk;
}

AsfResult CWmUnion::VideoCallback(uint16_t streamNumber, uint64_t sampleTime, uint64_t sampleDuration,
                                  uint32_t flags, const AsfSampleBuffer* sample, void*, void* user) {
    return static_cast<CWmUnion*>(user)->OnSample(0, streamNumber, sampleTime, sampleDuration, flags, sample);
}

AsfResult CWmUnion::AudioCallback(uint16_t streamNumber, uint64_t sampleTime, uint64_t sampleDuration,
                                  uint32_t flags, const AsfSampleBuffer* sample, void*, void* user) {
    return static_cast<CWmUnion*>(user)->OnSample(1, streamNumber, sampleTime, sampleDuration, flags, sample);
}

// ---------------------------------------------------------------------------
// Connection

CWmConnection::~CWmConnection() {
    Wait();
}

void CWmConnection::Start(WmFrontEnd& frontEnd, bool listEmpty) {
    if (listEmpty || Busy()) return;
    Wait();
    ResetResult();
    StartWorker(WmThreadPriority::Lowest, [this, &frontEnd] {
        WmJob job;
        if (!frontEnd.BeginOperation(job)) return;
        host_ = &frontEnd.Host();
        RouteDiagnostics(*host_);
        refusal_.clear();
        int code = Connect(job.inputs, job.output);
        reader_.Close();
        // A file that does not fit says why, below its name.
        std::string detail = code == kErrWmProcess ? refusal_ : std::string();
        code = FinishOutput(writer_, code, job.output, &detail);
        EndRun(frontEnd, code, detail);
    });
}

void CWmConnection::Finish() {
    reader_.Close();
    writer_.Finish();
}

int CWmConnection::Connect(const std::vector<std::string>& files, const std::string& output) {
    currentFile_ = 0;
    fileCount_ = files.size();
    if (files.empty()) return kOk;
    if (reader_.Open(files[0], 0, kNoRangeEnd) != 0) return OpenFailed(files[0]);
    const auto firstProfile = reader_.GetProfile();
    if (!firstProfile) return OpenFailed(files[0]);
    const AsfProfile first = *firstProfile;
    if (writer_.Open(output, firstProfile.get()) != 0) return kErrWmOutput;
    reader_.SetSampleCallback(&CWmConnection::SampleCallback, this);
    if (reader_.CopyHeader(writer_.GetHeaderInfo()) != 0) return kErrWmCodec;
    if (writer_.StartWriting() != 0) return kErrWmEncInit;

    for (size_t i = 0; i < files.size() && !host_->StopRequested(); ++i) {
        currentFile_ = int(i);
        if (i > 0) {
            if (reader_.Open(files[i], 0, kNoRangeEnd) != 0) return OpenFailed(files[i]);
            const auto profile = reader_.GetProfile();
            // A file with other streams than the first cannot follow it in
            // the first file's layout.
            if (!profile || !SameStreams(first, *profile)) {
                if (profile) refusal_ = files[i] + "\n" + StreamsDifference(first, *profile);
                return kErrWmProcess;
            }
        }
        fileEnd_ = {};
        if (reader_.Run() != 0) return kErrWmProcess;
        // The next file follows this one's duration or its last sample's end,
        // whichever is later: a header's duration may end at the last
        // sample's time, or before the last sample ends.
        // A file cut short ends with its last sample, whatever its header says.
        writer_.AddTimeOffset(reader_.Truncated() ? fileEnd_.End()
                                                  : std::max(reader_.GetDuration(), fileEnd_.End()));
        reader_.Close();
    }
    return kOk;
}

AsfResult CWmConnection::SampleCallback(uint16_t streamNumber, uint64_t sampleTime, uint64_t sampleDuration,
                                        uint32_t flags, const AsfSampleBuffer* sample, void*, void* user) {
    auto* self = static_cast<CWmConnection*>(user);
    const uint64_t duration = self->reader_.GetDuration();
    if (duration != 0 && self->fileCount_ != 0)
        self->host_->ReportProgress(
            (double(self->currentFile_.load()) + double(sampleTime) / double(duration)) * 100.0 /
            double(self->fileCount_));
    self->fileEnd_.Add(streamNumber, sampleTime, sampleDuration);
    const AsfResult hr = self->writer_.WriteSample(streamNumber, sampleTime, sampleDuration, flags, sample);
    if (asf::Failed(hr)) return hr;
    return self->host_->StopRequested() ? asf::kFalse : asf::kOk;
}

void WmSampleEnd::Add(uint16_t streamNumber, uint64_t time, uint64_t duration) {
    Stream& s = streams_[streamNumber & 0x7F];
    if (s.any && time > s.last) s.step = time - s.last;
    s.last = std::max(s.last, time);
    s.any = true;
    // A sample without a stated duration lasts as long as the stream's latest step.
    end_ = std::max(end_, time + (duration != 0 ? duration : s.step));
}

// ---------------------------------------------------------------------------
// Extraction

CWmExtraction::~CWmExtraction() {
    Wait();
}

void CWmExtraction::Start(WmFrontEnd& frontEnd) {
    if (Busy()) return;
    Wait();
    ResetResult();
    StartWorker(WmThreadPriority::BelowNormal, [this, &frontEnd] {
        WmJob job;
        if (!frontEnd.BeginOperation(job)) return;
        host_ = &frontEnd.Host();
        frontEnd_ = &frontEnd;
        RouteDiagnostics(*host_);
        int code = Extract(job);
        frontEnd_ = nullptr;
        reader_.Close();
        std::string detail;
        code = FinishOutput(writer_, code, job.output, &detail);
        EndRun(frontEnd, code, detail);
    });
}

uint64_t CWmExtraction::ReadDuration(const std::string& input, int* code) {
    const int c = reader_.Open(input, 0, kNoRangeEnd);
    if (code) *code = c;
    const uint64_t duration = c == 0 ? reader_.GetDuration() : 0;
    reader_.Close();
    return duration;
}

void CWmExtraction::Finish() {
    reader_.Close();
    writer_.Finish();
}

int CWmExtraction::Extract(const WmJob& job) {
    if (job.inputs.empty()) return kErrWmOpen;
    rangeEnd_ = job.rangeEnd;
    // The video begins with a key frame, the audio at the same time.
    // A range that ends before it begins stays empty.
    int code = kOk;
    const bool empty = rangeEnd_ != 0 && rangeEnd_ < job.rangeStart;
    rangeStart_ = empty ? job.rangeStart : WmKeyFrameStart(job.inputs.front(), job.rangeStart, &code);
    if (code == kErrWmOpen) return OpenFailed(job.inputs.front());
    if (code != kOk) return code;
    if (rangeStart_ != job.rangeStart && frontEnd_) frontEnd_->RealStart(rangeStart_);
    if (reader_.Open(job.inputs.front(), rangeStart_, rangeEnd_) != 0) return OpenFailed(job.inputs.front());
    // The progress spans the range; an open end runs to the end of the file.
    const uint64_t end = rangeEnd_ != 0 ? rangeEnd_ : reader_.GetDuration();
    progressSpan_ = end > rangeStart_ ? end - rangeStart_ : 1;
    if (writer_.Open(job.output, reader_.GetProfile().get()) != 0) return kErrWmOutput;
    reader_.SetSampleCallback(&CWmExtraction::SampleCallback, this);
    if (reader_.CopyHeader(writer_.GetHeaderInfo()) != 0) return kErrWmCodec;
    if (writer_.StartWriting() != 0) return kErrWmEncInit;
    if (reader_.Run() != 0) return kErrWmProcess;
    reader_.Close();
    return kOk;
}

AsfResult CWmExtraction::SampleCallback(uint16_t streamNumber, uint64_t sampleTime, uint64_t sampleDuration,
                                        uint32_t flags, const AsfSampleBuffer* sample, void*, void* user) {
    auto* self = static_cast<CWmExtraction*>(user);
    self->host_->ReportProgress(double(sampleTime) * 100.0 / double(self->progressSpan_));
    const AsfResult hr = self->writer_.WriteSample(streamNumber, sampleTime, sampleDuration, flags, sample);
    if (asf::Failed(hr)) return hr;
    return self->host_->StopRequested() ? asf::kFalse : asf::kOk;
}

}  // namespace vt
