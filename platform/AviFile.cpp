#include "platform/AviFile.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/Riff.h"

namespace vt {

namespace {

constexpr uint32_t kFccAvi = MakeFourCC('A', 'V', 'I', ' ');
constexpr uint32_t kFccAvix = MakeFourCC('A', 'V', 'I', 'X');
constexpr uint32_t kFccWave = MakeFourCC('W', 'A', 'V', 'E');
constexpr uint32_t kFccHdrl = MakeFourCC('h', 'd', 'r', 'l');
constexpr uint32_t kFccStrl = MakeFourCC('s', 't', 'r', 'l');
constexpr uint32_t kFccMovi = MakeFourCC('m', 'o', 'v', 'i');
constexpr uint32_t kFccRec = MakeFourCC('r', 'e', 'c', ' ');
constexpr uint32_t kFccOdml = MakeFourCC('o', 'd', 'm', 'l');
constexpr uint32_t kFccAvih = MakeFourCC('a', 'v', 'i', 'h');
constexpr uint32_t kFccStrh = MakeFourCC('s', 't', 'r', 'h');
constexpr uint32_t kFccStrf = MakeFourCC('s', 't', 'r', 'f');
constexpr uint32_t kFccStrn = MakeFourCC('s', 't', 'r', 'n');
constexpr uint32_t kFccIndx = MakeFourCC('i', 'n', 'd', 'x');
constexpr uint32_t kFccIdx1 = MakeFourCC('i', 'd', 'x', '1');
constexpr uint32_t kFccDmlh = MakeFourCC('d', 'm', 'l', 'h');
constexpr uint32_t kFccJunk = MakeFourCC('J', 'U', 'N', 'K');
constexpr uint32_t kFccFmt = MakeFourCC('f', 'm', 't', ' ');
constexpr uint32_t kFccData = MakeFourCC('d', 'a', 't', 'a');
constexpr uint32_t kFccFact = MakeFourCC('f', 'a', 'c', 't');

constexpr int kMaxStreams = 100;               // chunk ids carry two decimal digits
constexpr uint32_t kMaxFormatBytes = 1 << 20;  // no real format block comes near this
constexpr int kMaxListDepth = 4;
constexpr uint64_t kMaxIndexEntries = uint64_t(1) << 24;
constexpr uint32_t kIndexNotKey = 0x80000000u;

// The stream number of a chunk id "##xx" (also of the "##ix" index spelling), or -1.
int StreamOfChunk(uint32_t id) {
    char a = char(id & 0xFF), b = char((id >> 8) & 0xFF);
    if (a < '0' || a > '9' || b < '0' || b > '9') return -1;
    return (a - '0') * 10 + (b - '0');
}
bool IsIndexChunk(uint32_t id) {
    char c0 = char(id & 0xFF), c1 = char((id >> 8) & 0xFF), c2 = char((id >> 16) & 0xFF),
         c3 = char((id >> 24) & 0xFF);
    return (c0 == 'i' && c1 == 'x') || (c2 == 'i' && c3 == 'x');
}
uint32_t ChunkIdFor(int stream, uint32_t suffix) {
    return uint32_t('0' + stream / 10) | (uint32_t('0' + stream % 10) << 8) | suffix;
}
constexpr uint32_t Suffix(char a, char b) {
    return (uint32_t(uint8_t(a)) << 16) | (uint32_t(uint8_t(b)) << 24);
}

struct IndexEntry {
    uint64_t offset;  // file offset of the data
    uint32_t size;
    uint32_t flags;  // kAviIfKeyFrame
};

// A key-frame guess for chunks found by scanning (no index tells): the
// picture type of MPEG-4 part 2 and H.264 streams; other frames count as key
// frames, empty ones never.
bool GuessKeyFrame(const uint8_t* p, size_t n) {
    if (n == 0) return false;
    // MPEG-4 part 2: the first VOP's coding type (0 = intra).
    for (size_t i = 0; i + 4 < n; ++i)
        if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1 && p[i + 3] == 0xB6) return (p[i + 4] >> 6) == 0;
    // H.264 byte stream: an IDR slice or a sequence header before any other slice.
    for (size_t i = 0; i + 3 < n; ++i) {
        if (p[i] != 0 || p[i + 1] != 0 || p[i + 2] != 1) continue;
        uint8_t code = p[i + 3];
        if (code & 0x80) break;  // not a NAL header
        uint8_t nal = code & 0x1F;
        if (nal == 5 || nal == 7) return true;
        if (nal == 1) return false;
    }
    return true;
}

}  // namespace

struct SuperEntry {
    uint64_t offset;
    uint32_t size;
    uint32_t duration;
};

struct StreamData {
    AviStreamInfo info;
    std::vector<uint8_t> format;
    // Reading.
    std::vector<IndexEntry> index;
    std::vector<uint64_t> cumBytes;  // sample-size streams: bytes before chunk i (size n + 1)
    std::vector<uint32_t> keys;      // frame streams: chunk numbers of key frames
    uint32_t sampleSize = 0;         // 0: one chunk is one sample
    uint64_t samples = 0;
    std::vector<SuperEntry> superIndex;
    bool hasIndx = false;
    bool indxOfChunks = false;
    uint64_t indxPos = 0;
    // Writing.
    uint32_t chunkId = 0;
    uint64_t written = 0;  // samples written
    uint64_t bytesWritten = 0;
    uint32_t maxChunk = 0;
    uint64_t strhPos = 0, strfPos = 0, indxChunkPos = 0;
    uint32_t indxReserved = 0;
    uint32_t partChunks = 0;
    uint64_t partSamples = 0;
    uint64_t firstPartSamples = 0;
};

struct PartEntry {
    int stream;
    uint32_t flags;
    uint64_t offset;  // file offset of the chunk header
    uint32_t size;
};

struct AviFileImpl {
    std::unique_ptr<ByteIO> io;
    bool writing = false;
    bool finished = false;
    bool isWav = false;
    AviFileInfo info;
    std::vector<StreamData> streams;
    // Reading.
    uint64_t fileSize = 0;
    struct Movi {
        uint64_t listPos;  // position of the 'movi' type
        uint64_t end;
    };
    std::vector<Movi> movis;
    uint64_t idx1Pos = 0, idx1Size = 0;
    bool hasIdx1 = false;
    uint64_t indexEntries = 0;
    // Writing.
    AviWriteOptions opt;
    bool headerWritten = false;
    AviResult writeError = kAviOk;
    uint64_t avihPos = 0, dmlhPos = 0;
    uint64_t riffPos = 0;      // header of the current RIFF part
    uint64_t moviListPos = 0;  // 'movi' type of the current part
    int part = 0;
    std::vector<PartEntry> partEntries;
    uint32_t maxChunkAll = 0;

