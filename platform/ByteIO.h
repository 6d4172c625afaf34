#pragma once
// One byte-order-aware I/O class for every container: a file form (buffered,
// 64-bit offsets) and a memory form (cheap parser tests). Reads and writes
// report success as bool; a failed write also sets a sticky error flag so a
// writer can check once at the end. Qt-free.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace vt {

class FileIO;

class ByteIO {
  public:
    virtual ~ByteIO() = default;
    ByteIO() = default;
    ByteIO(const ByteIO&) = delete;
    ByteIO& operator=(const ByteIO&) = delete;

    // Raw transfer. Read returns the count of bytes read (short at the end).
    virtual size_t Read(void* dst, size_t n) = 0;
    virtual bool Write(const void* src, size_t n) = 0;
    virtual bool Seek(uint64_t pos) = 0;
    virtual uint64_t Tell() const = 0;
    virtual uint64_t Size() const = 0;
    virtual bool Flush() { return !failed_; }
    // Reads up to n bytes at `pos` without moving the position; a file reads
    // them straight into `dst`, past its buffer. Returns the count read.
    virtual size_t ReadAt(uint64_t pos, void* dst, size_t n);
    // A hint for the next read, given after the seek to it: the reads that
    // follow stay within [Tell(), end) for now. A buffered form reads that
    // span at once (up to its buffer's size), or only the next read when that
    // is all of it. Nothing else depends on it.
    virtual void WillRead(uint64_t end) { (void)end; }

    bool Failed() const { return failed_; }
    uint64_t Remaining() const {
        uint64_t s = Size(), t = Tell();
        return t < s ? s - t : 0;
    }
    bool AtEnd() const { return Tell() >= Size(); }

    bool ReadExact(void* dst, size_t n) { return Read(dst, n) == n; }
    // Reads n bytes into `out` only when the source holds them: never allocates
    // more than what is really there.
    bool ReadBytes(std::vector<uint8_t>& out, uint64_t n);
    bool Skip(uint64_t n);  // fails (without moving) when n passes the end

    bool ReadU8(uint8_t& v) { return ReadExact(&v, 1); }
    bool ReadU16LE(uint16_t& v);
    bool ReadU32LE(uint32_t& v);
    bool ReadU64LE(uint64_t& v);
    bool ReadU16BE(uint16_t& v);
    bool ReadU24BE(uint32_t& v);
    bool ReadU32BE(uint32_t& v);
    bool ReadU64BE(uint64_t& v);
    bool ReadDoubleBE(double& v);
    bool ReadFourCC(uint32_t& v) { return ReadU32LE(v); }

    bool WriteU8(uint8_t v) { return Write(&v, 1); }
    bool WriteU16LE(uint16_t v);
    bool WriteU32LE(uint32_t v);
    bool WriteU64LE(uint64_t v);
    bool WriteU16BE(uint16_t v);
    bool WriteU24BE(uint32_t v);
    bool WriteU32BE(uint32_t v);
    bool WriteU64BE(uint64_t v);
    bool WriteDoubleBE(double v);
    bool WriteZeros(uint64_t n);
    bool Write(std::span<const uint8_t> bytes) { return Write(bytes.data(), bytes.size()); }

    // Copies n bytes from `src` (at its position) to this, through a bounded buffer.
    bool CopyFrom(ByteIO& src, uint64_t n);
    // Copies bytes [srcPos, srcPos + n) of `src` to this object's position
    // without moving src's position. A file to a file goes from one
    // to the other inside the system where it can (copy_file_range), others
    // through a bounded buffer. When src does not hold the bytes, that is
    // known before anything is written; a failure part-way leaves this
    // object's position after what was copied.
    enum class Copied { Ok, ReadFailed, WriteFailed };
    virtual Copied CopyRange(ByteIO& src, uint64_t srcPos, uint64_t n);
    // The file behind this object when it is one (a wrapper gives the one it wraps).
    virtual FileIO* File() { return nullptr; }

  protected:
    bool failed_ = false;
};

