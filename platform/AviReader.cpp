// Reading AVI files (AVI 1.0 and OpenDML parts, with their indexes or a scan
// of the 'movi' lists) and WAV files, and reading samples from their streams.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

#include "platform/AudioFormat.h"
#include "platform/AudioFrames.h"
#include "platform/AviFileImpl.h"
#include "platform/Bytes.h"
#include "platform/Riff.h"

namespace vt {

namespace {

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

// The read buffer of a file opened for reading.
constexpr size_t kReadBufferBytes = 32 << 10;
// Bytes between two chunks that cost less to read through than one more read call.
constexpr uint64_t kRunGap = 4096;

// The end of the run of chunks of a stream, from chunk i on, that lie close
// together (gaps up to kRunGap, all within one buffer): one read takes them
// all. Just chunk i's end when the next one is far.
uint64_t RunEnd(const StreamData& s, size_t i) {
    const uint64_t start = s.index[i].offset();
    uint64_t end = start + s.index[i].size;
    for (size_t j = i + 1; j < s.index.size() && j < i + 64; ++j) {
        const IndexEntry& e = s.index[j];
        const uint64_t at = e.offset();
        if (at < end || at - end > kRunGap || at + e.size - start > kReadBufferBytes) break;
        end = at + e.size;
    }
    return end;
}

}  // namespace

AviResult AviFileImpl::Parse() {
    fileSize = io->Size();
    if (fileSize < 12 || !io->Seek(0)) return kAviErrFileRead;
    uint32_t id, size, type;
    if (!io->ReadU32LE(id) || !io->ReadU32LE(size) || !io->ReadU32LE(type)) return kAviErrFileRead;
    if (id == kFccWave64Riff) return ParseWave64();
    if ((id == kFccRf64 || id == kFccBw64) && type == kFccWave) return ParseRf64();
    if (id != kFourCCRiff) return kAviErrBadFormat;
    // A truncated download has a RIFF size past the end: read what is there.
    uint64_t riffEnd = std::min<uint64_t>(8 + uint64_t(size), fileSize);
    // A WAV file written as a stream has no RIFF size yet (0): all of it counts.
    if (type == kFccWave) return ParseWav(size < 4 ? fileSize : riffEnd, std::nullopt);
    if (size < 4) return kAviErrBadFormat;
    if (type == kFccAvi) return ParseAvi(riffEnd);
    return kAviErrBadFormat;
}

// MPEG audio whose format leaves nAvgBytesPerSec at 0 (some writers do): the
// byte rate is taken from the frames at the start of the data (their mean bit
// rate), so that times and sample counts can be worked out. Other formats and
// data without frames are left as they are.

void AviFileImpl::DeriveMpegByteRate(std::vector<uint8_t>& format, uint64_t dataPos, uint64_t dataSize) {
    if (format.size() < 16) return;
    const uint16_t tag = EffectiveFormatTag(format.data(), format.size());
    ByteReader fields(format);
    fields.Skip(8);  // wFormatTag, nChannels, nSamplesPerSec
    // Only a rate the writer left out (nAvgBytesPerSec 0) is derived.
    if ((tag != kWaveFormatMpegLayer3 && tag != kWaveFormatMpeg) || fields.U32LE() != 0) return;
    std::vector<uint8_t> head;
    const uint64_t want = std::min<uint64_t>(dataSize, 64 * 1024);
    if (!io->Seek(dataPos) || !io->ReadBytes(head, want)) return;
    const bool whole = want == dataSize;
    size_t at = FindAudioFrame(tag, head.data(), head.size(), 0, whole);
    uint64_t bits = 0, samples = 0;
    uint32_t rate = 0;
    AudioFrame f;
    while (at < head.size() && ParseAudioFrame(tag, head.data() + at, head.size() - at, f) &&
           f.bytes <= head.size() - at && (rate == 0 || f.sampleRate == rate)) {
        rate = f.sampleRate;
        bits += uint64_t(f.bitRate) * f.samples;
        samples += f.samples;
        at += f.bytes;
    }
    if (samples == 0 || bits == 0) return;
    const uint64_t bytesPerSec = (bits / samples + 4) / 8;
    if (bytesPerSec == 0 || bytesPerSec > 0xFFFFFFFFu) return;
    PutU32LE(format.data() + 8, uint32_t(bytesPerSec));
}

// An RF64 file (or BW64, its later name): a WAV file whose RIFF and data
// sizes are all ones, the real ones in the 'ds64' chunk that comes first.
// Each is checked against the file: a 'ds64' RIFF size past the end reads what
// is there (a cut-off file), as does a data size past it.
AviResult AviFileImpl::ParseRf64() {
    uint32_t id = 0, size = 0;
    uint64_t riffSize = 0, dataSize = 0;
    if (fileSize < 12 + 8 + 24 || !io->Seek(12) || !io->ReadU32LE(id) || !io->ReadU32LE(size))
        return kAviErrFileRead;
    if (id != kFccDs64 || size < 24 || size > fileSize - 20) return kAviErrBadFormat;
    if (!io->ReadU64LE(riffSize) || !io->ReadU64LE(dataSize)) return kAviErrFileRead;
    const uint64_t riffEnd = riffSize < 4 || riffSize > fileSize - 8 ? fileSize : 8 + riffSize;
    return ParseWav(riffEnd, dataSize);
}

namespace {
// Sony Wave64: RIFF's layout with 16-byte GUIDs for ids and 64-bit sizes
// (counting the 24-byte header); chunks start on 8-byte boundaries.
constexpr uint8_t kW64Riff[16] = {'r',  'i',  'f',  'f',  0x2E, 0x91, 0xCF, 0x11,
                                  0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};
constexpr uint8_t kW64Wave[16] = {'w',  'a',  'v',  'e',  0xF3, 0xAC, 0xD3, 0x11,
                                  0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};
constexpr uint8_t kW64Fmt[16] = {'f',  'm',  't',  ' ',  0xF3, 0xAC, 0xD3, 0x11,
                                 0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};
constexpr uint8_t kW64Data[16] = {'d',  'a',  't',  'a',  0xF3, 0xAC, 0xD3, 0x11,
                                  0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};
}  // namespace

AviResult AviFileImpl::ParseWave64() {
    uint8_t guid[16];
    uint64_t size = 0;
    if (fileSize < 40 || !io->Seek(0) || !io->ReadExact(guid, 16) || !io->ReadU64LE(size))
        return kAviErrFileRead;
    if (std::memcmp(guid, kW64Riff, 16) != 0) return kAviErrBadFormat;
    if (!io->ReadExact(guid, 16)) return kAviErrFileRead;
    if (std::memcmp(guid, kW64Wave, 16) != 0) return kAviErrBadFormat;
    // A cut-off file reads as far as it goes.
    const uint64_t end = size < 40 || size > fileSize ? fileSize : size;
    std::vector<uint8_t> format;
    uint64_t dataPos = 0, dataSize = 0;
    bool haveData = false;
    for (uint64_t pos = 40; pos <= end && end - pos >= 24;) {
        if (!io->Seek(pos) || !io->ReadExact(guid, 16) || !io->ReadU64LE(size)) return kAviErrFileRead;
        if (size < 24) return kAviErrBadFormat;  // no header of its own: the walk would not move on
        const uint64_t avail = end - pos - 24;
        const uint64_t body = std::min<uint64_t>(size - 24, avail);
        if (std::memcmp(guid, kW64Fmt, 16) == 0 && format.empty()) {
            if (body < 14 || size - 24 > kMaxFormatBytes || size - 24 > avail) return kAviErrBadFormat;
            if (!io->ReadBytes(format, body)) return kAviErrFileRead;
        } else if (std::memcmp(guid, kW64Data, 16) == 0 && !haveData) {
            dataPos = pos + 24;
            dataSize = body;  // a cut-off data chunk keeps what is there
            haveData = true;
        }
        if (size - 24 > avail) break;
        pos += (size + 7) & ~uint64_t(7);
    }
    if (format.empty()) return kAviErrBadFormat;
    return SetUpWavStream(std::move(format), haveData, dataPos, dataSize);
}

AviResult AviFileImpl::ParseWav(uint64_t riffEnd, std::optional<uint64_t> ds64DataSize) {
    uint64_t dataPos = 0, dataSize = 0;
    bool haveFmt = false, haveData = false;
    StreamData s;
    RiffWalker walker(*io, 12, riffEnd);
    RiffEntry e;
    while (walker.Next(e)) {
        if (e.id == kFccFmt && !haveFmt) {
            if (e.size < 14 || e.size > kMaxFormatBytes || !e.Fits()) return kAviErrBadFormat;
            if (!io->ReadBytes(s.format, e.size)) return kAviErrFileRead;
            haveFmt = true;
        } else if (e.id == kFccData && !haveData) {
            dataPos = e.DataPos();
            dataSize = e.DataEnd() - dataPos;  // a cut-off data chunk keeps what is there
            haveData = true;
            // RF64: the size is in 'ds64' (the data ends at the end of the
            // file when it says more than the file holds).
            if (ds64DataSize && e.size == 0xFFFFFFFFu) {
                dataSize = std::min<uint64_t>(*ds64DataSize, fileSize - dataPos);
                break;
            }
            // Written as a stream, the size was never filled in (0 or all
            // ones): the data runs to the end of the file.
            if (e.size == 0 || e.size == 0xFFFFFFFFu) {
                dataSize = fileSize - dataPos;
                break;
            }
        }
    }
    if (walker.Failed()) return kAviErrFileRead;
    if (!haveFmt) return kAviErrBadFormat;
    return SetUpWavStream(std::move(s.format), haveData, dataPos, dataSize);
}

AviResult AviFileImpl::SetUpWavStream(std::vector<uint8_t> format, bool haveData, uint64_t dataPos,
                                      uint64_t dataSize) {
    isWav = true;
    StreamData s;
    s.format = std::move(format);
    if (haveData && dataSize > 0) DeriveMpegByteRate(s.format, dataPos, dataSize);
    WaveFormatEx w = WaveFormatFromBytes(s.format.data(), s.format.size());
    uint32_t align = w.nBlockAlign ? w.nBlockAlign : 1;
    // MPEG audio frames do not follow nBlockAlign (writers put anything there):
    // count bytes, so that no frame at the end is lost.
    const uint16_t tag = EffectiveFormatTag(s.format.data(), s.format.size());
    if (tag == kWaveFormatMpegLayer3 || tag == kWaveFormatMpeg) align = 1;
    s.info.fccType = kStreamTypeAudio;
    s.info.dwScale = align;
    s.info.dwRate = w.nAvgBytesPerSec ? w.nAvgBytesPerSec : w.nSamplesPerSec * align;
    // Blocks a second follow from the sample rate: nAvgBytesPerSec is only a
    // writer's rounded hint for ADPCM (some write the PCM-like 4 bits a sample).
    if (const uint32_t perBlock = BlockSamples(s.format.data(), s.format.size());
        perBlock && w.nSamplesPerSec) {
        const uint64_t rate = (uint64_t(w.nSamplesPerSec) * align + perBlock / 2) / perBlock;
        if (rate > 0 && rate <= 0xFFFFFFFFu) s.info.dwRate = uint32_t(rate);
    }
    s.info.dwSampleSize = align;
    s.info.dwQuality = 0xFFFFFFFFu;
    s.sampleSize = align;
    s.cumBytes.push_back(0);
    // The data in pieces that a 32-bit index entry holds (RF64 and Wave64
    // data passes 4 GiB).
    constexpr uint64_t kPiece = uint64_t(1) << 30;
    for (uint64_t at = 0; haveData && at < dataSize; at += kPiece) {
        const uint64_t n = std::min(kPiece, dataSize - at);
        s.index.push_back(IndexEntry(dataPos + at, uint32_t(n), kAviIfKeyFrame));
        s.cumBytes.push_back(at + n);
    }
    s.samples = dataSize / align;
    // Sample positions are 32-bit signed: a longer stream (over 2 GiB of 8-bit
    // mono or MPEG audio, over 8 GiB of 16-bit stereo) would be read only up
    // to there, and a join or a cut would lose the rest without a word.
    if (s.samples > 0x7FFFFFFF) return kAviErrUnsupported;
    s.info.dwLength = uint32_t(s.samples);
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
    RiffWalker walker(*io, 12, riffEnd);
    RiffEntry e;
    while (walker.Next(e)) {
        if (e.id == kFourCCList && e.size >= 4 && !e.typed) return kAviErrFileRead;  // the type is cut off
        if (e.IsList(kFccHdrl) && !haveHdrl) {
            if (!e.Fits()) return kAviErrBadFormat;
            RiffWalker hdrl = walker.Inside(e);
            AviResult r = ParseHdrl(hdrl);
            if (r != kAviOk) return r;
            haveHdrl = true;
        } else if (e.IsList(kFccMovi) && movis.empty()) {
            movis.push_back({e.pos + 8, e.DataEnd()});
        } else if (e.id == kFccIdx1 && !hasIdx1 && e.Fits()) {
            hasIdx1 = true;
            idx1Pos = e.DataPos();
            idx1Size = e.size;
        }
    }
    if (walker.Failed()) return kAviErrFileRead;
    if (!haveHdrl) return kAviErrBadFormat;
    // OpenDML extensions follow the first RIFF part: 'RIFF' 'AVIX' parts, each with a 'movi' list.
    RiffWalker parts(*io, riffEnd + (riffEnd & 1), fileSize);
    RiffEntry avix;
    while (parts.Next(avix) && avix.id == kFourCCRiff && avix.typed && avix.type == kFccAvix) {
        const uint64_t partEnd = avix.DataEnd();
        RiffWalker inner(*io, avix.pos + 12, partEnd);
        RiffEntry c;
        while (inner.Next(c) && c.pos + 12 <= partEnd)
            if (c.IsList(kFccMovi)) movis.push_back({c.pos + 8, c.DataEnd()});
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

AviResult AviFileImpl::ParseHdrl(RiffWalker& walker) {
    bool haveAvih = false;
    RiffEntry e;
    while (walker.Next(e)) {
        if (!e.Fits()) return kAviErrBadFormat;
        if (e.id == kFccAvih) {
            if (e.size < kAvihMinBytes) return kAviErrBadFormat;
            uint8_t b[kAvihBytes] = {};
            if (!io->ReadExact(b, std::min<uint32_t>(e.size, kAvihBytes))) return kAviErrFileRead;
            const AvihRecord a = ParseAvih(b);
            info.dwMaxBytesPerSec = a.maxBytesPerSec;
            info.dwFlags = a.flags;
            info.dwLength = a.totalFrames;
            info.dwSuggestedBufferSize = a.suggestedBufferSize;
            info.dwWidth = a.width;
            info.dwHeight = a.height;
            info.dwScale = a.usecPerFrame ? a.usecPerFrame : 1;
            info.dwRate = a.usecPerFrame ? 1000000 : 0;
            haveAvih = true;
        } else if (e.IsList(kFccStrl)) {
            if (streams.size() >= size_t(kMaxStreams)) return kAviErrBadFormat;
            RiffWalker strl = walker.Inside(e);
            AviResult r = ParseStrl(strl);
            if (r != kAviOk) return r;
        }
        // 'odml' holds 'dmlh', the total frame count; our lengths come from the indexes.
    }
    if (walker.Failed()) return kAviErrFileRead;
    if (!haveAvih) return kAviErrBadFormat;
    info.dwStreams = uint32_t(streams.size());
    std::strncpy(info.szFileType.data(), "AVI File", info.szFileType.size() - 1);
    return kAviOk;
}

AviResult AviFileImpl::ParseStrl(RiffWalker& walker) {
    StreamData s;
    bool haveStrh = false;
    RiffEntry e;
    while (walker.Next(e)) {
        if (!e.Fits()) return kAviErrBadFormat;
        if (e.id == kFccStrh) {
            if (e.size < kStrhMinBytes) return kAviErrBadFormat;
            uint8_t b[kStrhBytes] = {};
            if (!io->ReadExact(b, std::min<uint32_t>(e.size, kStrhBytes))) return kAviErrFileRead;
            ParseStrh(b, e.size >= kStrhBytes, s.info);
            if (s.info.dwStart > 0x7FFFFFFF) s.info.dwStart = 0;
            haveStrh = true;
        } else if (e.id == kFccStrf) {
            if (e.size > kMaxFormatBytes) return kAviErrBadFormat;
            if (!io->ReadBytes(s.format, e.size)) return kAviErrFileRead;
        } else if (e.id == kFccStrn) {
            uint32_t n = std::min<uint32_t>(e.size, uint32_t(s.info.szName.size() - 1));
            if (!io->ReadExact(s.info.szName.data(), n)) return kAviErrFileRead;
        } else if (e.id == kFccIndx) {
            s.indxPos = e.DataPos();
            if (!ReadIndx(s, e.DataPos(), e.size)) {
                s.hasIndx = false;
                s.superIndex.clear();
            }
        }
    }
    if (walker.Failed()) return kAviErrFileRead;
    if (!haveStrh) return kAviErrBadFormat;
    streams.push_back(std::move(s));
    return kAviOk;
}

bool AviFileImpl::ReadIndx(StreamData& s, uint64_t pos, uint32_t size) {
    if (size < kIndxHeaderBytes || !io->Seek(pos)) return false;
    uint8_t h[kIndxHeaderBytes];
    if (!io->ReadExact(h, sizeof h)) return false;
    ByteReader hr(h, sizeof h);
    const IndxHeader ih = ParseIndxHeader(hr);
    if (ih.type == kIndexOfIndexes) {
        if (ih.longsPerEntry != 4 || ih.entries > (size - kIndxHeaderBytes) / kSuperEntryBytes) return false;
        for (uint32_t k = 0; k < ih.entries; ++k) {
            uint8_t b[kSuperEntryBytes];
            if (!io->ReadExact(b, sizeof b)) return false;
            ByteReader er(b, sizeof b);
            const SuperEntry se = ParseSuperEntry(er);
            if (se.offset == 0 && se.size == 0) continue;
            s.superIndex.push_back(se);
        }
        s.hasIndx = !s.superIndex.empty();
        return true;
    }
    if (ih.type == kIndexOfChunks) {  // the chunks indexed right here
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
    StreamData& s = streams[size_t(stream)];
    // An empty chunk of audio holds no sample, and one of a stream of
    // fixed-size samples adds no bytes: neither is kept (a file of millions
    // of them costs no memory). Left in, one of audio counted in chunks would
    // read as a sample of 0 bytes, which copy loops rightly take as the end
    // of the data. Empty chunks of video are dropped frames and stay.
    if (size == 0 && (s.info.dwSampleSize != 0 || s.info.fccType == kStreamTypeAudio)) return;
    s.index.push_back(IndexEntry(dataOffset, size, flags));
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
            uint8_t h[kIndxHeaderBytes];
            if (!io->ReadU32LE(id) || !io->ReadU32LE(size) || !io->ReadExact(h, sizeof h)) return false;
            if (!(IsIndexChunk(id) || id == kFccIndx)) return false;
            ByteReader hr(h, sizeof h);
            const IndxHeader ih = ParseIndxHeader(hr);
            if (ih.longsPerEntry != 2 || ih.type != kIndexOfChunks) return false;
            const uint32_t n = ih.entries;
            const uint64_t base = ih.baseOffset;
            if (size < kIndxHeaderBytes || size > fileSize - pos - 8 ||
                n > (size - kIndxHeaderBytes) / kStdEntryBytes)
                return false;
            for (uint32_t k = 0; k < n && indexEntries < kMaxIndexEntries; ++k) {
                uint8_t b[kStdEntryBytes];
                if (!io->ReadExact(b, sizeof b)) return false;
                ByteReader er(b, sizeof b);
                const StdEntry ie = ParseStdEntry(er);
                if (base > UINT64_MAX - ie.offset) return false;
                const uint64_t at = base + ie.offset;
                if (!InsideMovi(at, ie.size)) return false;
                AddEntry(int(si), at, ie.size, ie.key ? kAviIfKeyFrame : 0u);
            }
        }
    }
    return true;
}

bool AviFileImpl::LoadIdx1() {
    if (idx1Size < 16) return false;
    const uint64_t moviPos = movis[0].listPos;
    uint64_t n = idx1Size / kIdx1EntryBytes;
    // Offsets count from the 'movi' type, or (some writers) from the file start:
    // the first entry decides by pointing at its own chunk header.
    uint64_t base = 0;
    bool decided = false;
    for (uint64_t k = 0; k < n && !decided; ++k) {
        uint8_t b[kIdx1EntryBytes];
        if (!io->Seek(idx1Pos + k * kIdx1EntryBytes) || !io->ReadExact(b, sizeof b)) return false;
        ByteReader er(b, sizeof b);
        const Idx1Entry e = ParseIdx1Entry(er);
        const uint32_t id = e.id, off = e.offset;
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
        uint8_t b[kIdx1EntryBytes];
        if (!io->ReadExact(b, sizeof b)) break;
        ByteReader er(b, sizeof b);
        const Idx1Entry e = ParseIdx1Entry(er);
        const uint32_t id = e.id, flags = e.flags, off = e.offset, size = e.size;
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
    RiffWalker walker(*io, m.listPos + 4, m.end);
    ScanList(walker);
}

void AviFileImpl::ScanList(RiffWalker& walker) {
    RiffEntry e;
    while (walker.Next(e)) {
        if (!e.Fits()) return;  // the chunk runs past the end: cut off here
        const uint32_t id = e.id, size = e.size;
        if (id == kFourCCList) {
            if (e.typed && e.type == kFccRec && walker.Depth() < kMaxListDepth) {
                RiffWalker rec = walker.Inside(e);
                ScanList(rec);
            }
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
                AddEntry(st, e.DataPos(), size, flags);
            } else if (st < 0 && !IsIndexChunk(id) && id != kFccJunk) {
                // Not a chunk id: the rest of the list is not trustworthy.
                for (int i = 0; i < 4; ++i) {
                    char c = char((id >> (8 * i)) & 0xFF);
                    if (c < 0x20 || c > 0x7E) return;
                }
            }
        }
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
        // (Empty chunks of audio were left out as they were found: AddEntry.)
        if (ss) {
            s.cumBytes.clear();
            s.cumBytes.push_back(0);
            for (size_t i = 0; i < s.index.size(); ++i)
                s.cumBytes.push_back(s.cumBytes.back() + s.index[i].size);
            s.samples = s.cumBytes.back() / ss;
        } else {
            s.samples = s.index.size();
            for (size_t i = 0; i < s.index.size(); ++i)
                if (s.index[i].flags() & kAviIfKeyFrame) s.keys.push_back(uint32_t(i));
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

// ---------------------------------------------------------------- AviFile and AviStream: reading

AviResult AviFile::Open(const std::string& path, std::shared_ptr<AviFile>& out) {
    auto io = std::make_unique<FileIO>();
    // A small buffer: samples are read at scattered places, and larger ones bypass it.
    if (!io->Open(path, FileIO::Mode::Read, kReadBufferBytes)) return kAviErrFileOpen;
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
            if (e.size) {
                if (!io.Seek(e.offset())) return kAviErrFileRead;
                io.WillRead(RunEnd(s, size_t(rel)));
                if (!io.ReadExact(buffer, e.size)) return kAviErrFileRead;
            }
        }
        if (bytesRead) *bytesRead = int32_t(e.size);
        if (samplesRead) *samplesRead = 1;
        return kAviOk;
    }
    AviFileImpl::SampleRun run;
    if (AviResult r = f.PlanSamples(s, uint64_t(rel), count, buffer != nullptr, bufferBytes, run);
        r != kAviOk)
        return r;
    const uint64_t n = run.n, total = n * s.sampleSize;
    if (buffer) {
        uint8_t* dst = static_cast<uint8_t*>(buffer);
        uint64_t pos = run.byteStart, done = 0;
        size_t chunk = run.chunk;
        while (done < total && chunk < s.index.size()) {
            const IndexEntry& e = s.index[chunk];
            uint64_t inChunk = pos - s.cumBytes[chunk];
            uint64_t k = std::min<uint64_t>(e.size - inChunk, total - done);
            if (k) {
                if (!io.Seek(e.offset() + inChunk)) return kAviErrFileRead;
                io.WillRead(RunEnd(s, chunk));
                if (!io.ReadExact(dst + done, size_t(k))) return kAviErrFileRead;
            }
            done += k;
            pos += k;
            ++chunk;
        }
    }
    if (bytesRead) *bytesRead = int32_t(total);
    if (samplesRead) *samplesRead = int32_t(n);
    return kAviOk;
}

AviResult AviFileImpl::PlanSamples(const StreamData& s, uint64_t rel, int32_t count, bool buffer,
                                   int32_t bufferBytes, SampleRun& run) const {
    const uint64_t ss = s.sampleSize;
    const uint64_t left = s.samples - rel;
    run.byteStart = rel * ss;
    run.chunk = s.cumBytes.upper_bound(run.byteStart) - 1;
    uint64_t n;
    if (count == kAviStreamReadConvenient) {
        if (buffer) {
            n = uint64_t(bufferBytes) / ss;
            if (n == 0) return kAviErrBufferTooSmall;
        } else {
            uint64_t restOfChunk = s.cumBytes[run.chunk + 1] - run.byteStart;
            n = std::max<uint64_t>(1, restOfChunk / ss);
            n = std::min<uint64_t>(n, std::max<uint64_t>(1, (1 << 20) / ss));
        }
    } else {
        if (count < 0) return kAviErrBadParam;
        n = uint64_t(count);
        if (buffer && n * ss > uint64_t(bufferBytes)) return kAviErrBufferTooSmall;
    }
    n = std::min(n, left);
    run.n = std::min<uint64_t>(n, uint64_t(0x7FFFFFFF) / ss);
    return kAviOk;
}

ByteIO::Copied AviFileImpl::CopySampleBytes(const StreamData& s, const SampleRun& run, uint64_t bytes,
                                            ByteIO& out) const {
    uint64_t pos = run.byteStart, done = 0;
    for (size_t chunk = run.chunk; done < bytes && chunk < s.index.size(); ++chunk) {
        const IndexEntry& e = s.index[chunk];
        const uint64_t inChunk = pos - s.cumBytes[chunk];
        const uint64_t k = std::min<uint64_t>(e.size - inChunk, bytes - done);
        if (k) {
            if (const ByteIO::Copied c = out.CopyRange(*io, e.offset() + inChunk, k); c != ByteIO::Copied::Ok)
                return c;
        }
        done += k;
        pos += k;
    }
    return done == bytes ? ByteIO::Copied::Ok : ByteIO::Copied::ReadFailed;
}

bool AviFileImpl::CopiesWell(const StreamData& s, const SampleRun& run, uint64_t bytes) const {
    // Chunks from this size on (on average) are copied one by one.
    constexpr uint64_t kCopyPieceMin = 2048;
    if (bytes == 0 || !io->File()) return false;
    const size_t last = s.cumBytes.upper_bound(run.byteStart + bytes - 1) - 1;
    return bytes / (last - run.chunk + 1) >= kCopyPieceMin;
}

AviResult AviStream::PlanCopy(int32_t start, int32_t bufferBytes, int32_t* bytes, int32_t* samples) const {
    const AviFileImpl& f = *file_->impl_;
    const StreamData& s = f.streams[size_t(index_)];
    if (bytes) *bytes = 0;
    if (samples) *samples = 0;
    if (f.writing || s.sampleSize == 0 || !f.io->File()) return kAviErrUnsupported;
    const int64_t rel = int64_t(start) - int64_t(s.info.dwStart);
    if (rel < 0 || bufferBytes < 0) return kAviErrUnsupported;  // Read tells what is wrong
    if (uint64_t(rel) >= s.samples) return kAviOk;
    AviFileImpl::SampleRun run;
    if (f.PlanSamples(s, uint64_t(rel), kAviStreamReadConvenient, true, bufferBytes, run) != kAviOk)
        return kAviErrUnsupported;
    const uint64_t total = run.n * s.sampleSize;
    if (!f.CopiesWell(s, run, total)) return kAviErrUnsupported;
    if (bytes) *bytes = int32_t(total);
    if (samples) *samples = int32_t(run.n);
    return kAviOk;
}

ByteIO::Copied AviStream::CopyTo(int32_t start, uint64_t bytes, ByteIO& out) const {
    const AviFileImpl& f = *file_->impl_;
    const StreamData& s = f.streams[size_t(index_)];
    const int64_t rel = int64_t(start) - int64_t(s.info.dwStart);
    if (f.writing || s.sampleSize == 0 || rel < 0) return ByteIO::Copied::ReadFailed;
    if (bytes == 0) return ByteIO::Copied::Ok;
    const uint64_t byteStart = uint64_t(rel) * s.sampleSize;
    if (byteStart >= s.cumBytes.back() || bytes > s.cumBytes.back() - byteStart)
        return ByteIO::Copied::ReadFailed;
    AviFileImpl::SampleRun run;
    run.byteStart = byteStart;
    run.chunk = s.cumBytes.upper_bound(byteStart) - 1;
    return f.CopySampleBytes(s, run, bytes, out);
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
        const size_t k = s.keys.lower_bound(uint64_t(rel));
        return k == s.keys.size() ? -1 : int32_t(s.keys[k] + s.info.dwStart);
    }
    if (rel < 0) return -1;
    if (rel > last) rel = last;
    const size_t k = s.keys.upper_bound(uint64_t(rel));
    if (k == 0) return -1;
    return int32_t(s.keys[k - 1] + s.info.dwStart);
}

bool AviStream::IsKeyFrame(int32_t pos) const {
    return FindSample(pos, kFindKey | kFindPrev) == pos;
}

}  // namespace vt