    // --- reading ---
    AviResult Parse();
    AviResult ParseWav(uint64_t riffEnd);
    AviResult ParseAvi(uint64_t riffEnd);
    AviResult ParseHdrl(uint64_t start, uint64_t end);
    AviResult ParseStrl(uint64_t start, uint64_t end);
    bool ReadIndx(StreamData& s, uint64_t pos, uint32_t size);
    bool LoadOdmlIndexes();
    bool InsideMovi(uint64_t at, uint32_t bytes) const;
    bool LoadIdx1();
    void ScanMovi(const Movi& m);
    void ScanList(uint64_t pos, uint64_t end, int depth);
    void AddEntry(int stream, uint64_t dataOffset, uint32_t size, uint32_t flags);
    void FinishIndexes();

    // --- writing ---
    AviResult WriteHeaders();
    AviResult WriteChunk(int stream, const void* data, uint32_t bytes, uint32_t flags, uint64_t samples);
    AviResult ClosePart(bool final);
    AviResult OpenAvixPart();
    AviResult Complete();
    void WriteStrh(const StreamData& s);
    void WriteAvih();
    uint64_t PartIndexBytes(uint64_t extraEntries) const;
};

// ---------------------------------------------------------------- reading

AviResult AviFileImpl::Parse() {
    fileSize = io->Size();
    if (fileSize < 12 || !io->Seek(0)) return kAviErrFileRead;
    uint32_t id, size, type;
    if (!io->ReadU32LE(id) || !io->ReadU32LE(size) || !io->ReadU32LE(type)) return kAviErrFileRead;
    if (id != kFourCCRiff || size < 4) return kAviErrBadFormat;
    // A truncated download has a RIFF size past the end: read what is there.
    uint64_t riffEnd = std::min<uint64_t>(8 + uint64_t(size), fileSize);
    if (type == kFccWave) return ParseWav(riffEnd);
    if (type == kFccAvi) return ParseAvi(riffEnd);
    return kAviErrBadFormat;
}

AviResult AviFileImpl::ParseWav(uint64_t riffEnd) {
    isWav = true;
    uint64_t pos = 12, dataPos = 0, dataSize = 0;
    bool haveFmt = false, haveData = false;
    StreamData s;
    while (pos + 8 <= riffEnd) {
        uint32_t id, size;
        if (!io->Seek(pos) || !io->ReadU32LE(id) || !io->ReadU32LE(size)) return kAviErrFileRead;
        uint64_t avail = riffEnd - pos - 8;
        if (id == kFccFmt && !haveFmt) {
            if (size < 14 || size > kMaxFormatBytes || size > avail) return kAviErrBadFormat;
            if (!io->ReadBytes(s.format, size)) return kAviErrFileRead;
            haveFmt = true;
        } else if (id == kFccData && !haveData) {
            dataPos = pos + 8;
            dataSize = std::min<uint64_t>(size, avail);  // a cut-off data chunk keeps what is there
            haveData = true;
        }
        if (size > avail) break;
        pos += 8 + uint64_t(size) + (size & 1);
    }
    if (!haveFmt) return kAviErrBadFormat;
    WaveFormatEx w = WaveFormatFromBytes(s.format.data(), s.format.size());
    uint32_t align = w.nBlockAlign ? w.nBlockAlign : 1;
    // MPEG audio frames do not follow nBlockAlign (writers put anything there):
    // count bytes, so that no frame at the end is lost.
    if (w.wFormatTag == kWaveFormatMpegLayer3 || w.wFormatTag == kWaveFormatMpeg) align = 1;
    s.info.fccType = kStreamTypeAudio;
    s.info.dwScale = align;
    s.info.dwRate = w.nAvgBytesPerSec ? w.nAvgBytesPerSec : w.nSamplesPerSec * align;
    s.info.dwSampleSize = align;
    s.info.dwQuality = 0xFFFFFFFFu;
    s.sampleSize = align;
    s.cumBytes.push_back(0);
    if (haveData && dataSize > 0) {
        s.index.push_back({dataPos, uint32_t(dataSize), kAviIfKeyFrame});
        s.cumBytes.push_back(dataSize);
    }
    s.samples = dataSize / align;
    s.info.dwLength = uint32_t(std::min<uint64_t>(s.samples, 0x7FFFFFFF));
    s.info.dwSuggestedBufferSize = w.nAvgBytesPerSec;
    streams.push_back(std::move(s));
    info.dwStreams = 1;
    info.dwScale = streams[0].info.dwScale;
    info.dwRate = streams[0].info.dwRate;
    info.dwLength = streams[0].info.dwLength;
    info.dwMaxBytesPerSec = w.nAvgBytesPerSec;
    std::strncpy(info.szFileType.data(), "Wave File", info.szFileType.size() - 1);
    return kAviOk;
}

AviResult AviFileImpl::ParseAvi(uint64_t riffEnd) {
    bool haveHdrl = false;
    uint64_t pos = 12;
    while (pos + 8 <= riffEnd) {
        uint32_t id, size, type = 0;
        if (!io->Seek(pos) || !io->ReadU32LE(id) || !io->ReadU32LE(size)) return kAviErrFileRead;
        uint64_t avail = riffEnd - pos - 8;
        if (id == kFourCCList && size >= 4 && !io->ReadU32LE(type)) return kAviErrFileRead;
        if (id == kFourCCList && type == kFccHdrl && !haveHdrl) {
            if (size > avail) return kAviErrBadFormat;
            AviResult r = ParseHdrl(pos + 12, pos + 8 + size);
            if (r != kAviOk) return r;
            haveHdrl = true;
        } else if (id == kFourCCList && type == kFccMovi && movis.empty()) {
            movis.push_back({pos + 8, pos + 8 + std::min<uint64_t>(size, avail)});
        } else if (id == kFccIdx1 && !hasIdx1 && size <= avail) {
            hasIdx1 = true;
            idx1Pos = pos + 8;
            idx1Size = size;
        }
        if (size > avail) break;
        pos += 8 + uint64_t(size) + (size & 1);
    }
    if (!haveHdrl) return kAviErrBadFormat;
    // OpenDML extensions follow the first RIFF part.
    pos = riffEnd + (riffEnd & 1);
    while (pos + 12 <= fileSize) {
        uint32_t id, size, type;
        if (!io->Seek(pos) || !io->ReadU32LE(id) || !io->ReadU32LE(size) || !io->ReadU32LE(type)) break;
        if (id != kFourCCRiff || type != kFccAvix || size < 4) break;
        uint64_t partEnd = std::min<uint64_t>(pos + 8 + uint64_t(size), fileSize);
        uint64_t p = pos + 12;
        while (p + 12 <= partEnd) {
            uint32_t cid, csize, ctype;
            if (!io->Seek(p) || !io->ReadU32LE(cid) || !io->ReadU32LE(csize) || !io->ReadU32LE(ctype)) break;
            uint64_t avail = partEnd - p - 8;
            if (cid == kFourCCList && ctype == kFccMovi)
                movis.push_back({p + 8, p + 8 + std::min<uint64_t>(csize, avail)});
            if (csize > avail) break;
            p += 8 + uint64_t(csize) + (csize & 1);
        }
        pos = partEnd + (partEnd & 1);
    }

    // Indexes: the OpenDML ones when every stream has them, else 'idx1', else a scan.
    bool odml = !streams.empty() &&
                std::all_of(streams.begin(), streams.end(), [](const StreamData& s) { return s.hasIndx; });
    if (!(odml && LoadOdmlIndexes())) {
        for (auto& s : streams) s.index.clear();
        indexEntries = 0;
        if (!(hasIdx1 && !movis.empty() && LoadIdx1())) {
            for (auto& s : streams) s.index.clear();
            indexEntries = 0;
            for (const auto& m : movis) ScanMovi(m);
        } else {
            // 'idx1' covers the first part only; later parts are scanned.
            for (size_t i = 1; i < movis.size(); ++i) ScanMovi(movis[i]);
        }
    }
    FinishIndexes();
    return kAviOk;
}

