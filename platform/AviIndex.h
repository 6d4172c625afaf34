#pragma once
// The index tables of the AVI reader and writer: one compact entry per chunk,
// kept in blocks of fixed size so that a table of millions of entries grows
// without copying itself (no moment with two copies, no holes left in the
// heap). Internal to the platform layer. Qt-free.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/AviTypes.h"

namespace vt {

template <class T, size_t kBlock = 4096>
class BlockArray {
  public:
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T& operator[](size_t i) { return blocks_[i / kBlock][i % kBlock]; }
    const T& operator[](size_t i) const { return blocks_[i / kBlock][i % kBlock]; }
    const T& back() const { return (*this)[size_ - 1]; }
    void push_back(const T& v) {
        if (size_ == blocks_.size() * kBlock) blocks_.push_back(std::make_unique_for_overwrite<T[]>(kBlock));
        (*this)[size_++] = v;
    }
    // Keeps the first n entries (n <= size()) and frees the blocks past them.
    void truncate(size_t n) {
        size_ = n;
        blocks_.resize((n + kBlock - 1) / kBlock);
    }
    void clear() { truncate(0); }
    // The first entry whose value is above v (values in ascending order).
    template <class V>
    size_t upper_bound(const V& v) const {
        size_t lo = 0, hi = size_;
        while (lo < hi) {
            const size_t mid = lo + (hi - lo) / 2;
            if (v < (*this)[mid])
                hi = mid;
            else
                lo = mid + 1;
        }
        return lo;
    }
    // The first entry whose value is not below v.
    template <class V>
    size_t lower_bound(const V& v) const {
        size_t lo = 0, hi = size_;
        while (lo < hi) {
            const size_t mid = lo + (hi - lo) / 2;
            if ((*this)[mid] < v)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }

  private:
    std::vector<std::unique_ptr<T[]>> blocks_;
    size_t size_ = 0;
};

// A chunk of a stream being read: where its data is, its size and whether it
// is a key frame, in 12 bytes (offsets below 2^63).
struct IndexEntry {
    IndexEntry() = default;
    IndexEntry(uint64_t at, uint32_t bytes, uint32_t flags)
        : offLo_(uint32_t(at)),
          offHiKey_(uint32_t(at >> 32) | ((flags & kAviIfKeyFrame) ? kKeyBit : 0u)),
          size(bytes) {}
    uint64_t offset() const { return (uint64_t(offHiKey_ & ~kKeyBit) << 32) | offLo_; }
    uint32_t flags() const { return (offHiKey_ & kKeyBit) ? kAviIfKeyFrame : 0u; }

  private:
    static constexpr uint32_t kKeyBit = 0x80000000u;
    uint32_t offLo_ = 0;
    uint32_t offHiKey_ = 0;

  public:
    uint32_t size = 0;
};
static_assert(sizeof(IndexEntry) == 12);

// A chunk written in the current RIFF part: its header's offset from the
// part's start, its size, its stream and key-frame flag, in 10 bytes.
#pragma pack(push, 1)
struct PartEntry {
    uint32_t offset;  // of the chunk header, from the 'RIFF' of the part
    uint32_t size;
    uint8_t stream;
    uint8_t key;
};
#pragma pack(pop)
static_assert(sizeof(PartEntry) == 10);

}  // namespace vt
