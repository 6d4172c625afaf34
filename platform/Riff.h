#pragma once
// RIFF chunk I/O over ByteIO: creating RIFF forms, lists and chunks, ascending
// out of them (which writes their final size and the pad byte), descending
// into them and finding chunks by id. Every size read is checked against the
// parent chunk and the end of the file. Qt-free.
#include <algorithm>
#include <cstdint>

#include "platform/ByteIO.h"

namespace vt {

struct RiffChunk {
    uint32_t ckid = 0;
    uint32_t cksize = 0;
    uint32_t fccType = 0;       // form or list type of RIFF and LIST chunks
    uint64_t dwDataOffset = 0;  // file offset of the data (after the type for RIFF/LIST)
    bool dirty = false;         // created or written: the size is fixed on ascent
};

constexpr uint32_t kFourCCRiff = MakeFourCC('R', 'I', 'F', 'F');
constexpr uint32_t kFourCCList = MakeFourCC('L', 'I', 'S', 'T');

// One chunk header as the walker found it.
struct RiffEntry {
    uint64_t pos = 0;  // file offset of the header
    uint32_t id = 0;
    uint32_t size = 0;   // as written
    uint32_t type = 0;   // form or list type of RIFF and LIST chunks (when `typed`)
    bool typed = false;  // a RIFF/LIST chunk of at least 4 bytes whose type was read
    uint64_t avail = 0;  // bytes from the data to the end of the range
    uint64_t DataPos() const { return pos + 8; }
    bool Fits() const { return size <= avail; }
    // The end of the data, cut at the end of the range.
    uint64_t DataEnd() const { return pos + 8 + std::min<uint64_t>(size, avail); }
    bool IsList(uint32_t listType) const { return id == kFourCCList && typed && type == listType; }
};

// Walks the chunks in [start, end) of a file: each Next reads the header at
// the walker's position and the one after moves past the chunk (and its pad
// byte). The walk ends at the end of the range and after a chunk that runs
// past it (Fits() false): the caller decides whether such a chunk is a cut-off
// file to read as far as it goes or a damaged one. The type of a RIFF or LIST
// chunk is read with its header when the file holds it. Nothing is read
// twice: the position after Next is the data (after the type of a list), and
// the walker seeks back to its own place on the next call, so a caller may
// read elsewhere in between. Each step moves on by at least 8 bytes.
class RiffWalker {
  public:
    RiffWalker(ByteIO& io, uint64_t start, uint64_t end, int depth = 0)
        : io_(io), next_(start), end_(end), depth_(depth) {}

    // False at the end of the range, or when a header cannot be read (Failed()).
    bool Next(RiffEntry& e);
    bool Failed() const { return failed_; }
    // A walker over the contents of a list found by this one, one level deeper.
    RiffWalker Inside(const RiffEntry& list) const {
        return RiffWalker(io_, list.pos + 12, list.pos + 8 + uint64_t(list.size), depth_ + 1);
    }
    int Depth() const { return depth_; }

  private:
    ByteIO& io_;
    uint64_t next_;
    uint64_t end_;
    int depth_;
    bool failed_ = false;
};

class RiffIO {
  public:
    enum : unsigned {
        kCreateRiff = 0x20,
        kCreateList = 0x40,
        kFindChunk = 0x10,
        kFindRiff = 0x20,
        kFindList = 0x40,
    };

    explicit RiffIO(ByteIO& io) : io_(io) {}
    ByteIO& IO() { return io_; }

    // Writes a chunk header at the current position (with the form or list
    // type for kCreateRiff/kCreateList); ck.cksize is the size written for now.
    bool CreateChunk(RiffChunk& ck, unsigned flags = 0);

    // Leaves a chunk. For a chunk that was created or marked dirty: writes its
    // real size when it differs from the one in the header, and a pad byte
    // after odd data. The position ends after the chunk (and its pad byte).
    bool Ascend(RiffChunk& ck);

    // Reads chunk headers from the current position until one matches:
    // kFindChunk by ckid, kFindRiff/kFindList by ckid RIFF/LIST and fccType;
    // without a find flag, the next chunk. The search stays inside `parent`
    // (or the file) and fails on a size that passes its end.
    bool Descend(RiffChunk& ck, const RiffChunk* parent, unsigned flags = 0);

    bool Seek(uint64_t pos) { return io_.Seek(pos); }
    uint64_t Tell() const { return io_.Tell(); }
    bool Write(const void* p, size_t n) { return io_.Write(p, n); }
    size_t Read(void* p, size_t n) { return io_.Read(p, n); }

  private:
    ByteIO& io_;
};

}  // namespace vt
