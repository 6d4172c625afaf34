#pragma once
// Records in memory: one bounds-checked reader over a span and one growable
// writer, little- and big-endian. The reader's failure is sticky: a read past
// the end fails, returns 0 and every later read fails too, so a parser reads a
// whole record and checks Ok() once. The writer's offsets can be patched
// after the fact (sizes and counts known only at the end). Files go through
// ByteIO; these are for headers, index entries and tags already in memory.
// Qt-free.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace vt {

class ByteReader {
  public:
    ByteReader() = default;
    explicit ByteReader(std::span<const uint8_t> bytes) : data_(bytes) {}
    ByteReader(const uint8_t* p, size_t n) : data_(p, n) {}

    bool Ok() const { return ok_; }
    size_t Pos() const { return pos_; }
    size_t Size() const { return data_.size(); }
    size_t Remaining() const { return data_.size() - pos_; }
    bool Has(size_t n) const { return ok_ && n <= Remaining(); }

    // Moves to `pos` (at most the end); fails past it.
    bool Seek(size_t pos) {
        if (!ok_ || pos > data_.size()) return ok_ = false;
        pos_ = pos;
        return true;
    }
    bool Skip(size_t n) { return Take(n) != nullptr; }

    uint8_t U8() {
        const uint8_t* p = Take(1);
        return p ? p[0] : 0;
    }
    uint16_t U16LE() { return uint16_t(Le(2)); }
    uint32_t U32LE() { return uint32_t(Le(4)); }
    uint64_t U64LE() { return Le(8); }
    uint16_t U16BE() { return uint16_t(Be(2)); }
    uint32_t U24BE() { return uint32_t(Be(3)); }
    uint32_t U32BE() { return uint32_t(Be(4)); }
    uint64_t U64BE() { return Be(8); }
    double DoubleBE() {
        uint64_t bits = Be(8);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    // The next n bytes (empty, and failed, when they are not all there).
    std::span<const uint8_t> Bytes(size_t n) {
        const uint8_t* p = Take(n);
        return p ? std::span<const uint8_t>(p, n) : std::span<const uint8_t>();
    }
    // Copies up to `n` bytes (what is there) into dst; the reader stays good.
    size_t CopyUpTo(void* dst, size_t n) {
        if (!ok_) return 0;
        n = std::min(n, Remaining());
        if (n) std::memcpy(dst, data_.data() + pos_, n);
        pos_ += n;
        return n;
    }

  private:
    const uint8_t* Take(size_t n) {
        if (!ok_ || n > Remaining()) {
            ok_ = false;
            return nullptr;
        }
        const uint8_t* p = data_.data() + pos_;
        pos_ += n;
        return p;
    }
    uint64_t Le(int n) {
        const uint8_t* p = Take(size_t(n));
        uint64_t v = 0;
        if (p)
            for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
        return v;
    }
    uint64_t Be(int n) {
        const uint8_t* p = Take(size_t(n));
        uint64_t v = 0;
        if (p)
            for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
        return v;
    }

    std::span<const uint8_t> data_;
    size_t pos_ = 0;
    bool ok_ = true;
};

class ByteWriter {
  public:
    ByteWriter() = default;
    explicit ByteWriter(size_t reserve) { buf_.reserve(reserve); }

    size_t Pos() const { return buf_.size(); }
    const std::vector<uint8_t>& Data() const { return buf_; }
    std::vector<uint8_t> Take() { return std::move(buf_); }
    void Clear() { buf_.clear(); }

    void U8(uint8_t v) { buf_.push_back(v); }
    void U16LE(uint16_t v) { Le(v, 2); }
    void U32LE(uint32_t v) { Le(v, 4); }
    void U64LE(uint64_t v) { Le(v, 8); }
    void U16BE(uint16_t v) { Be(v, 2); }
    void U24BE(uint32_t v) { Be(v, 3); }
    void U32BE(uint32_t v) { Be(v, 4); }
    void U64BE(uint64_t v) { Be(v, 8); }
    void DoubleBE(double d) {
        uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        Be(bits, 8);
    }
    void Bytes(std::span<const uint8_t> b) { buf_.insert(buf_.end(), b.begin(), b.end()); }
    void Bytes(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        buf_.insert(buf_.end(), b, b + n);
    }
    void Zeros(size_t n) { buf_.insert(buf_.end(), n, 0); }

    // Overwrites bytes written before (at `at`, from Pos() at the time).
    void PatchU16LE(size_t at, uint16_t v) { Patch(at, v, 2, false); }
    void PatchU32LE(size_t at, uint32_t v) { Patch(at, v, 4, false); }
    void PatchU64LE(size_t at, uint64_t v) { Patch(at, v, 8, false); }
    void PatchU24BE(size_t at, uint32_t v) { Patch(at, v, 3, true); }
    void PatchU32BE(size_t at, uint32_t v) { Patch(at, v, 4, true); }

  private:
    void Le(uint64_t v, int n) {
        for (int i = 0; i < n; ++i) buf_.push_back(uint8_t(v >> (8 * i)));
    }
    void Be(uint64_t v, int n) {
        for (int i = n - 1; i >= 0; --i) buf_.push_back(uint8_t(v >> (8 * i)));
    }
    void Patch(size_t at, uint64_t v, int n, bool big) {
        if (at > buf_.size() || size_t(n) > buf_.size() - at) return;  // never written there: a caller's bug
        for (int i = 0; i < n; ++i) buf_[at + size_t(i)] = uint8_t(v >> (8 * (big ? n - 1 - i : i)));
    }

    std::vector<uint8_t> buf_;
};

}  // namespace vt
