#include "platform/AviRecords.h"

namespace vt {

AvihRecord ParseAvih(std::span<const uint8_t> b) {
    ByteReader r(b);
    AvihRecord a;
    a.usecPerFrame = r.U32LE();
    a.maxBytesPerSec = r.U32LE();
    a.paddingGranularity = r.U32LE();
    a.flags = r.U32LE();
    a.totalFrames = r.U32LE();
    a.initialFrames = r.U32LE();
    a.streams = r.U32LE();
    a.suggestedBufferSize = r.U32LE();
    a.width = r.U32LE();
    a.height = r.U32LE();
    return a;
}

void RenderAvih(ByteWriter& w, const AvihRecord& a) {
    w.U32LE(a.usecPerFrame);
    w.U32LE(a.maxBytesPerSec);
    w.U32LE(a.paddingGranularity);
    w.U32LE(a.flags);
    w.U32LE(a.totalFrames);
    w.U32LE(a.initialFrames);
    w.U32LE(a.streams);
    w.U32LE(a.suggestedBufferSize);
    w.U32LE(a.width);
    w.U32LE(a.height);
    w.Zeros(16);  // dwReserved[4]
}

void ParseStrh(std::span<const uint8_t> b, bool hasRect, AviStreamInfo& i) {
    ByteReader r(b);
    i.fccType = r.U32LE();
    i.fccHandler = r.U32LE();
    i.dwFlags = r.U32LE();
    i.wPriority = r.U16LE();
    i.wLanguage = r.U16LE();
    i.dwInitialFrames = r.U32LE();
    i.dwScale = r.U32LE();
    i.dwRate = r.U32LE();
    i.dwStart = r.U32LE();
    i.dwLength = r.U32LE();
    i.dwSuggestedBufferSize = r.U32LE();
    i.dwQuality = r.U32LE();
    i.dwSampleSize = r.U32LE();
    if (hasRect) {
        i.rcLeft = int16_t(r.U16LE());
        i.rcTop = int16_t(r.U16LE());
        i.rcRight = int16_t(r.U16LE());
        i.rcBottom = int16_t(r.U16LE());
    }
}

void RenderStrh(ByteWriter& w, const AviStreamInfo& i) {
    w.U32LE(i.fccType);
    w.U32LE(i.fccHandler);
    w.U32LE(i.dwFlags);
    w.U16LE(i.wPriority);
    w.U16LE(i.wLanguage);
    w.U32LE(i.dwInitialFrames);
    w.U32LE(i.dwScale);
    w.U32LE(i.dwRate);
    w.U32LE(i.dwStart);
    w.U32LE(i.dwLength);
    w.U32LE(i.dwSuggestedBufferSize);
    w.U32LE(i.dwQuality);
    w.U32LE(i.dwSampleSize);
    w.U16LE(uint16_t(i.rcLeft));
    w.U16LE(uint16_t(i.rcTop));
    w.U16LE(uint16_t(i.rcRight));
    w.U16LE(uint16_t(i.rcBottom));
}

Idx1Entry ParseIdx1Entry(ByteReader& r) {
    Idx1Entry e;
    e.id = r.U32LE();
    e.flags = r.U32LE();
    e.offset = r.U32LE();
    e.size = r.U32LE();
    return e;
}

void RenderIdx1Entry(ByteWriter& w, const Idx1Entry& e) {
    w.U32LE(e.id);
    w.U32LE(e.flags);
    w.U32LE(e.offset);
    w.U32LE(e.size);
}

IndxHeader ParseIndxHeader(ByteReader& r) {
    IndxHeader h;
    h.longsPerEntry = r.U16LE();
    h.subType = r.U8();
    h.type = r.U8();
    h.entries = r.U32LE();
    h.chunkId = r.U32LE();
    h.baseOffset = r.U64LE();
    h.reserved = r.U32LE();
    return h;
}

void RenderIndxHeader(ByteWriter& w, const IndxHeader& h) {
    w.U16LE(h.longsPerEntry);
    w.U8(h.subType);
    w.U8(h.type);
    w.U32LE(h.entries);
    w.U32LE(h.chunkId);
    w.U64LE(h.baseOffset);
    w.U32LE(h.reserved);
}

SuperEntry ParseSuperEntry(ByteReader& r) {
    SuperEntry e;
    e.offset = r.U64LE();
    e.size = r.U32LE();
    e.duration = r.U32LE();
    return e;
}

void RenderSuperEntry(ByteWriter& w, const SuperEntry& e) {
    w.U64LE(e.offset);
    w.U32LE(e.size);
    w.U32LE(e.duration);
}

StdEntry ParseStdEntry(ByteReader& r) {
    StdEntry e;
    e.offset = r.U32LE();
    const uint32_t size = r.U32LE();
    e.size = size & ~kIndexNotKey;
    e.key = (size & kIndexNotKey) == 0;
    return e;
}

void RenderStdEntry(ByteWriter& w, const StdEntry& e) {
    w.U32LE(e.offset);
    w.U32LE(e.size | (e.key ? 0 : kIndexNotKey));
}

}  // namespace vt