// Little-endian and big-endian helpers for buffers already in memory.
inline uint16_t GetU16LE(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t GetU32LE(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t GetU64LE(const uint8_t* p) {
    return GetU32LE(p) | (uint64_t(GetU32LE(p + 4)) << 32);
}
inline uint16_t GetU16BE(const uint8_t* p) {
    return uint16_t((p[0] << 8) | p[1]);
}
inline uint32_t GetU24BE(const uint8_t* p) {
    return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
}
inline uint32_t GetU32BE(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
inline void PutU16LE(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void PutU32LE(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void PutU64LE(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void PutU16BE(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
inline void PutU24BE(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 16);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v);
}
inline void PutU32BE(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (24 - 8 * i));
}
constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | (uint32_t(uint8_t(b)) << 8) | (uint32_t(uint8_t(c)) << 16) |
           (uint32_t(uint8_t(d)) << 24);
}
std::string FourCCText(uint32_t fcc);

// A file, read or written through one buffer (1 MiB by default). Large reads
// and writes bypass the buffer (a large write goes out in one call with the
// bytes pending before it). Memory use does not depend on the file's size.
class FileIO final : public ByteIO {
  public:
    enum class Mode { Read, Create, ReadWrite };  // Create truncates or makes the file
    FileIO() = default;
    ~FileIO() override;

    // The fuzz build uses small buffers: thousands of runs a second, and every
    // buffer boundary crossed on small files.
#ifdef VANTOREL_FUZZ_BUILD
    static constexpr size_t kDefaultBufferSize = 4096;
#else
    static constexpr size_t kDefaultBufferSize = 1 << 20;
#endif
    bool Open(const std::string& path, Mode mode, size_t bufferSize = kDefaultBufferSize);
    bool Close();  // flushes; false when a write failed at any time
    bool IsOpen() const {
        return fd_ >= 0;
    }
    const std::string& Path() const {
        return path_;
    }

    size_t Read(void* dst, size_t n) override;
    size_t ReadAt(uint64_t pos, void* dst, size_t n) override;
    bool Write(const void* src, size_t n) override;
    bool Seek(uint64_t pos) override;
    uint64_t Tell() const override {
        return pos_;
    }
    uint64_t Size() const override;
    bool Flush() override;
    void WillRead(uint64_t end) override {
        hintEnd_ = end;
    }
    Copied CopyRange(ByteIO& src, uint64_t srcPos, uint64_t n) override;
    FileIO* File() override {
        return this;
    }
    bool Truncate(uint64_t size);

  private:
    bool FlushWrite();
    bool FillRead(size_t limit);
    Copied CopyThroughPipe(FileIO& in, uint64_t srcPos, uint64_t n);
    bool OpenPipe();
    bool PushToPipe(const uint8_t* p, size_t n);
    bool DrainPipe();
    void ClosePipe();
    bool WriteAt(uint64_t at, const uint8_t* head, size_t headLen, const uint8_t* body, size_t bodyLen);

    // Reads after a seek from this size on go straight to the caller.
    static constexpr size_t kDirectReadMin = 4096;
    // What a small read after a seek fills of the buffer.
    static constexpr size_t kSeekFill = 4096;
    // Writes from this size on go straight to the file (with what is pending).
    static constexpr size_t kDirectWriteMin = 32 << 10;

    int fd_ = -1;
    std::string path_;
    std::vector<uint8_t> buf_;
    uint64_t pos_ = 0;      // logical position
    uint64_t bufPos_ = 0;   // file offset of buf_[0]
    size_t bufLen_ = 0;     // valid bytes in buf_ (read mode) or pending bytes (write mode)
    bool writing_ = false;  // buf_ holds pending writes
    uint64_t size_ = 0;     // file size as known to us (including pending writes)
    uint64_t lastEnd_ = 0;  // where the previous read stopped: tells a seek from a sequential read
    uint64_t hintEnd_ = 0;  // WillRead's end for the next read (0: none)

    // Ranges copied from another file that are smaller than this go through a
    // pipe: their pages are queued there by reference (with the small writes
    // between them) and go to this file in large batches. One copy_file_range
    // per small range costs more than the bytes it moves.
    static constexpr uint64_t kPipeCopyMax = 1 << 20;
    // The pipe's size: what one write of its bytes to the file takes. Larger
    // writes make the page cache take larger blocks of memory for them, which
    // a machine short of free contiguous memory hands out slowly (measured: a
    // 3 GB join with 1 MiB writes took twice the time of one with 256 KiB).
    static constexpr int kPipeBytes = 256 << 10;
    // The pipe's queued bytes lie at [pipePos_, pipePos_ + piped_) of the
    // file, just before any pending bytes of buf_ (then bufPos_ == pipePos_ + piped_).
    int pipeRead_ = -1, pipeWrite_ = -1;
    uint64_t pipePos_ = 0;
    size_t piped_ = 0;
    bool noPipe_ = false;  // the system said no once: ranges go the other way
};

// Memory form: reads a borrowed span or reads and writes an owned vector.
class MemoryIO final : public ByteIO {
  public:
    MemoryIO() = default;                              // empty, writable
    explicit MemoryIO(std::vector<uint8_t> data);      // owned, writable
    explicit MemoryIO(std::span<const uint8_t> view);  // borrowed, read-only

    size_t Read(void* dst, size_t n) override;
    bool Write(const void* src, size_t n) override;
    bool Seek(uint64_t pos) override;
    uint64_t Tell() const override { return pos_; }
    uint64_t Size() const override { return view_.size(); }

    const std::vector<uint8_t>& Data() const { return own_; }
    std::vector<uint8_t> Take() {
        view_ = {};
        pos_ = 0;
        return std::move(own_);
    }

  private:
    std::vector<uint8_t> own_;
    std::span<const uint8_t> view_;
    bool readOnly_ = false;
    uint64_t pos_ = 0;
};

}  // namespace vt
