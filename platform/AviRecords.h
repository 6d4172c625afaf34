#pragma once
// The fixed records of an AVI file, each read and written in one place: the
// main header 'avih', the stream header 'strh', the 'idx1' entries and the
// OpenDML index ('indx' super index and 'ix##' standard index) header and
// entries. Parsers and writers hold the values; these lay out the bytes.
// Qt-free.
#include <cstdint>
#include <span>

#include "platform/AviTypes.h"
#include "platform/Bytes.h"

namespace vt {

// 'avih' (56 bytes; readers accept 40 and more).
struct AvihRecord {
    uint32_t usecPerFrame = 0;
    uint32_t maxBytesPerSec = 0;
    uint32_t paddingGranularity = 0;
    uint32_t flags = 0;
    uint32_t totalFrames = 0;
    uint32_t initialFrames = 0;
    uint32_t streams = 0;
    uint32_t suggestedBufferSize = 0;
    uint32_t width = 0;
    uint32_t height = 0;
};
constexpr uint32_t kAvihBytes = 56;
constexpr uint32_t kAvihMinBytes = 40;
// `b` holds the record's bytes, short records padded with zeros to kAvihBytes.
AvihRecord ParseAvih(std::span<const uint8_t> b);
void RenderAvih(ByteWriter& w, const AvihRecord& r);

// 'strh' (56 bytes with the frame rectangle; readers accept 48 and more).
constexpr uint32_t kStrhBytes = 56;
constexpr uint32_t kStrhMinBytes = 48;
// Fills the header fields of `info` from `b` (padded with zeros to
// kStrhBytes); the rectangle only when the record had one.
void ParseStrh(std::span<const uint8_t> b, bool hasRect, AviStreamInfo& info);
// Writes `info` as it is (dwLength and dwSuggestedBufferSize included).
void RenderStrh(ByteWriter& w, const AviStreamInfo& info);

// One 'idx1' entry: chunk id, flags, offset (from 'movi' or the file start), size.
struct Idx1Entry {
    uint32_t id = 0;
    uint32_t flags = 0;
    uint32_t offset = 0;
    uint32_t size = 0;
};
constexpr uint32_t kIdx1EntryBytes = 16;
Idx1Entry ParseIdx1Entry(ByteReader& r);
void RenderIdx1Entry(ByteWriter& w, const Idx1Entry& e);

// The 24-byte header of an 'indx' or 'ix##' chunk's data.
struct IndxHeader {
    uint16_t longsPerEntry = 0;
    uint8_t subType = 0;
    uint8_t type = 0;  // kIndexOfIndexes or kIndexOfChunks
    uint32_t entries = 0;
    uint32_t chunkId = 0;
    uint64_t baseOffset = 0;  // standard index: what entry offsets count from
    uint32_t reserved = 0;
};
constexpr uint8_t kIndexOfIndexes = 0;
constexpr uint8_t kIndexOfChunks = 1;
constexpr uint32_t kIndxHeaderBytes = 24;
IndxHeader ParseIndxHeader(ByteReader& r);
void RenderIndxHeader(ByteWriter& w, const IndxHeader& h);

// A super index entry: where a standard index is, its size and duration.
struct SuperEntry {
    uint64_t offset;
    uint32_t size;
    uint32_t duration;
};
constexpr uint32_t kSuperEntryBytes = 16;
SuperEntry ParseSuperEntry(ByteReader& r);
void RenderSuperEntry(ByteWriter& w, const SuperEntry& e);

// A standard index entry: data offset from the base, size with the
// not-a-key-frame bit.
constexpr uint32_t kIndexNotKey = 0x80000000u;
constexpr uint32_t kStdEntryBytes = 8;
struct StdEntry {
    uint32_t offset = 0;
    uint32_t size = 0;  // without kIndexNotKey
    bool key = true;
};
StdEntry ParseStdEntry(ByteReader& r);
void RenderStdEntry(ByteWriter& w, const StdEntry& e);

}  // namespace vt