AviResult AviFileImpl::ParseHdrl(uint64_t start, uint64_t end) {
    uint64_t pos = start;
    bool haveAvih = false;
    while (pos + 8 <= end) {
        uint32_t id, size, type = 0;
        if (!io->Seek(pos) || !io->ReadU32LE(id) || !io->ReadU32LE(size)) return kAviErrFileRead;
        if (size > end - pos - 8) return kAviErrBadFormat;
        if (id == kFccAvih) {
            if (size < 40) return kAviErrBadFormat;
            uint8_t b[56] = {};
            if (!io->ReadExact(b, std::min<uint32_t>(size, 56))) return kAviErrFileRead;
            info.dwMaxBytesPerSec = GetU32LE(b + 4);
            info.dwFlags = GetU32LE(b + 12);
            info.dwLength = GetU32LE(b + 16);
            info.dwSuggestedBufferSize = GetU32LE(b + 28);
            info.dwWidth = GetU32LE(b + 32);
            info.dwHeight = GetU32LE(b + 36);
            uint32_t usec = GetU32LE(b);
            info.dwScale = usec ? usec : 1;
            info.dwRate = usec ? 1000000 : 0;
            haveAvih = true;
        } else if (id == kFourCCList && size >= 4) {
            if (!io->ReadU32LE(type)) return kAviErrFileRead;
            if (type == kFccStrl) {
                if (streams.size() >= size_t(kMaxStreams)) return kAviErrBadFormat;
                AviResult r = ParseStrl(pos + 12, pos + 8 + size);
                if (r != kAviOk) return r;
            } else if (type == kFccOdml) {
                // dmlh holds the total frame count; our lengths come from the indexes.
            }
        }
        pos += 8 + uint64_t(size) + (size & 1);
    }
    if (!haveAvih) return kAviErrBadFormat;
    info.dwStreams = uint32_t(streams.size());
    std::strncpy(info.szFileType.data(), "AVI File", info.szFileType.size() - 1);
    return kAviOk;
}

AviResult AviFileImpl::ParseStrl(uint64_t start, uint64_t end) {
    StreamData s;
    bool haveStrh = false;
    uint64_t pos = start;
    while (pos + 8 <= end) {
        uint32_t id, size;
        if (!io->Seek(pos) || !io->ReadU32LE(id) || !io->ReadU32LE(size)) return kAviErrFileRead;
        if (size > end - pos - 8) return kAviErrBadFormat;
        if (id == kFccStrh) {
            if (size < 48) return kAviErrBadFormat;
            uint8_t b[64] = {};
            if (!io->ReadExact(b, std::min<uint32_t>(size, 64))) return kAviErrFileRead;
            AviStreamInfo& i = s.info;
            i.fccType = GetU32LE(b);
            i.fccHandler = GetU32LE(b + 4);
            i.dwFlags = GetU32LE(b + 8);
            i.wPriority = GetU16LE(b + 12);
            i.wLanguage = GetU16LE(b + 14);
            i.dwInitialFrames = GetU32LE(b + 16);
            i.dwScale = GetU32LE(b + 20);
            i.dwRate = GetU32LE(b + 24);
            i.dwStart = GetU32LE(b + 28);
            i.dwLength = GetU32LE(b + 32);
            i.dwSuggestedBufferSize = GetU32LE(b + 36);
            i.dwQuality = GetU32LE(b + 40);
            i.dwSampleSize = GetU32LE(b + 44);
            if (size >= 56) {
                i.rcLeft = int16_t(GetU16LE(b + 48));
                i.rcTop = int16_t(GetU16LE(b + 50));
                i.rcRight = int16_t(GetU16LE(b + 52));
                i.rcBottom = int16_t(GetU16LE(b + 54));
            }
            if (i.dwStart > 0x7FFFFFFF) i.dwStart = 0;
            haveStrh = true;
        } else if (id == kFccStrf) {
            if (size > kMaxFormatBytes) return kAviErrBadFormat;
            if (!io->ReadBytes(s.format, size)) return kAviErrFileRead;
        } else if (id == kFccStrn) {
            uint32_t n = std::min<uint32_t>(size, uint32_t(s.info.szName.size() - 1));
            if (!io->ReadExact(s.info.szName.data(), n)) return kAviErrFileRead;
        } else if (id == kFccIndx) {
            s.indxPos = pos + 8;
            if (!ReadIndx(s, pos + 8, size)) {
                s.hasIndx = false;
                s.superIndex.clear();
            }
        }
        pos += 8 + uint64_t(size) + (size & 1);
    }
    if (!haveStrh) return kAviErrBadFormat;
    streams.push_back(std::move(s));
    return kAviOk;
}

bool AviFileImpl::ReadIndx(StreamData& s, uint64_t pos, uint32_t size) {
    if (size < 24 || !io->Seek(pos)) return false;
    uint8_t h[24];
    if (!io->ReadExact(h, 24)) return false;
    uint16_t longs = GetU16LE(h);
    uint8_t type = h[3];
    uint32_t n = GetU32LE(h + 4);
    if (type == 0) {  // index of indexes
        if (longs != 4 || n > (size - 24) / 16) return false;
        for (uint32_t k = 0; k < n; ++k) {
            uint8_t e[16];
            if (!io->ReadExact(e, 16)) return false;
            SuperEntry se{GetU64LE(e), GetU32LE(e + 8), GetU32LE(e + 12)};
            if (se.offset == 0 && se.size == 0) continue;
            s.superIndex.push_back(se);
        }
        s.hasIndx = !s.superIndex.empty();
        return true;
    }
    if (type == 1) {  // the chunks indexed right here
        s.superIndex.push_back({pos - 8, size + 8, 0});
        s.indxOfChunks = true;
        s.hasIndx = true;
        return true;
    }
    return false;
}

