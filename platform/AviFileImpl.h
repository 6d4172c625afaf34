#pragma once
// What the AVI reader (AviReader.cpp) and writer (AviWriter.cpp) share: the
// chunk ids, the per-stream state and the file's state behind AviFile and
// AviStream. Internal to the platform layer. Qt-free.
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/AviFile.h"
#include "platform/AviIndex.h"
#include "platform/AviRecords.h"

namespace vt {

class ByteWriter;
class RiffWalker;

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
constexpr uint32_t kFccRf64 = MakeFourCC('R', 'F', '6', '4');
constexpr uint32_t kFccBw64 = MakeFourCC('B', 'W', '6', '4');
constexpr uint32_t kFccDs64 = MakeFourCC('d', 's', '6', '4');
constexpr uint32_t kFccWave64Riff = MakeFourCC('r', 'i', 'f', 'f');

constexpr int kMaxStreams = 100;               // chunk ids carry two decimal digits
constexpr uint32_t kMaxFormatBytes = 1 << 20;  // no real format block comes near this
constexpr int kMaxListDepth = 4;
constexpr uint64_t kMaxIndexEntries = uint64_t(1) << 24;

// The stream number of a chunk id "##xx" (also of the "##ix" index spelling), or -1.
inline int StreamOfChunk(uint32_t id) {
    char a = char(id & 0xFF), b = char((id >> 8) & 0xFF);
    if (a < '0' || a > '9' || b < '0' || b > '9') return -1;
    return (a - '0') * 10 + (b - '0');
}
inline bool IsIndexChunk(uint32_t id) {
    char c0 = char(id & 0xFF), c1 = char((id >> 8) & 0xFF), c2 = char((id >> 16) & 0xFF),
         c3 = char((id >> 24) & 0xFF);
    return (c0 == 'i' && c1 == 'x') || (c2 == 'i' && c3 == 'x');
}
inline uint32_t ChunkIdFor(int stream, uint32_t suffix) {
    return uint32_t('0' + stream / 10) | (uint32_t('0' + stream % 10) << 8) | suffix;
}
constexpr uint32_t Suffix(char a, char b) {
    return (uint32_t(uint8_t(a)) << 16) | (uint32_t(uint8_t(b)) << 24);
}

struct StreamData {
    AviStreamInfo info;
    std::vector<uint8_t> format;
    // Reading.
    BlockArray<IndexEntry> index;
    BlockArray<uint64_t> cumBytes;  // sample-size streams: bytes before chunk i (size n + 1)
    BlockArray<uint32_t> keys;      // frame streams: chunk numbers of key frames
    uint32_t sampleSize = 0;        // 0: one chunk is one sample
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
    BlockArray<PartEntry> partEntries;
    uint32_t maxChunkAll = 0;

    // --- reading ---
    AviResult Parse();
    // A WAV file's 'fmt ' and 'data' in [12, riffEnd); an RF64 file's data
    // size from its 'ds64'.
    AviResult ParseWav(uint64_t riffEnd, std::optional<uint64_t> ds64DataSize);
    AviResult ParseRf64();
    AviResult ParseWave64();
    // The one stream of a WAV file from its format and data.
    AviResult SetUpWavStream(std::vector<uint8_t> format, bool haveData, uint64_t dataPos, uint64_t dataSize);
    void DeriveMpegByteRate(std::vector<uint8_t>& format, uint64_t dataPos, uint64_t dataSize);
    AviResult ParseAvi(uint64_t riffEnd);
    AviResult ParseHdrl(RiffWalker& walker);
    AviResult ParseStrl(RiffWalker& walker);
    bool ReadIndx(StreamData& s, uint64_t pos, uint32_t size);
    bool LoadOdmlIndexes();
    bool InsideMovi(uint64_t at, uint32_t bytes) const;
    bool LoadIdx1();
    void ScanMovi(const Movi& m);
    void ScanList(RiffWalker& walker);
    void AddEntry(int stream, uint64_t dataOffset, uint32_t size, uint32_t flags);
    void FinishIndexes();
    // What a read of a stream of fixed-size samples takes from sample `rel`
    // (count and buffer as Read has them): n samples from byte byteStart of
    // the stream's data, which lies in chunk `chunk`.
    struct SampleRun {
        size_t chunk = 0;
        uint64_t byteStart = 0;
        uint64_t n = 0;
    };
    AviResult PlanSamples(const StreamData& s, uint64_t rel, int32_t count, bool buffer, int32_t bufferBytes,
                          SampleRun& run) const;
    // The first `bytes` bytes of a run written to `out` at its position, a
    // range of a chunk at a time (from file to file where the system can).
    ByteIO::Copied CopySampleBytes(const StreamData& s, const SampleRun& run, uint64_t bytes,
                                   ByteIO& out) const;
    // Whether a run's chunks are large enough, on average, that copying them
    // one by one costs less than reading them together.
    bool CopiesWell(const StreamData& s, const SampleRun& run, uint64_t bytes) const;

    // --- writing ---
    AviResult WriteHeaders();
    // The chunk's data comes from `data`, or with `from` from bytes
    // [fromPos, fromPos + bytes) of another file (kAviErrFileRead when they
    // cannot be read: nothing of the chunk is kept then).
    AviResult WriteChunk(int stream, const void* data, uint32_t bytes, uint32_t flags, uint64_t samples,
                         ByteIO* from = nullptr, uint64_t fromPos = 0);
    // The same with the data written by `payload(io)` (a ByteIO::Copied).
    template <class Payload>
    AviResult WriteChunkWith(int stream, uint32_t bytes, uint32_t flags, uint64_t samples,
                             const Payload& payload);
    AviResult ClosePart(bool final);
    AviResult OpenAvixPart();
    AviResult Complete();
    void WriteStrh(const StreamData& s);
    void WriteAvih();
    uint64_t PartIndexBytes(uint64_t extraEntries) const;
    void FlushBatch(ByteWriter& b);
};

}  // namespace vt
