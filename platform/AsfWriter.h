#pragma once
// Writes an ASF file from a profile, header information and compressed
// samples: header, fixed-size data packets with multiple payloads, and a
// simple index per video stream. Samples may come from several threads; they
// are ordered by time within the preroll and streamed to disk packet by
// packet, so memory does not grow with the file.
#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/AsfHeader.h"
#include "platform/ByteIO.h"
#include "platform/Bytes.h"

namespace vt {

class AsfWriter {
  public:
    AsfWriter();
    ~AsfWriter();
    AsfWriter(const AsfWriter&) = delete;
    AsfWriter& operator=(const AsfWriter&) = delete;

    // Configuration, before BeginWriting.
    AsfResult SetProfile(const AsfProfile& profile);
    AsfHeaderInfo& HeaderInfo() { return info_; }
    AsfResult SetOutputFilename(const std::string& path);
    AsfResult SetOutput(std::unique_ptr<ByteIO> io);  // any writable, seekable ByteIO
    // Fixed file id and creation date, so that equal inputs give equal bytes.
    void SetDeterministic(bool on) { deterministic_ = on; }
    AsfResult SetPacketSize(uint32_t bytes);  // 64 to 65536; 3200 by default

    AsfResult BeginWriting();
    // `time` is the presentation time without the preroll, 100 ns.
    AsfResult WriteStreamSample(uint16_t streamNumber, uint64_t time, uint64_t duration, uint32_t flags,
                                std::span<const uint8_t> data);
    // The same for a sample in pieces. A sample lent from a reader's blocks
    // is held back where it lies (holding references to its blocks) while
    // the blocks held that way stay few against the bytes held back;
    // otherwise, and for a sample that is not lent, its bytes are copied.
    AsfResult WriteStreamSample(uint16_t streamNumber, uint64_t time, uint64_t duration, uint32_t flags,
                                const AsfSampleBuffer& sample);
    // Writes what is held back, the index, and the final file properties.
    // When the disk refuses a write (full, or over a size limit), the file
    // written so far is still made whole: it is cut back to the packets that
    // reached the disk, and its header counts those; the result is the failure.
    AsfResult EndWriting();
    // The output after EndWriting (for memory outputs).
    std::unique_ptr<ByteIO> TakeOutput() { return std::move(io_); }

    uint32_t PrerollMs() const { return prerollMs_; }
    // Samples held back for ordering (bounded by a few seconds of content).
    size_t HeldBack() {
        std::lock_guard lock(mutex_);
        return pending_.size();
    }

  private:
    // A held-back sample; its bytes are in its stream's `held_` (copied) or
    // `lent_` (where the reader left them), under `slot`.
    struct Pending {
        uint64_t time;
        uint64_t seq;  // arrival order: samples of the same time keep it
        uint64_t slot;
        uint64_t duration;
        uint32_t flags;
        uint16_t stream;
        bool lent;
    };
    // The bytes of a sample: `count` pieces from position `at` of a ring of
    // `mask + 1` pieces.
    struct Pieces {
        const std::span<const uint8_t>* ring;
        size_t mask;
        uint64_t at;
        size_t count;
        std::span<const uint8_t> operator[](size_t i) const { return ring[size_t(at + i) & mask]; }
    };
    // A queue whose entries keep their position as it moves: pushed at the
    // head, dropped from the tail; a power of two long.
    template <class T>
    class Ring {
      public:
        void Clear() {
            items_.clear();
            head_ = tail_ = 0;
        }
        uint64_t Head() const { return head_; }
        uint64_t Tail() const { return tail_; }
        T& operator[](uint64_t pos) { return items_[size_t(pos) & (items_.size() - 1)]; }
        const T& operator[](uint64_t pos) const { return items_[size_t(pos) & (items_.size() - 1)]; }
        const T* Data() const { return items_.data(); }
        size_t Mask() const { return items_.size() - 1; }
        uint64_t Push(T x) {
            if (head_ - tail_ == items_.size()) {
                std::vector<T> more(std::max<size_t>(64, items_.size() * 2));
                for (uint64_t p = tail_; p != head_; ++p)
                    more[size_t(p) & (more.size() - 1)] = std::move((*this)[p]);
                items_.swap(more);
            }
            (*this)[head_] = std::move(x);
            return head_++;
        }
        void DropTo(uint64_t pos) { tail_ = pos; }

      private:
        std::vector<T> items_;
        uint64_t head_ = 0;
        uint64_t tail_ = 0;
    };
    // The reader blocks the held-back lent samples keep, each counted once,
    // and the bytes of those samples.
    class PinnedBlocks {
      public:
        void Clear();
        bool Has(const UninitBytes* block) const;
        void Hold(std::span<const AsfLentBlock> blocks, size_t length);
        void LetGo(const AsfLentBlock& block);
        void Done(size_t length) { lent_ -= length; }
        size_t Bytes() const { return bytes_; }
        size_t Lent() const { return lent_; }

      private:
        struct Pin {
            const UninitBytes* block;
            size_t holds;
        };
        std::vector<Pin> pins_;
        size_t bytes_ = 0;  // of the blocks
        size_t lent_ = 0;   // of the samples
    };
    // Held-back samples lent from a reader: their pieces and their blocks.
    class HeldPieces {
      public:
        void Clear();
        uint64_t Put(const AsfSampleBuffer& sample, PinnedBlocks& pins);  // the sample's slot
        Pieces Get(uint64_t slot) const;
        size_t Length(uint64_t slot) const { return entries_[slot].length; }
        void Release(uint64_t slot, PinnedBlocks& pins);
        uint64_t Oldest() const { return entries_.Tail(); }
        size_t Count() const { return size_t(entries_.Head() - entries_.Tail()); }

