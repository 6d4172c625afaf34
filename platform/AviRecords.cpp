#include "platform/AviRecords.h"

namespace vt {

namespace {

// Each record's fields are listed once, in file order; `f` reads or writes one.
struct ReadField {
    ByteReader& r;
    void operator()(uint64_t& v) { v = r.U64LE(); }
    void operator()(uint32_t& v) { v = r.U32LE(); }
    void operator()(uint16_t& v) { v = r.U16LE(); }
    void operator()(uint8_t& v) { v = r.U8(); }
    // The frame rectangle: signed 16-bit in the file.
    void operator()(int32_t& v) { v = int16_t(r.U16LE()); }
};
struct WriteField {
    ByteWriter& w;
    void operator()(uint64_t v) { w.U64LE(v); }
    void operator()(uint32_t v) { w.U32LE(v); }
    void operator()(uint16_t v) { w.U16LE(v); }
    void operator()(uint8_t v) { w.U8(v); }
    void operator()(int32_t v) { w.U16LE(uint16_t(v)); }
};

template <class Avih, class F>
void AvihFields(Avih& a, F&& f) {
    f(a.usecPerFrame);
    f(a.maxBytesPerSec);
    f(a.paddingGranularity);
    f(a.flags);
    f(a.totalFrames);
    f(a.initialFrames);
    f(a.streams);
    f(a.suggestedBufferSize);
    f(a.width);
    f(a.height);
}

template <class Info, class F>
void StrhFields(Info& i, bool withRect, F&& f) {
    f(i.fccType);
    f(i.fccHandler);
    f(i.dwFlags);
    f(i.wPriority);
    f(i.wLanguage);
    f(i.dwInitialFrames);
    f(i.dwScale);
    f(i.dwRate);
    f(i.dwStart);
    f(i.dwLength);
    f(i.dwSuggestedBufferSize);
    f(i.dwQuality);
    f(i.dwSampleSize);
    if (!withRect) return;
    f(i.rcLeft);
    f(i.rcTop);
    f(i.rcRight);
    f(i.rcBottom);
}

template <class Entry, class F>
void Idx1Fields(Entry& e, F&& f) {
    f(e.id);
    f(e.flags);
    f(e.offset);
    f(e.size);
}

template <class Header, class F>
void IndxHeaderFields(Header& h, F&& f) {
    f(h.longsPerEntry);
    f(h.subType);
    f(h.type);
    f(h.entries);
    f(h.chunkId);
    f(h.baseOffset);
    f(h.reserved);
}

template <class Entry, class F>
void SuperEntryFields(Entry& e, F&& f) {
    f(e.offset);
    f(e.size);
    f(e.duration);
}

}  // namespace

AvihRecord ParseAvih(std::span<const uint8_t> b) {
    ByteReader r(b);
    AvihRecord a;
    AvihFields(a, ReadField{r});
    return a;
}

void RenderAvih(ByteWriter& w, const AvihRecord& a) {
    AvihFields(a, WriteField{w});
    w.Zeros(16);  // dwReserved[4]
}

void ParseStrh(std::span<const uint8_t> b, bool hasRect, AviStreamInfo& i) {
    ByteReader r(b);
    StrhFields(i, hasRect, ReadField{r});
}

void RenderStrh(ByteWriter& w, const AviStreamInfo& i) {
    StrhFields(i, true, WriteField{w});
}

Idx1Entry ParseIdx1Entry(ByteReader& r) {
    Idx1Entry e;
    Idx1Fields(e, ReadField{r});
    return e;
}

void RenderIdx1Entry(ByteWriter& w, const Idx1Entry& e) {
    Idx1Fields(e, WriteField{w});
}

IndxHeader ParseIndxHeader(ByteReader& r) {
    IndxHeader h;
    IndxHeaderFields(h, ReadField{r});
    return h;
}

void RenderIndxHeader(ByteWriter& w, const IndxHeader& h) {
    IndxHeaderFields(h, WriteField{w});
}

SuperEntry ParseSuperEntry(ByteReader& r) {
    SuperEntry e{};
    SuperEntryFields(e, ReadField{r});
    return e;
}

void RenderSuperEntry(ByteWriter& w, const SuperEntry& e) {
    SuperEntryFields(e, WriteField{w});
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
