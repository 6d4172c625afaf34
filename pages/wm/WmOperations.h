#pragma once
// The WMV and WMA operations: separation, union, connection and section
// extraction. Each owns its readers and writers and its worker threads; the
// front end (a page or the command line) supplies the operation host and the
// running state. The sample callbacks run on the worker threads, which call
// the front end's host directly: the host forwards to its own thread what must
// run there. Qt-free.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "core/OperationHost.h"
#include "media/wm/DecCompWMV.h"
#include "media/wm/EncCompWMV.h"
#include "ops/KindRules.h"
#include "ops/OpContract.h"

namespace vt {

// What an operation works on, as the front end's controls say when it starts.
struct WmJob {
    // separation, extraction: the input; union: video source, audio source;
    // connection: the files in join order.
    std::vector<std::string> inputs;
    std::string output;
    uint64_t rangeStart = 0;  // extraction, 100 ns
    uint64_t rangeEnd = 0;    // extraction, 100 ns; 0: to the end
};

// The front end's side of a run.
class WmFrontEnd {
  public:
    virtual ~WmFrontEnd() = default;
    virtual OperationHost& Host() = 0;
    // Enters the running state and fills `job` from the controls as they are
    // now. False when the run is refused (nothing else happens then). Any thread.
    virtual bool BeginOperation(WmJob& job) = 0;
    // Reports how the run ended, once, just before EndOperation: through the
    // host by default (a page's error box). Any thread.
    virtual void ReportResult(const OpResult& result) {
        if (result.code != 0) Host().ReportError(result.detail, result.code);
    }
    // Leaves the running state. Any thread.
    virtual void EndOperation() = 0;
    // An extraction begins earlier than asked, at a video key frame: `start`
    // (100 ns) is where it really begins. Called on the worker thread before
    // the samples are copied.
    virtual void RealStart(uint64_t start) { (void)start; }
};

enum class WmThreadPriority { Lowest, BelowNormal };
// Lowers the calling thread's scheduling priority (best effort).
void LowerCurrentThreadPriority(WmThreadPriority priority);

// Range of the extraction fields in 100 ns: whole seconds from hours, minutes
// and seconds, then the milliseconds.
uint64_t WmRangeTime(const TimeFields& t);
// The end fields that show a file's duration (the duration check).
TimeFields WmDurationFields(uint64_t duration);

// Where the samples of a file end: the latest sample time plus its duration,
// or plus its stream's latest step between samples when it states none.
class WmSampleEnd {
  public:
    void Add(uint16_t streamNumber, uint64_t time, uint64_t duration);
    uint64_t End() const { return end_; }

  private:
    struct Stream {
        bool any = false;
        uint64_t last = 0, step = 0;
    };
    Stream streams_[128];
    uint64_t end_ = 0;
};

// Where an extraction of `input` from `rangeStart` (100 ns) really begins:
// at the latest video key frame at or before it, of the video stream whose
// key frame lies earliest, so that every video stream begins with a picture
// that decodes and the audio keeps in step with it. The range start itself
// for a file without video, 0 when a video stream has no key frame before the
// start. *code: 0, or 8201 when the file cannot be read.
uint64_t WmKeyFrameStart(const std::string& input, uint64_t rangeStart, int* code = nullptr);

// Common part: the worker threads and the result of the last run.
class CWmOperationBase {
  public:
    virtual ~CWmOperationBase();
    // Waits for the worker threads of the last run.
    void Wait();
    // True while a worker thread of the last run has not ended.
    bool Busy() const { return activeWorkers_.load() != 0; }
    // The error code of the last run (0: none).
    int Result() const { return result_.load(); }
    // The code and the detail text of the last run.
    OpResult Outcome() const;
    // Sends the readers' diagnostics to the host (Start does this too).
    virtual void RouteDiagnostics(OperationHost& host) = 0;

  protected:
    static DiagnosticSink SinkOf(OperationHost& host) {
        return [&host](const std::string& line) { host.Diagnostic(line); };
    }
    // Ends a run: keeps its outcome, has the front end report it (an input
    // that did not open is named by the detail text), then ends the front
    // end's running state.
    void EndRun(WmFrontEnd& frontEnd, int code, std::string detail = "");
    // Notes the input that did not open; returns 8201.
    int OpenFailed(const std::string& input);
    // Completes the output. A write the disk refused there fails the run with
    // 8203, named by the output, unless the run already failed (`code`).
    // Returns the run's code and the detail text to report with it.
    static int FinishOutput(CEncCompWMV& writer, int code, const std::string& output, std::string* detail);
    void ResetResult() {
        result_ = 0;
        openFailure_.clear();
        std::lock_guard<std::mutex> lock(outcomeMutex_);
        outcome_ = {};
    }
    // Starts a worker thread at the priority; `body` runs on it.
    template <class F>
    void StartWorker(WmThreadPriority priority, F body) {
        ++activeWorkers_;
        workers_.emplace_back([this, priority, body]() mutable {
            LowerCurrentThreadPriority(priority);
            body();
            --activeWorkers_;
        });
    }
    std::vector<std::thread> workers_;
    std::atomic<int> activeWorkers_{0};

  private:
    std::atomic<int> result_{0};
    std::string openFailure_;  // the input that did not open
    mutable std::mutex outcomeMutex_;
    OpResult outcome_;
};

// One stream of a file into a file of its own (stream number 1).
class CWmSeparation : public CWmOperationBase {
  public:
    ~CWmSeparation() override;
    // Begins the operation, sets up on the calling thread and starts the worker.
    void Start(WmFrontEnd& frontEnd, bool video);
    // Opens the input and prepares the writer: 0, 8201, 8204 or 8205.
    int SetUp(const std::string& input, const std::string& output, bool video);
    int KeptStream() const { return keptStream_; }
    void RouteDiagnostics(OperationHost& host) override { reader_.SetDiagnosticSink(SinkOf(host)); }
    CEncCompWMV& Writer() { return writer_; }

