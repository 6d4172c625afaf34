#pragma once
// RIFF chunk I/O over ByteIO: creating RIFF forms, lists and chunks, ascending
// out of them (which writes their final size and the pad byte), descending
// into them and finding chunks by id. Every size read is checked against the
// parent chunk and the end of the file. Qt-free.
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