void AviFileImpl::AddEntry(int stream, uint64_t dataOffset, uint32_t size, uint32_t flags) {
    if (stream < 0 || size_t(stream) >= streams.size()) return;
    // A bound on the index whatever the file claims: days of video at any rate.
    if (++indexEntries > kMaxIndexEntries) return;
    streams[size_t(stream)].index.push_back({dataOffset, size, flags});
}

bool AviFileImpl::InsideMovi(uint64_t at, uint32_t bytes) const {
    // The data of a chunk lies after its 8-byte header, in one 'movi' list.
    for (const Movi& m : movis)
        if (at >= m.listPos + 12 && at <= m.end && bytes <= m.end - at) return true;
    return false;
}

// Every offset is checked before it is used: base + entry offset must neither
// wrap nor leave the 'movi' lists of the file. A standard index that fails
// anywhere condemns the whole OpenDML index, and the caller falls back to
// 'idx1' and then to a scan (which also reads what is left of a file cut off
// in a later part).
bool AviFileImpl::LoadOdmlIndexes() {
    for (size_t si = 0; si < streams.size(); ++si) {
        StreamData& s = streams[si];
        for (const SuperEntry& se : s.superIndex) {
            // Super indexes that name the same standard index over and over end here too.
            if (indexEntries >= kMaxIndexEntries) break;
            const uint64_t pos = se.offset;
            if (pos > fileSize || fileSize - pos < 32 || !io->Seek(pos)) return false;
            uint32_t id, size;
            uint8_t h[24];
            if (!io->ReadU32LE(id) || !io->ReadU32LE(size) || !io->ReadExact(h, 24)) return false;
            if (!(IsIndexChunk(id) || id == kFccIndx)) return false;
            if (GetU16LE(h) != 2 || h[3] != 1) return false;
            const uint32_t n = GetU32LE(h + 4);
            const uint64_t base = GetU64LE(h + 12);
            if (size < 24 || size > fileSize - pos - 8 || n > (size - 24) / 8) return false;
            for (uint32_t k = 0; k < n && indexEntries < kMaxIndexEntries; ++k) {
                uint32_t off, sz;
                if (!io->ReadU32LE(off) || !io->ReadU32LE(sz)) return false;
                const uint32_t bytes = sz & ~kIndexNotKey;
                if (base > UINT64_MAX - off) return false;
                const uint64_t at = base + off;
                if (!InsideMovi(at, bytes)) return false;
                AddEntry(int(si), at, bytes, (sz & kIndexNotKey) ? 0u : kAviIfKeyFrame);
            }
        }
    }
    return true;
}

bool AviFileImpl::LoadIdx1() {
    if (idx1Size < 16) return false;
    const uint64_t moviPos = movis[0].listPos;
    uint64_t n = idx1Size / 16;
    // Offsets count from the 'movi' type, or (some writers) from the file start:
    // the first entry decides by pointing at its own chunk header.
    uint64_t base = 0;
    bool decided = false;
    for (uint64_t k = 0; k < n && !decided; ++k) {
        uint8_t e[16];
        if (!io->Seek(idx1Pos + k * 16) || !io->ReadExact(e, 16)) return false;
        uint32_t id = GetU32LE(e), off = GetU32LE(e + 8);
        if (StreamOfChunk(id) < 0) continue;
        for (uint64_t candidate : {moviPos, uint64_t(0)}) {
            uint32_t at;
            if (candidate + off + 8 <= fileSize && io->Seek(candidate + off) && io->ReadU32LE(at) &&
                at == id) {
                base = candidate;
                decided = true;
                break;
            }
        }
        if (!decided) return false;  // a damaged index: scan instead
    }
    if (!decided) return false;
    if (!io->Seek(idx1Pos)) return false;
    size_t added = 0;
    uint64_t lastAt = 0;
    uint32_t lastId = 0;
    for (uint64_t k = 0; k < n; ++k) {
        uint8_t e[16];
        if (!io->ReadExact(e, 16)) break;
        uint32_t id = GetU32LE(e), flags = GetU32LE(e + 4), off = GetU32LE(e + 8), size = GetU32LE(e + 12);
        int st = StreamOfChunk(id);
        if (st < 0 || (flags & kAviIfList)) continue;
        char c2 = char((id >> 16) & 0xFF), c3 = char((id >> 24) & 0xFF);
        if (c2 == 'p' && c3 == 'c') continue;  // palette changes are not samples
        if (IsIndexChunk(id)) continue;
        uint64_t at = base + off + 8;
        // Every chunk lies in the first movi list, which comes before idx1 and
        // so is whole: anything else is a damaged index.
        if (at < movis[0].listPos + 12 || at > movis[0].end || size > movis[0].end - at) return false;
        AddEntry(st, at, size, flags & kAviIfKeyFrame);
        lastAt = at;
        lastId = id;
        ++added;
    }
    // The last entry must point at its own chunk header too.
    if (added > 0) {
        uint32_t id = 0;
        uint64_t pos = io->Tell();
        if (!io->Seek(lastAt - 8) || !io->ReadU32LE(id) || id != lastId) return false;
        io->Seek(pos);
    }
    return added > 0 || movis[0].end <= movis[0].listPos + 4;
}

void AviFileImpl::ScanMovi(const Movi& m) {
    ScanList(m.listPos + 4, m.end, 0);
}

void AviFileImpl::ScanList(uint64_t pos, uint64_t end, int depth) {
    while (pos + 8 <= end) {
        uint32_t id, size;
        if (!io->Seek(pos) || !io->ReadU32LE(id) || !io->ReadU32LE(size)) return;
        if (size > end - pos - 8) return;  // the chunk runs past the end: cut off here
        if (id == kFourCCList) {
            uint32_t type = 0;
            if (size >= 4 && io->ReadU32LE(type) && type == kFccRec && depth < kMaxListDepth)
                ScanList(pos + 12, pos + 8 + size, depth + 1);
        } else {
            int st = StreamOfChunk(id);
            char c2 = char((id >> 16) & 0xFF), c3 = char((id >> 24) & 0xFF);
            if (st >= 0 && size_t(st) < streams.size() && !IsIndexChunk(id) && !(c2 == 'p' && c3 == 'c')) {
                uint32_t flags = kAviIfKeyFrame;
                if (streams[size_t(st)].info.fccType == kStreamTypeVideo) {
                    uint8_t head[512];
                    size_t k = io->Read(head, std::min<uint32_t>(size, sizeof head));
                    flags = GuessKeyFrame(head, k) ? kAviIfKeyFrame : 0;
                }
                AddEntry(st, pos + 8, size, flags);
            } else if (st < 0 && !IsIndexChunk(id) && id != kFccJunk) {
                // Not a chunk id: the rest of the list is not trustworthy.
                for (int i = 0; i < 4; ++i) {
                    char c = char((id >> (8 * i)) & 0xFF);
                    if (c < 0x20 || c > 0x7E) return;
                }
            }
        }
        pos += 8 + uint64_t(size) + (size & 1);
    }
}