    static AsfResult SampleCallback(uint16_t streamNumber, uint64_t sampleTime, uint64_t sampleDuration,
                                    uint32_t flags, const AsfSampleBuffer* sample, void* context, void* user);

  private:
    int keptStream_ = -1;
    CDecCompWMV reader_;
    CEncCompWMV writer_;
    OperationHost* host_ = nullptr;
};

// The video stream of one file and the audio stream of another into one file.
class CWmUnion : public CWmOperationBase {
  public:
    ~CWmUnion() override;
    void Start(WmFrontEnd& frontEnd);
    // Opens both sources and prepares the writer: 0, 8201, 8204 or 8205.
    int SetUp(const std::string& videoSource, const std::string& audioSource, const std::string& output);
    uint64_t TotalDuration() const { return totalDuration_; }
    void RouteDiagnostics(OperationHost& host) override {
        for (auto& r : readers_) r.SetDiagnosticSink(SinkOf(host));
    }
    CEncCompWMV& Writer() { return writer_; }

    static AsfResult VideoCallback(uint16_t streamNumber, uint64_t sampleTime, uint64_t sampleDuration,
                                   uint32_t flags, const AsfSampleBuffer* sample, void* context, void* user);
    static AsfResult AudioCallback(uint16_t streamNumber, uint64_t sampleTime, uint64_t sampleDuration,
                                   uint32_t flags, const AsfSampleBuffer* sample, void* context, void* user);

  private:
    std::string output_;
    AsfResult OnSample(int side, uint16_t streamNumber, uint64_t sampleTime, uint64_t sampleDuration,
                       uint32_t flags, const AsfSampleBuffer* sample);
    // Reads both sources on the worker thread and completes the output.
    void Run(WmFrontEnd& frontEnd);

    // A sample a side has read and not yet handed on; its bytes (of the kept
    // stream only) stay in the reader until the side reads its next packet,
    // and as long as the blocks they are lent from are held.
    struct Queued {
        uint64_t time;
        uint64_t duration;
        uint32_t flags;
        bool kept;
        size_t length;
        uint32_t pieceAt, pieces;  // in the side's `pieces`
        uint32_t ownerAt, owners;  // in the side's `owners`
    };
    struct Side {
        std::vector<Queued> queue;  // the samples of the packet read last
        std::vector<std::span<const uint8_t>> pieces;
        std::vector<AsfLentBlock> owners;
        void Clear() {
            queue.clear();
            pieces.clear();
            owners.clear();
            next = 0;
        }
        size_t next = 0;
        bool running = false;
        bool exhausted = false;  // the reader has ended: what is queued goes, then the side ends
        bool waiting = false;    // `queue[next - 1]` waits for the other side to catch up
    };

    uint64_t totalDuration_ = 0;
    CDecCompWMV readers_[2];
    CEncCompWMV writer_;
    // Time of each side's latest sample; -1 once its reader has finished.
    std::atomic<int64_t> times_[2] = {0, 0};
    int streamNumbers_[2] = {-1, -1};
    Side sides_[2];
    OperationHost* host_ = nullptr;
};

// The listed files one after the other into one file.
class CWmConnection : public CWmOperationBase {
  public:
    ~CWmConnection() override;
    // Starts the worker; an empty list starts nothing.
    void Start(WmFrontEnd& frontEnd, bool listEmpty);
    // Joins the files: 0, 8201, 8302, 8202, 8301 or 8203. Leaves the reader
    // open and the writer unfinished (Finish does that).
    int Connect(const std::vector<std::string>& files, const std::string& output);
    void Finish();
    CEncCompWMV& Writer() { return writer_; }
    void RouteDiagnostics(OperationHost& host) override { reader_.SetDiagnosticSink(SinkOf(host)); }

    static AsfResult SampleCallback(uint16_t streamNumber, uint64_t sampleTime, uint64_t sampleDuration,
                                    uint32_t flags, const AsfSampleBuffer* sample, void* context, void* user);

  private:
    CDecCompWMV reader_;
    CEncCompWMV writer_;
    std::atomic<int> currentFile_{0};
    size_t fileCount_ = 0;
    WmSampleEnd fileEnd_;  // of the file being copied
    OperationHost* host_ = nullptr;
    std::string refusal_;  // why a later file could not follow the first (8203)
};

// The samples of a time range of one file, moved to time 0.
class CWmExtraction : public CWmOperationBase {
  public:
    ~CWmExtraction() override;
    void Start(WmFrontEnd& frontEnd);
    // The input's duration (100 ns) for the end fields; 0 with 8201 in *code
    // when the file cannot be opened.
    uint64_t ReadDuration(const std::string& input, int* code);
    // Extracts: 0, 8201, 8302, 8202, 8301 or 8203.
    int Extract(const WmJob& job);
    void Finish();
    CEncCompWMV& Writer() { return writer_; }
    void RouteDiagnostics(OperationHost& host) override { reader_.SetDiagnosticSink(SinkOf(host)); }

    static AsfResult SampleCallback(uint16_t streamNumber, uint64_t sampleTime, uint64_t sampleDuration,
                                    uint32_t flags, const AsfSampleBuffer* sample, void* context, void* user);

  private:
    CDecCompWMV reader_;
    CEncCompWMV writer_;
    uint64_t rangeStart_ = 0;
    uint64_t rangeEnd_ = 0;
    uint64_t progressSpan_ = 1;
    OperationHost* host_ = nullptr;
    WmFrontEnd* frontEnd_ = nullptr;  // during a run started by Start
};

}  // namespace vt
