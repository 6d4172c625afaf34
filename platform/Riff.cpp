#include "platform/Riff.h"

namespace vt {

bool RiffIO::CreateChunk(RiffChunk& ck, unsigned flags) {
    if (flags & kCreateRiff) ck.ckid = kFourCCRiff;
    if (flags & kCreateList) ck.ckid = kFourCCList;
    bool typed = (flags & (kCreateRiff | kCreateList)) != 0;
    if (!io_.WriteU32LE(ck.ckid) || !io_.WriteU32LE(typed ? ck.cksize + 4 : ck.cksize)) return false;
    if (typed && !io_.WriteU32LE(ck.fccType)) return false;
    ck.dwDataOffset = io_.Tell();
    if (typed) {
        // Sizes of RIFF and LIST chunks count their type; keep cksize as the header value.
        ck.cksize += 4;
    }
    ck.dirty = true;
    return !io_.Failed();
}

bool RiffIO::Ascend(RiffChunk& ck) {
    bool typed = ck.ckid == kFourCCRiff || ck.ckid == kFourCCList;
    uint64_t start = typed ? ck.dwDataOffset - 4 : ck.dwDataOffset;
    if (ck.dirty) {
        uint64_t end = io_.Tell();
        if (end < start || end - start > 0xFFFFFFFFull) return false;
        uint32_t size = uint32_t(end - start);
        if (size != ck.cksize) {
            if (!io_.Seek(start - 4) || !io_.WriteU32LE(size) || !io_.Seek(end)) return false;
            ck.cksize = size;
        }
        if (size & 1) {
            if (!io_.WriteU8(0)) return false;
        }
        ck.dirty = false;
        return !io_.Failed();
    }
    uint64_t next = start + ck.cksize + (ck.cksize & 1);
    if (next > io_.Size()) next = io_.Size();
    return io_.Seek(next);
}

bool RiffIO::Descend(RiffChunk& ck, const RiffChunk* parent, unsigned flags) {
    uint64_t end = io_.Size();
    if (parent) {
        uint64_t pstart = (parent->ckid == kFourCCRiff || parent->ckid == kFourCCList)
                              ? parent->dwDataOffset - 4
                              : parent->dwDataOffset;
        end = std::min<uint64_t>(end, pstart + parent->cksize);
    }
    uint32_t wantId = ck.ckid, wantType = ck.fccType;
    for (int guard = 0; guard < 1 << 20; ++guard) {
        uint64_t pos = io_.Tell();
        if (pos + 8 > end) return false;
        uint32_t id, size;
        if (!io_.ReadU32LE(id) || !io_.ReadU32LE(size)) return false;
        if (size > end - pos - 8) return false;
        RiffChunk found;
        found.ckid = id;
        found.cksize = size;
        found.dwDataOffset = pos + 8;
        bool typed = id == kFourCCRiff || id == kFourCCList;
        if (typed) {
            if (size < 4 || !io_.ReadU32LE(found.fccType)) return false;
            found.dwDataOffset = pos + 12;
        }
        bool match = true;
        if (flags & kFindChunk)
            match = id == wantId;
        else if (flags & kFindRiff)
            match = id == kFourCCRiff && found.fccType == wantType;
        else if (flags & kFindList)
            match = id == kFourCCList && found.fccType == wantType;
        if (match) {
            ck = found;
            return true;
        }
        uint64_t next = pos + 8 + size + (size & 1);
        if (next > end) return false;
        if (!io_.Seek(next)) return false;
    }
    return false;
}

}  // namespace vt