void AviFileImpl::FinishIndexes() {
    for (StreamData& s : streams) {
        uint32_t ss = 0;
        if (s.info.dwSampleSize != 0) {
            ss = s.info.dwSampleSize;
            if (s.info.fccType == kStreamTypeAudio && s.format.size() >= 14) {
                uint16_t align = GetU16LE(s.format.data() + 12);
                if (align) ss = align;
            }
        }
        s.sampleSize = ss;
        if (!ss && s.info.fccType == kStreamTypeAudio) {
            // Audio of one frame per chunk: an empty chunk (writers put them in
            // to fill gaps) holds no sample. Left in, it would read as a sample
            // of 0 bytes, which copy loops rightly take as the end of the data.
            s.index.erase(std::remove_if(s.index.begin(), s.index.end(),
                                         [](const IndexEntry& e) { return e.size == 0; }),
                          s.index.end());
        }
        if (ss) {
            s.cumBytes.resize(s.index.size() + 1);
            s.cumBytes[0] = 0;
            for (size_t i = 0; i < s.index.size(); ++i) s.cumBytes[i + 1] = s.cumBytes[i] + s.index[i].size;
            s.samples = s.cumBytes.back() / ss;
        } else {
            s.samples = s.index.size();
            for (size_t i = 0; i < s.index.size(); ++i)
                if (s.index[i].flags & kAviIfKeyFrame) s.keys.push_back(uint32_t(i));
        }
        // What is in the file, not what the header promised.
        s.info.dwLength = uint32_t(std::min<uint64_t>(s.samples, uint64_t(0x7FFFFFFF) - s.info.dwStart));
        s.info.dwSampleSize = ss ? s.info.dwSampleSize : 0;
    }
    for (const StreamData& s : streams)
        if (s.info.fccType == kStreamTypeVideo) {
            info.dwLength = s.info.dwLength;
            if (s.info.dwRate) {
                info.dwScale = s.info.dwScale;
                info.dwRate = s.info.dwRate;
            }
            break;
        }
}

// ---------------------------------------------------------------- writing

void AviFileImpl::WriteStrh(const StreamData& s) {
    uint8_t b[56] = {};
    const AviStreamInfo& i = s.info;
    PutU32LE(b, i.fccType);
    PutU32LE(b + 4, i.fccHandler);
    PutU32LE(b + 8, i.dwFlags);
    PutU16LE(b + 12, i.wPriority);
    PutU16LE(b + 14, i.wLanguage);
    PutU32LE(b + 16, i.dwInitialFrames);
    PutU32LE(b + 20, i.dwScale);
    PutU32LE(b + 24, i.dwRate);
    PutU32LE(b + 28, i.dwStart);
    PutU32LE(b + 32, uint32_t(std::min<uint64_t>(s.written, 0xFFFFFFFFu)));
    PutU32LE(b + 36, s.written ? s.maxChunk : i.dwSuggestedBufferSize);
    PutU32LE(b + 40, i.dwQuality);
    PutU32LE(b + 44, i.dwSampleSize);
    PutU16LE(b + 48, uint16_t(i.rcLeft));
    PutU16LE(b + 50, uint16_t(i.rcTop));
    PutU16LE(b + 52, uint16_t(i.rcRight));
    PutU16LE(b + 54, uint16_t(i.rcBottom));
    io->Write(b, sizeof b);
}

void AviFileImpl::WriteAvih() {
    uint8_t b[56] = {};
    const StreamData* video = nullptr;
    for (const auto& s : streams)
        if (s.info.fccType == kStreamTypeVideo) {
            video = &s;
            break;
        }
    uint32_t usec = 0, width = 0, height = 0, frames = 0;
    double seconds = 0;
    uint64_t totalBytes = 0;
    for (const auto& s : streams) {
        totalBytes += s.bytesWritten;
        if (s.info.dwRate) seconds = std::max(seconds, double(s.written) * s.info.dwScale / s.info.dwRate);
    }
    if (video) {
        // A frame of more than 71 minutes (a scale far above the rate) saturates the field.
        if (video->info.dwRate)
            usec = uint32_t(std::min(1e6 * video->info.dwScale / video->info.dwRate + 0.5, 4294967295.0));
        frames =
            uint32_t(std::min<uint64_t>(part > 0 ? video->firstPartSamples : video->written, 0xFFFFFFFFu));
        if (video->format.size() >= 12) {
            BitmapInfoHeader bh = BitmapHeaderFromBytes(video->format.data(), video->format.size());
            width = uint32_t(bh.biWidth);
            height = uint32_t(bh.biHeight < 0 ? -int64_t(bh.biHeight) : bh.biHeight);
        } else {
            width = uint32_t(video->info.rcRight - video->info.rcLeft);
            height = uint32_t(video->info.rcBottom - video->info.rcTop);
        }
    }
    PutU32LE(b, usec);
    PutU32LE(b + 4, seconds > 0 ? uint32_t(std::min(double(totalBytes) / seconds, 4e9)) : 0);
    PutU32LE(b + 12, kAvifHasIndex | kAvifIsInterleaved);
    PutU32LE(b + 16, frames);
    PutU32LE(b + 24, uint32_t(streams.size()));
    PutU32LE(b + 28, maxChunkAll);
    PutU32LE(b + 32, width);
    PutU32LE(b + 36, height);
    io->Write(b, sizeof b);
}

AviResult AviFileImpl::WriteHeaders() {
    RiffIO riff(*io);
    if (!io->Seek(0)) return kAviErrFileWrite;
    RiffChunk r;
    r.fccType = kFccAvi;
    riffPos = 0;
    riff.CreateChunk(r, RiffIO::kCreateRiff);
    RiffChunk hdrl;
    hdrl.fccType = kFccHdrl;
    riff.CreateChunk(hdrl, RiffIO::kCreateList);
    RiffChunk avih;
    avih.ckid = kFccAvih;
    riff.CreateChunk(avih);
    avihPos = io->Tell();
    WriteAvih();
    riff.Ascend(avih);
    for (size_t k = 0; k < streams.size(); ++k) {
        StreamData& s = streams[k];
        RiffChunk strl;
        strl.fccType = kFccStrl;
        riff.CreateChunk(strl, RiffIO::kCreateList);
        RiffChunk strh;
        strh.ckid = kFccStrh;
        riff.CreateChunk(strh);
        s.strhPos = io->Tell();
        WriteStrh(s);
        riff.Ascend(strh);
        RiffChunk strf;
        strf.ckid = kFccStrf;
        riff.CreateChunk(strf);
        s.strfPos = io->Tell();
        io->Write(s.format.data(), s.format.size());
        riff.Ascend(strf);
        if (s.info.szName[0]) {
            RiffChunk strn;
            strn.ckid = kFccStrn;
            riff.CreateChunk(strn);
            size_t n = strnlen(s.info.szName.data(), s.info.szName.size() - 1);
            io->Write(s.info.szName.data(), n);
            io->WriteU8(0);
            riff.Ascend(strn);
        }
        // Room for the super index, left as JUNK while the file stays one part.
        s.indxChunkPos = io->Tell();
        s.indxReserved = 24 + 16 * opt.superIndexEntries;
        io->WriteU32LE(kFccJunk);
        io->WriteU32LE(s.indxReserved);
        io->WriteZeros(s.indxReserved);
        riff.Ascend(strl);
    }
    RiffChunk odml;
    odml.fccType = kFccOdml;
    riff.CreateChunk(odml, RiffIO::kCreateList);
    RiffChunk dmlh;
    dmlh.ckid = kFccDmlh;
    riff.CreateChunk(dmlh);
    dmlhPos = io->Tell();
    io->WriteZeros(248);
    riff.Ascend(dmlh);
    riff.Ascend(odml);
    riff.Ascend(hdrl);
    // 'movi' list, its size fixed when the part closes.
    io->WriteU32LE(kFourCCList);
    io->WriteU32LE(4);
    moviListPos = io->Tell();
    io->WriteU32LE(kFccMovi);
    headerWritten = true;
    return io->Failed() ? kAviErrFileWrite : kAviOk;
}

