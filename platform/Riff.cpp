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

bool RiffWalker::Next(RiffEntry& e) {
    const uint64_t pos = next_;
    if (failed_ || pos > end_ || end_ - pos < 8) return false;
    e = {};
    e.pos = pos;
    if (!io_.Seek(pos) || !io_.ReadU32LE(e.id) || !io_.ReadU32LE(e.size)) {
        failed_ = true;
        return false;
    }
    e.avail = end_ - pos - 8;
    if ((e.id == kFourCCList || e.id == kFourCCRiff) && e.size >= 4 && pos + 12 <= io_.Size()) {
        if (!io_.ReadU32LE(e.type)) {
            failed_ = true;
            return false;
        }
        e.typed = true;
    }
    // Past a chunk that runs out of the range there is nothing more to find.
    next_ = e.Fits() ? pos + 8 + uint64_t(e.size) + (e.size & 1) : UINT64_MAX;
    return true;
}

bool RiffIO::Descend(RiffChunk& ck, const RiffChunk* parent, unsigned flags) {
    uint64_t end = io_.Size();
    if (parent) {
        uint64_t pstart = (parent->ckid == kFourCCRiff || parent->ckid == kFourCCList)
                              ? parent->dwDataOffset - 4
                              : parent->dwDataOffset;
        end = std::min<uint64_t>(end, pstart + parent->cksize);
    }
    const uint32_t wantId = ck.ckid, wantType = ck.fccType;
    RiffWalker walker(io_, io_.Tell(), end);
    RiffEntry e;
    for (int guard = 0; guard < 1 << 20; ++guard) {
        if (!walker.Next(e) || !e.Fits()) return false;
        const bool typed = e.id == kFourCCRiff || e.id == kFourCCList;
        if (typed && !e.typed) return false;
        bool match = true;
        if (flags & kFindChunk)
            match = e.id == wantId;
        else if (flags & kFindRiff)
            match = e.id == kFourCCRiff && e.type == wantType;
        else if (flags & kFindList)
            match = e.id == kFourCCList && e.type == wantType;
        if (match) {
            ck = RiffChunk{};
            ck.ckid = e.id;
            ck.cksize = e.size;
            ck.fccType = e.type;
            ck.dwDataOffset = e.pos + (typed ? 12 : 8);
            return true;
        }
    }
    return false;
}

}  // namespace vt