      private:
        struct Entry {
            uint64_t pieceAt = 0;
            uint64_t ownerAt = 0;
            uint32_t pieces = 0;
            uint32_t owners = 0;
            size_t length = 0;
            bool live = false;
        };
        Ring<Entry> entries_;
        Ring<std::span<const uint8_t>> pieces_;
        Ring<AsfLentBlock> owners_;
    };
    // The bytes of held-back samples, one block per sample in arrival order,
    // in one ring of memory that is reused from sample to sample.
    class HeldBytes {
      public:
        void Clear();
        // Copies the sample, `length` bytes in `pieces`; returns its arrival number.
        uint64_t Put(std::span<const std::span<const uint8_t>> pieces, size_t length);
        std::span<const uint8_t> Get(uint64_t seq) const;
        void Release(uint64_t seq);

      private:
        struct Block {
            size_t offset = 0;
            size_t size = 0;
            bool live = false;
        };
        Block& At(uint64_t seq) { return blocks_[size_t(seq) & (blocks_.size() - 1)]; }
        const Block& At(uint64_t seq) const { return blocks_[size_t(seq) & (blocks_.size() - 1)]; }
        bool Fit(size_t n, size_t& at) const;
        void Compact(size_t n);
        void SetAside(uint64_t seq);  // moves the oldest live block out of the ring
        size_t Span() const;          // from the oldest live block to head_
        UninitBytes ring_;
        std::vector<Block> blocks_;  // a circular queue, a power of two long
        uint64_t first_ = 0;         // the oldest live block
        uint64_t next_ = 0;
        size_t head_ = 0;  // where the next block's bytes go
        size_t live_ = 0;  // bytes of the live blocks
        // Blocks that stayed so long that they held the ring back: rare.
        std::map<uint64_t, std::vector<uint8_t>> aside_;
    };
    struct StreamState {
        bool present = false;
        bool video = false;
        bool durationExt = false;
        uint8_t nextObject = 0;
        uint64_t lastTime = 0;
        uint64_t lastStep = 0;
        bool any = false;
        uint32_t maxObjectSize = 0;
        struct Key {
            uint64_t ptsMs;
            uint32_t packet;
            uint32_t count;
        };
        // The key frames an index entry may name. Those no entry can name
        // (another follows within the same second) are dropped as the file
        // grows, once their packets are on disk, so memory stays flat.
        std::vector<Key> keys;
        size_t pruneAt = 1024;      // keys held when the next pruning is due
        uint32_t droppedCount = 0;  // the largest packet count of the dropped keys
    };
    void PruneKeys(StreamState& st) const;

    AsfResult Hold(uint16_t streamNumber, uint64_t time, uint64_t duration, uint32_t flags,
                   const AsfSampleBuffer& sample);
    void CopyOldestLent(uint16_t stream);
    AsfResult EmitSample(const Pending& s, const Pieces& data, size_t size);
    AsfResult EmitFirstPending();
    AsfResult FlushPacket();
    AsfResult WriteOut();
    AsfResult WriteIndexes(uint64_t playMs);
    AsfResult Patch();
    void SalvageWrittenPackets();
    size_t PayloadHeaderSize(const StreamState& st) const;

    std::mutex mutex_;
    AsfProfile profile_;
    AsfHeaderInfo info_;
    std::vector<std::u16string> languages_;
    bool haveProfile_ = false;
    std::string path_;
    std::unique_ptr<ByteIO> io_;
    bool deterministic_ = false;
    uint32_t packetSize_ = 3200;
    enum class State { Configuring, Writing, Done } state_ = State::Configuring;

    StreamState streams_[128];
    uint32_t prerollMs_ = 0;
    uint64_t holdBack_ = 0;         // 100 ns
    std::vector<Pending> pending_;  // a heap: the earliest, then the first to arrive, on top
    // One ring per stream: a stream's samples arrive about in their time
    // order, so each ring is freed from its oldest end.
    HeldBytes held_[128];
    HeldPieces lent_[128];
    PinnedBlocks pins_;
    uint64_t arrivals_ = 0;
    uint64_t newest_ = 0;

    // Whole packets not yet written, then the packet being filled, built in place.
    UninitBytes out_;
    size_t outLen_ = 0;      // bytes of whole packets in out_
    size_t payloadLen_ = 0;  // payload bytes in the packet being filled
    unsigned payloadCount_ = 0;
    uint32_t packetSend_ = 0;
    bool packetOpen_ = false;
    uint32_t lastSend_ = 0;
    uint64_t packets_ = 0;
    uint64_t packetsOut_ = 0;  // packets the file has taken
    uint64_t endTime_ = 0;     // latest sample end, 100 ns
    // The latest packets written: their number, the latest sample end and send
    // time up to them. Tells what a file cut back to its first packets holds.
    struct PacketMark {
        uint64_t packet;
        uint64_t endTime;
        uint32_t send;
    };
    std::vector<PacketMark> marks_;  // the latest kPacketMarks: packet n at (n - 1) modulo that count

    Guid fileId_;
    uint64_t creationDate_ = 0;
    uint64_t fileOffset_ = 0;  // where the data object begins
    uint64_t filePropsOffset_ = 0;
    std::vector<std::pair<uint64_t, uint16_t>> maxObjectPatches_;  // offset of the field, stream
};

}  // namespace vt