uint64_t AviFileImpl::PartIndexBytes(uint64_t extraEntries) const {
    uint64_t n = partEntries.size() + extraEntries;
    uint64_t bytes = (part == 0 ? 8 + 16 * n : 0);
    // Standard indexes, one per stream (counted for every stream: enough room).
    bytes += streams.size() * 32 + 8 * n;
    return bytes;
}

AviResult AviFileImpl::WriteChunk(int stream, const void* data, uint32_t bytes, uint32_t flags,
                                  uint64_t samples) {
    StreamData& s = streams[size_t(stream)];
    uint64_t need = 8 + uint64_t(bytes) + (bytes & 1);
    uint64_t used = io->Tell() - riffPos;
    if (!partEntries.empty() && used + need + PartIndexBytes(1) > opt.partSize) {
        // The super indexes need one entry for this part and one for the next.
        for (const auto& st : streams)
            if (st.superIndex.size() + 2 > opt.superIndexEntries) return kAviErrFileWrite;
        AviResult r = ClosePart(false);
        if (r == kAviOk) r = OpenAvixPart();
        if (r != kAviOk) return r;
    }
    uint64_t at = io->Tell();
    io->WriteU32LE(s.chunkId);
    io->WriteU32LE(bytes);
    if (bytes) io->Write(data, bytes);
    if (bytes & 1) io->WriteU8(0);
    if (io->Failed()) return kAviErrFileWrite;
    partEntries.push_back({stream, flags & kAviIfKeyFrame, at, bytes});
    s.partChunks++;
    s.partSamples += samples;
    s.written += samples;
    s.bytesWritten += bytes;
    s.maxChunk = std::max(s.maxChunk, bytes);
    maxChunkAll = std::max(maxChunkAll, bytes);
    return kAviOk;
}

AviResult AviFileImpl::ClosePart(bool final) {
    bool odml = part > 0 || !final;
    if (odml) {
        for (size_t k = 0; k < streams.size(); ++k) {
            StreamData& s = streams[k];
            if (s.partChunks == 0) continue;
            if (s.superIndex.size() >= opt.superIndexEntries)
                return kAviErrFileWrite;  // never: checked before a part opens
            uint64_t at = io->Tell();
            uint32_t size = 24 + 8 * s.partChunks;
            io->WriteU32LE(MakeFourCC('i', 'x', char('0' + k / 10), char('0' + k % 10)));
            io->WriteU32LE(size);
            io->WriteU16LE(2);
            io->WriteU8(0);
            io->WriteU8(1);
            io->WriteU32LE(s.partChunks);
            io->WriteU32LE(s.chunkId);
            io->WriteU64LE(riffPos);
            io->WriteU32LE(0);
            for (const PartEntry& e : partEntries) {
                if (e.stream != int(k)) continue;
                io->WriteU32LE(uint32_t(e.offset + 8 - riffPos));
                io->WriteU32LE(e.size | ((e.flags & kAviIfKeyFrame) ? 0 : kIndexNotKey));
            }
            s.superIndex.push_back({at, size + 8, uint32_t(std::min<uint64_t>(s.partSamples, 0xFFFFFFFFu))});
        }
    }
    // Close the 'movi' list.
    uint64_t end = io->Tell();
    if (end - moviListPos > 0xFFFFFFFFull) return kAviErrFileWrite;
    io->Seek(moviListPos - 4);
    io->WriteU32LE(uint32_t(end - moviListPos));
    io->Seek(end);
    if (part == 0) {
        io->WriteU32LE(kFccIdx1);
        io->WriteU32LE(uint32_t(16 * partEntries.size()));
        for (const PartEntry& e : partEntries) {
            io->WriteU32LE(streams[size_t(e.stream)].chunkId);
            io->WriteU32LE(e.flags);
            io->WriteU32LE(uint32_t(e.offset - moviListPos));
            io->WriteU32LE(e.size);
        }
        for (auto& s : streams) s.firstPartSamples = s.written;
    }
    end = io->Tell();
    if (end - riffPos - 8 > 0xFFFFFFFFull) return kAviErrFileWrite;
    io->Seek(riffPos + 4);
    io->WriteU32LE(uint32_t(end - riffPos - 8));
    io->Seek(end);
    partEntries.clear();
    for (auto& s : streams) {
        s.partChunks = 0;
        s.partSamples = 0;
    }
    return io->Failed() ? kAviErrFileWrite : kAviOk;
}

AviResult AviFileImpl::OpenAvixPart() {
    ++part;
    riffPos = io->Tell();
    io->WriteU32LE(kFourCCRiff);
    io->WriteU32LE(4);
    io->WriteU32LE(kFccAvix);
    io->WriteU32LE(kFourCCList);
    io->WriteU32LE(4);
    moviListPos = io->Tell();
    io->WriteU32LE(kFccMovi);
    return io->Failed() ? kAviErrFileWrite : kAviOk;
}

AviResult AviFileImpl::Complete() {
    if (!headerWritten) {
        AviResult r = WriteHeaders();
        if (r != kAviOk) return r;
    }
    AviResult r = ClosePart(true);
    uint64_t end = io->Tell();
    finished = true;
    // Headers with the totals.
    io->Seek(avihPos);
    WriteAvih();
    uint64_t totalFrames = 0;
    for (auto& s : streams) {
        io->Seek(s.strhPos);
        WriteStrh(s);
        if (s.info.fccType == kStreamTypeVideo && totalFrames == 0) totalFrames = s.written;
        if (part > 0 && !s.superIndex.empty()) {
            io->Seek(s.indxChunkPos);
            io->WriteU32LE(kFccIndx);
            io->WriteU32LE(s.indxReserved);
            io->WriteU16LE(4);
            io->WriteU8(0);
            io->WriteU8(0);
            io->WriteU32LE(uint32_t(s.superIndex.size()));
            io->WriteU32LE(s.chunkId);
            io->WriteZeros(12);
            for (const SuperEntry& e : s.superIndex) {
                io->WriteU64LE(e.offset);
                io->WriteU32LE(e.size);
                io->WriteU32LE(e.duration);
            }
        }
    }
    io->Seek(dmlhPos);
    io->WriteU32LE(uint32_t(std::min<uint64_t>(totalFrames, 0xFFFFFFFFu)));
    io->Seek(end);
    if (!io->Flush() && r == kAviOk) r = kAviErrFileWrite;
    if (io->Failed() && r == kAviOk) r = kAviErrFileWrite;
    return r;
}

