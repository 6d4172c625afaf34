#pragma once
// Reads an ASF file: its header (profile, header information, duration) and
// every compressed sample of every stream, whole, in the file's order.
// Nothing is decoded. Samples go to a sink on the thread that calls Run.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "platform/AsfHeader.h"
#include "platform/ByteIO.h"

namespace vt {

class IAsfSampleSink {
  public:
    virtual ~IAsfSampleSink() = default;
    // `sampleTime` is the presentation time without the preroll, in 100 ns.
    // Returns kOk to go on, kFalse to end the run without error, or a
    // failure to end it with that failure.
    virtual AsfResult OnStreamSample(uint16_t streamNumber, uint64_t sampleTime, uint64_t sampleDuration,
                                     uint32_t flags, const AsfSampleBuffer& sample) = 0;
};

// One payload of a data packet, as the packet states it.
struct AsfPayload {
    uint8_t streamNumber = 0;
    bool keyFrame = false;
    uint32_t objectNumber = 0;
    uint32_t objectOffset = 0;
    uint32_t objectSize = 0;
    uint32_t presentationTime = 0;        // milliseconds, preroll included
    bool compressed = false;              // a whole object from a compressed payload
    std::span<const uint8_t> replicated;  // after the size and time fields
    std::span<const uint8_t> data;
};

struct AsfPacketInfo {
    uint32_t sendTime = 0;  // milliseconds
    uint16_t duration = 0;
};

// Parses one data packet of `packet.size()` bytes (the file's packet size)
// and hands each payload to `onPayload` in packet order; a compressed payload
// is handed over as one whole-object payload per sub-payload. Returns kOk or
// kInvalidData for a packet whose fields do not fit.
AsfResult ParseAsfPacket(std::span<const uint8_t> packet, AsfPacketInfo& info,
                         const std::function<void(const AsfPayload&)>& onPayload);

class AsfReader {
  public:
    AsfReader();
    ~AsfReader();
    AsfReader(const AsfReader&) = delete;
    AsfReader& operator=(const AsfReader&) = delete;

    AsfResult Open(const std::string& path);
    AsfResult Open(std::unique_ptr<ByteIO> io);
    void Close();
    // Closes the file only: header, profile and duration stay readable.
    void CloseFile() { io_.reset(); }
    bool IsOpen() const { return io_ != nullptr; }

    const AsfHeader& Header() const { return header_; }
    AsfHeaderInfo& HeaderInfo() { return header_.info; }
    // The file's stream configurations; the same object on every call, so a
    // caller's changes are seen by everyone who holds it.
    std::shared_ptr<AsfProfile> Profile() const { return profile_; }
    // Play duration without the preroll, in 100 ns (0 when the file states none).
    uint64_t Duration() const { return header_.Duration(); }

    // Delivers every sample of the data object in file order. Returns kOk at
    // the end of the data or of its last whole packet (or when the sink
    // answered kFalse), the sink's failure, or kInvalidData for a damaged packet.
    // A run from `firstPacket` (an index, see PacketBefore) begins there: an
    // object that began in an earlier packet is not delivered.
    AsfResult Run(IAsfSampleSink& sink, uint64_t firstPacket = 0);
    // The same run a packet at a time, for a caller that interleaves several
    // readers on one thread: BeginRun, then Step until it sets `done`; Step
    // then returns what Run would have returned.
    // The bytes of the samples a step delivers stay valid until the next
    // step (or the reader's end), so a caller may hold them that long; one
    // that keeps a sample's owners (AsfSampleBuffer::Owners) keeps its
    // pieces valid for as long as it holds them.
    AsfResult BeginRun(uint64_t firstPacket = 0);
    // The data packet a run may begin at to deliver every sample presented
    // at or after `time` (100 ns, without the preroll) just as a run from the
    // first packet does: every object of an earlier packet lies before
    // `time`. Found by a binary search on the packets' send times, a margin
    // (the preroll, the largest buffer window and a few seconds) before
    // `time`. Returns 0 (the first packet) when the file cannot be searched
    // that way: a live capture, a data object cut short or without a packet
    // count, send times that go back, a damaged packet, or a packet holding
    // an object presented further after its send time than the margin.
    uint64_t PacketBefore(uint64_t time);
    AsfResult Step(IAsfSampleSink& sink, bool& done);
    // True when the file ends inside its data object (cut short): a run
    // delivers what its whole packets hold and ends there without error.
    bool Truncated() const { return truncated_; }

  private:
    struct StreamState;
    struct RunState;
    // The last presentation time of the packets (100 ns, without the preroll).
    uint64_t ScanDuration();
    std::unique_ptr<ByteIO> io_;
    bool truncated_ = false;
    AsfHeader header_;
    std::shared_ptr<AsfProfile> profile_;
    std::unique_ptr<RunState> run_;
};

}  // namespace vt