// ---------------------------------------------------------------- AviFile

AviFile::AviFile(std::unique_ptr<AviFileImpl> impl) : impl_(std::move(impl)) {}

AviFile::~AviFile() {
    if (impl_ && impl_->writing) Finish();
}

AviResult AviFile::Open(const std::string& path, std::shared_ptr<AviFile>& out) {
    auto io = std::make_unique<FileIO>();
    // A small buffer: samples are read at scattered places, and larger ones bypass it.
    if (!io->Open(path, FileIO::Mode::Read, 32 << 10)) return kAviErrFileOpen;
    return Open(std::move(io), out);
}

AviResult AviFile::Open(std::unique_ptr<ByteIO> io, std::shared_ptr<AviFile>& out) {
    out.reset();
    auto impl = std::make_unique<AviFileImpl>();
    impl->io = std::move(io);
    AviResult r = impl->Parse();
    if (r != kAviOk) return r;
    out.reset(new AviFile(std::move(impl)));
    return kAviOk;
}

AviResult AviFile::Create(const std::string& path, std::shared_ptr<AviFile>& out,
                          const AviWriteOptions& options) {
    auto io = std::make_unique<FileIO>();
    if (!io->Open(path, FileIO::Mode::Create)) return kAviErrFileOpen;
    return Create(std::move(io), out, options);
}

AviResult AviFile::Create(std::unique_ptr<ByteIO> io, std::shared_ptr<AviFile>& out,
                          const AviWriteOptions& options) {
    out.reset();
    auto impl = std::make_unique<AviFileImpl>();
    impl->io = std::move(io);
    impl->writing = true;
    impl->opt = options;
    impl->opt.partSize = std::clamp<uint64_t>(options.partSize, 64 << 10, uint64_t(2) << 30);
    impl->opt.superIndexEntries = std::max<uint32_t>(1, options.superIndexEntries);
    out.reset(new AviFile(std::move(impl)));
    return kAviOk;
}

AviResult AviFile::Info(AviFileInfo& info) const {
    if (!impl_->writing) {
        info = impl_->info;
        return kAviOk;
    }
    AviFileInfo i;
    i.dwStreams = uint32_t(impl_->streams.size());
    for (const auto& s : impl_->streams)
        if (s.info.fccType == kStreamTypeVideo) {
            i.dwScale = s.info.dwScale;
            i.dwRate = s.info.dwRate;
            i.dwLength = uint32_t(std::min<uint64_t>(s.written, 0x7FFFFFFF));
            break;
        }
    info = i;
    return kAviOk;
}

AviResult AviFile::GetStream(std::shared_ptr<AviStream>& out, uint32_t fccType, int index) {
    out.reset();
    int seen = 0;
    for (size_t k = 0; k < impl_->streams.size(); ++k) {
        if (fccType != 0 && impl_->streams[k].info.fccType != fccType) continue;
        if (seen++ == index) {
            // Streams keep the file alive.
            out.reset(new AviStream(shared_from_this(), int(k)));
            return kAviOk;
        }
    }
    return kAviErrNoData;
}

AviResult AviFile::CreateStream(std::shared_ptr<AviStream>& out, const AviStreamInfo& info) {
    out.reset();
    AviFileImpl& f = *impl_;
    if (!f.writing || f.finished) return kAviErrUnsupported;
    if (f.headerWritten || f.streams.size() >= size_t(kMaxStreams)) return kAviErrUnsupported;
    StreamData s;
    s.info = info;
    s.info.dwLength = 0;
    s.info.dwEditCount = 0;
    s.info.dwFormatChangeCount = 0;
    int k = int(f.streams.size());
    uint32_t suffix = Suffix('d', 'c');
    if (info.fccType == kStreamTypeAudio)
        suffix = Suffix('w', 'b');
    else if (info.fccType == kStreamTypeText)
        suffix = Suffix('t', 'x');
    s.chunkId = ChunkIdFor(k, suffix);
    f.streams.push_back(std::move(s));
    out.reset(new AviStream(shared_from_this(), k));
    return kAviOk;
}

AviResult AviFile::Finish() {
    AviFileImpl& f = *impl_;
    if (!f.writing || f.finished) return f.writeError;
    AviResult r = f.Complete();
    if (f.writeError == kAviOk) f.writeError = r;
    if (auto* fio = dynamic_cast<FileIO*>(f.io.get())) {
        if (!fio->Close() && f.writeError == kAviOk) f.writeError = kAviErrFileWrite;
    }
    return f.writeError;
}

bool AviFile::IsWav() const {
    return impl_->isWav;
}
ByteIO& AviFile::IO() {
    return *impl_->io;
}

// ---------------------------------------------------------------- AviStream

AviStream::~AviStream() = default;

AviResult AviStream::Info(AviStreamInfo& info) const {
    const StreamData& s = file_->impl_->streams[size_t(index_)];
    info = s.info;
    if (file_->impl_->writing) info.dwLength = uint32_t(std::min<uint64_t>(s.written, 0x7FFFFFFF));
    return kAviOk;
}

int32_t AviStream::Start() const {
    return int32_t(file_->impl_->streams[size_t(index_)].info.dwStart);
}

int32_t AviStream::Length() const {
    AviStreamInfo i;
    Info(i);
    return int32_t(i.dwLength);
}

AviResult AviStream::ReadFormat(int32_t, void* data, int32_t& size) const {
    const StreamData& s = file_->impl_->streams[size_t(index_)];
    if (!data) {
        size = int32_t(s.format.size());
        return kAviOk;
    }
    if (size < 0) return kAviErrBadParam;
    size_t n = std::min<size_t>(size_t(size), s.format.size());
    if (n) std::memcpy(data, s.format.data(), n);
    size = int32_t(n);
    return kAviOk;
}

AviResult AviStream::Read(int32_t start, int32_t count, void* buffer, int32_t bufferBytes, int32_t* bytesRead,
                          int32_t* samplesRead) const {
    AviFileImpl& f = *file_->impl_;
    const StreamData& s = f.streams[size_t(index_)];
    if (bytesRead) *bytesRead = 0;
    if (samplesRead) *samplesRead = 0;
    if (f.writing) return kAviErrUnsupported;
    int64_t rel = int64_t(start) - int64_t(s.info.dwStart);
    if (rel < 0) return kAviErrBadParam;
    if (uint64_t(rel) >= s.samples) return kAviOk;
    if (buffer && bufferBytes < 0) return kAviErrBadParam;
    ByteIO& io = *f.io;
    if (s.sampleSize == 0) {
        const IndexEntry& e = s.index[size_t(rel)];
        if (buffer) {
            if (uint32_t(bufferBytes) < e.size) return kAviErrBufferTooSmall;
            if (e.size && (!io.Seek(e.offset) || !io.ReadExact(buffer, e.size))) return kAviErrFileRead;
        }
        if (bytesRead) *bytesRead = int32_t(e.size);
        if (samplesRead) *samplesRead = 1;
        return kAviOk;
    }
    const uint64_t ss = s.sampleSize;
    uint64_t left = s.samples - uint64_t(rel);
    uint64_t byteStart = uint64_t(rel) * ss;
    size_t chunk =
        size_t(std::upper_bound(s.cumBytes.begin(), s.cumBytes.end(), byteStart) - s.cumBytes.begin()) - 1;
    uint64_t n;
    if (count == kAviStreamReadConvenient) {
        if (buffer) {
            n = uint64_t(bufferBytes) / ss;
            if (n == 0) return kAviErrBufferTooSmall;
        } else {
            uint64_t restOfChunk = s.cumBytes[chunk + 1] - byteStart;
            n = std::max<uint64_t>(1, restOfChunk / ss);
            n = std::min<uint64_t>(n, std::max<uint64_t>(1, (1 << 20) / ss));
        }
    } else {
        if (count < 0) return kAviErrBadParam;
        n = uint64_t(count);
        if (buffer && n * ss > uint64_t(bufferBytes)) return kAviErrBufferTooSmall;
    }
    n = std::min(n, left);
    n = std::min<uint64_t>(n, uint64_t(0x7FFFFFFF) / ss);
    uint64_t total = n * ss;
    if (buffer) {
        uint8_t* dst = static_cast<uint8_t*>(buffer);
        uint64_t pos = byteStart, done = 0;
        while (done < total && chunk < s.index.size()) {
            const IndexEntry& e = s.index[chunk];
            uint64_t inChunk = pos - s.cumBytes[chunk];
            uint64_t k = std::min<uint64_t>(e.size - inChunk, total - done);
            if (k && (!io.Seek(e.offset + inChunk) || !io.ReadExact(dst + done, size_t(k))))
                return kAviErrFileRead;
            done += k;
            pos += k;
            ++chunk;
        }
    }
    if (bytesRead) *bytesRead = int32_t(total);
    if (samplesRead) *samplesRead = int32_t(n);
    return kAviOk;
}

int32_t AviStream::FindSample(int32_t pos, uint32_t flags) const {
    const StreamData& s = file_->impl_->streams[size_t(index_)];
    if (file_->impl_->writing || s.samples == 0) return -1;
    int64_t rel = int64_t(pos) - int64_t(s.info.dwStart);
    int64_t last = int64_t(s.samples) - 1;
    bool next = (flags & kFindNext) && !(flags & kFindPrev);
    if (!(flags & kFindKey) || s.sampleSize != 0) {
        if (rel < 0) return next ? int32_t(s.info.dwStart) : -1;
        if (rel > last) return next ? -1 : int32_t(last + s.info.dwStart);
        return pos;
    }
    if (next) {
        if (rel < 0) rel = 0;
        auto it = std::lower_bound(s.keys.begin(), s.keys.end(), uint64_t(rel));
        return it == s.keys.end() ? -1 : int32_t(*it + s.info.dwStart);
    }
    if (rel < 0) return -1;
    if (rel > last) rel = last;
    auto it = std::upper_bound(s.keys.begin(), s.keys.end(), uint64_t(rel));
    if (it == s.keys.begin()) return -1;
    return int32_t(*(it - 1) + s.info.dwStart);
}

bool AviStream::IsKeyFrame(int32_t pos) const {
    return FindSample(pos, kFindKey | kFindPrev) == pos;
}

AviResult AviStream::SetFormat(int32_t, const void* data, int32_t size) {
    AviFileImpl& f = *file_->impl_;
    if (!f.writing || f.finished) return kAviErrUnsupported;
    if (size < 0 || uint32_t(size) > kMaxFormatBytes || (size > 0 && !data)) return kAviErrBadParam;
    StreamData& s = f.streams[size_t(index_)];
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (f.headerWritten) {
        // The header is laid out: only the same format can be set again.
        if (size_t(size) == s.format.size() &&
            (size == 0 || std::memcmp(p, s.format.data(), size_t(size)) == 0))
            return kAviOk;
        return kAviErrUnsupported;
    }
    s.format.assign(p, p + size);
    if (s.info.fccType == kStreamTypeVideo && size >= 20) {
        uint32_t comp = GetU32LE(p + 16);
        if (comp == 0 || comp == 3) s.chunkId = ChunkIdFor(index_, Suffix('d', 'b'));
    }
    return kAviOk;
}

AviResult AviStream::Write(int32_t start, int32_t samples, const void* data, int32_t bytes, uint32_t flags,
                           int32_t* samplesWritten, int32_t* bytesWritten) {
    AviFileImpl& f = *file_->impl_;
    if (samplesWritten) *samplesWritten = 0;
    if (bytesWritten) *bytesWritten = 0;
    if (!f.writing || f.finished) return kAviErrUnsupported;
    if (bytes < 0 || samples < 0 || (bytes > 0 && !data)) return kAviErrBadParam;
    if (f.writeError != kAviOk) return f.writeError;
    if (!f.headerWritten) {
        AviResult r = f.WriteHeaders();
        if (r != kAviOk) return f.writeError = r;
    }
    StreamData& s = f.streams[size_t(index_)];
    uint64_t n = uint64_t(samples);
    if (s.info.dwSampleSize != 0) {
        if (bytes == 0) return kAviOk;
        if (n == 0) n = uint64_t(bytes) / s.info.dwSampleSize;
    } else {
        if (n == 0) n = 1;
        // A frame stream written past its end gets empty samples for the gap.
        if (start >= 0 && uint64_t(start) > s.written) {
            uint64_t gap = uint64_t(start) - s.written;
            if (gap > (1u << 24)) return kAviErrBadParam;
            for (uint64_t g = 0; g < gap; ++g) {
                AviResult r = f.WriteChunk(index_, nullptr, 0, 0, 1);
                if (r != kAviOk) return f.writeError = r;
            }
        } else if (start >= 0 && uint64_t(start) < s.written) {
            return kAviErrBadParam;
        }
    }
    AviResult r = f.WriteChunk(index_, data, uint32_t(bytes), flags, n);
    if (r != kAviOk) return f.writeError = r;
    if (samplesWritten) *samplesWritten = int32_t(n);
    if (bytesWritten) *bytesWritten = bytes;
    return kAviOk;
}

}  // namespace vt
