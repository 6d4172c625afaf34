#include "platform/WavWriter.h"

#include <algorithm>

#include "platform/AudioFormat.h"

namespace vt {

namespace {
constexpr uint32_t kFccWave = MakeFourCC('W', 'A', 'V', 'E');
constexpr uint32_t kFccFmt = MakeFourCC('f', 'm', 't', ' ');
constexpr uint32_t kFccFact = MakeFourCC('f', 'a', 'c', 't');
constexpr uint32_t kFccData = MakeFourCC('d', 'a', 't', 'a');
constexpr uint32_t kFccJunk = MakeFourCC('J', 'U', 'N', 'K');
constexpr uint32_t kFccDs64 = MakeFourCC('d', 's', '6', '4');
constexpr uint32_t kFccRf64 = MakeFourCC('R', 'F', '6', '4');
// 'ds64' without its table: RIFF size, data size and sample count (64-bit
// each) and the table's length.
constexpr uint32_t kDs64Bytes = 28;
// Room kept below the size limit for the header and what follows the data.
constexpr uint64_t kHeaderRoom = 256;
// The file's own buffer: data blocks from this size on are written without
// being copied into it.
constexpr size_t kWriteBufferBytes = 64 << 10;

// Whether an output of `dataBytes` is laid out for RF64: one that may pass
// the RIFF limit (the limit test of Append, with the same room).
bool NeedsDs64(const WavWriter::Options& o) {
    return o.expectedDataBytes > 0 && o.expectedDataBytes + kHeaderRoom > o.riffBytes;
}

// Writes the RF64 form over a finished file's header: 'RF64', 'ds64' at
// offset 12 (over the 'JUNK' room), all ones in the 32-bit RIFF and data
// sizes. `dataSizePos` is the data chunk's size field.
bool WriteRf64Sizes(ByteIO& io, uint64_t fileBytes, uint64_t dataSizePos, uint64_t dataBytes,
                    uint64_t frames) {
    return io.Seek(0) && io.WriteU32LE(kFccRf64) && io.WriteU32LE(0xFFFFFFFFu) && io.Seek(12) &&
           io.WriteU32LE(kFccDs64) && io.WriteU32LE(kDs64Bytes) && io.WriteU64LE(fileBytes - 8) &&
           io.WriteU64LE(dataBytes) && io.WriteU64LE(frames) && io.WriteU32LE(0) && io.Seek(dataSizePos) &&
           io.WriteU32LE(0xFFFFFFFFu);
}

bool IsPcm(std::span<const uint8_t> format) {
    return WaveFormatFromBytes(format.data(), format.size()).wFormatTag == kWaveFormatPcm;
}
}  // namespace

WavWriter::~WavWriter() {
    if (file_) file_->Close();
}

WavWriter::Created WavWriter::Create(const std::string& path, std::span<const uint8_t> format,
                                     const Options& options) {
    if (file_) return Created::OpenFailed;
    options_ = options;
    format_.assign(format.begin(), format.end());
    dataBytes_ = 0;
    hasFact_ = !IsPcm(format) || options.factForPcm;
    reserveDs64_ = NeedsDs64(options);
    file_ = std::make_unique<FileIO>();
    if (!file_->Open(path, FileIO::Mode::Create, kWriteBufferBytes)) {
        file_.reset();
        return Created::OpenFailed;
    }
    riff_ = std::make_unique<RiffIO>(*file_);
    if (!WriteHeader()) {
        file_->Close();
        riff_.reset();
        file_.reset();
        return Created::HeaderFailed;
    }
    return Created::Ok;
}

bool WavWriter::WriteHeader() {
    riffChunk_ = {};
    riffChunk_.fccType = kFccWave;
    junkChunk_ = {};
    junkChunk_.ckid = kFccJunk;
    junkChunk_.cksize = kDs64Bytes;
    fmtChunk_ = {};
    fmtChunk_.ckid = kFccFmt;
    fmtChunk_.cksize = uint32_t(format_.size());
    factChunk_ = {};
    factChunk_.ckid = kFccFact;
    factChunk_.cksize = 4;
    dataChunk_ = {};
    dataChunk_.ckid = kFccData;
    if (!riff_->CreateChunk(riffChunk_, RiffIO::kCreateRiff)) return false;
    // The room for 'ds64', which must come first.
    if (reserveDs64_ &&
        (!riff_->CreateChunk(junkChunk_) || !file_->WriteZeros(kDs64Bytes) || !riff_->Ascend(junkChunk_)))
        return false;
    if (!riff_->CreateChunk(fmtChunk_) || !file_->Write(format_.data(), format_.size()) ||
        !riff_->Ascend(fmtChunk_))
        return false;
    if (hasFact_) {
        if (!riff_->CreateChunk(factChunk_)) return false;
        factPos_ = file_->Tell();
        if (!file_->WriteU32LE(0) || !riff_->Ascend(factChunk_)) return false;
    }
    return riff_->CreateChunk(dataChunk_) && file_->Flush();
}

WavWriter::Appended WavWriter::Append(const void* data, size_t n) {
    if (!file_) return Appended::Failed;
    // A RIFF file ends at 4 GiB: refuse what would not fit rather than wrap its sizes.
    bool over = false;
    const uint64_t fit = Fitting(n, over);
    if (over) {
        if (fit > 0 && file_->Write(data, size_t(fit))) dataBytes_ += fit;
        return Appended::Limit;
    }
    if (!file_->Write(data, n)) return Appended::Failed;
    dataBytes_ += n;
    return Appended::Ok;
}

WavWriter::Appended WavWriter::AppendCopy(uint64_t n, const Copier& copy) {
    if (!file_) return Appended::Failed;
    // The same limit as Append's.
    bool over = false;
    const uint64_t take = Fitting(n, over);
    if (take > 0) {
        const uint64_t at = file_->Tell();
        const ByteIO::Copied c = copy(*file_, take);
        if (c != ByteIO::Copied::Ok) {
            // Part of it may have gone in: the file ends where it did.
            file_->Seek(at);
            file_->Truncate(at);
            if (c == ByteIO::Copied::ReadFailed) return Appended::ReadFailed;
            return over ? Appended::Limit : Appended::Failed;
        }
        if (file_->Failed()) return over ? Appended::Limit : Appended::Failed;
        dataBytes_ += take;
    }
    return over ? Appended::Limit : Appended::Ok;
}

uint64_t WavWriter::Fitting(uint64_t n, bool& over) const {
    const uint64_t limit = Limit();
    over = dataBytes_ + n + kHeaderRoom > limit;
    if (!over) return n;
    const uint64_t used = dataBytes_ + kHeaderRoom;
    uint64_t fit = limit > used ? std::min<uint64_t>(limit - used, n) : 0;
    const uint16_t align = WaveFormatFromBytes(format_.data(), format_.size()).nBlockAlign;
    if (align > 1) fit -= fit % align;
    return fit;
}

uint64_t WavWriter::Limit() const {
    return reserveDs64_ ? options_.maxFileBytes : std::min(options_.maxFileBytes, options_.riffBytes);
}

bool WavWriter::FinishSizes(uint32_t fallbackFrames) {
    bool ok = true;
    const uint64_t fileEnd = file_->Tell() + (dataBytes_ & 1);
    if (reserveDs64_ && fileEnd > options_.riffBytes) {
        // The RF64 form: the 32-bit sizes are all ones, the real ones go into 'ds64'.
        ok = ((dataBytes_ & 1) == 0 || file_->WriteU8(0)) &&
             WriteRf64Sizes(*file_, fileEnd, dataChunk_.dwDataOffset - 4, dataBytes_,
                            Frames(format_, dataBytes_, fallbackFrames)) &&
             file_->Seek(fileEnd);
    } else {
        ok = riff_->Ascend(dataChunk_);
        ok = riff_->Ascend(riffChunk_) && ok;
    }
    if (hasFact_) {
        const uint64_t end = file_->Tell();
        ok = file_->Seek(factPos_) && file_->WriteU32LE(FactFrames(format_, dataBytes_, fallbackFrames)) &&
             file_->Seek(end) && ok;
    }
    return ok;
}

bool WavWriter::Finish(uint32_t fallbackFrames) {
    if (!file_) return false;
    bool ok = FinishSizes(fallbackFrames);
    ok = file_->Close() && ok;
    riff_.reset();
    file_.reset();
    return ok;
}

uint64_t WavWriter::FileBytes(std::span<const uint8_t> format, uint64_t dataBytes, const Options& options) {
    const uint64_t fmt = 8 + format.size() + (format.size() & 1);
    const bool fact = !IsPcm(format) || options.factForPcm;
    return 12 + (NeedsDs64(options) ? 8 + kDs64Bytes : 0) + fmt + (fact ? 12 : 0) + 8 + dataBytes +
           (dataBytes & 1);
}

uint32_t WavWriter::FactFrames(std::span<const uint8_t> format, uint64_t dataBytes, uint32_t fallback) {
    return uint32_t(std::min<uint64_t>(Frames(format, dataBytes, fallback), 0xFFFFFFFFu));
}

uint64_t WavWriter::Frames(std::span<const uint8_t> format, uint64_t dataBytes, uint64_t fallback) {
    const WaveFormatEx w = WaveFormatFromBytes(format.data(), format.size());
    uint64_t frames = fallback;
    if (w.wFormatTag == kWaveFormatPcm) {
        frames = w.nBlockAlign ? dataBytes / w.nBlockAlign : 0;
    } else {
        WaveFormatEx pcm;
        uint64_t pcmBytes = 0;
        if (SuggestPcmFormat(format.data(), format.size(), pcm) &&
            PcmBytesForFileBytes(format.data(), format.size(), pcm, dataBytes, pcmBytes))
            frames = pcmBytes / pcm.nBlockAlign;
    }
    return frames;
}

void WavWriter::RepairSizes(const std::string& path, std::span<const uint8_t> format, uint64_t riffBytes) {
    if (format.size() < sizeof(WaveFormatEx)) return;
    const WaveFormatEx w = WaveFormatFromBytes(format.data(), format.size());
    FileIO f;
    if (!f.Open(path, FileIO::Mode::ReadWrite)) return;
    const uint64_t size = f.Size();
    uint32_t riff = 0, wave = 0;
    if (size < 12 || !f.ReadU32LE(riff) || !f.Seek(8) || !f.ReadU32LE(wave) ||
        (riff != kFourCCRiff && riff != kFccRf64) || wave != kFccWave)
        return;
    uint64_t dataPos = 0, factPos = 0;
    bool room = false;  // the 'JUNK' room for 'ds64' (or 'ds64' itself) opens the file
    RiffWalker walker(f, 12, size);
    RiffEntry e;
    while (walker.Next(e)) {
        if (e.pos == 12 && (e.id == kFccJunk || e.id == kFccDs64) && e.size == kDs64Bytes) room = true;
        if (e.id == kFccData) {
            dataPos = e.DataPos();
            break;
        }
        if (e.id == kFccFact && e.size >= 4) factPos = e.DataPos();
    }
    if (!dataPos || dataPos > size) return;
    uint64_t data = size - dataPos;
    if (w.nBlockAlign) data -= data % w.nBlockAlign;
    const bool rf64 = room && dataPos + data > riffBytes;
    if (!rf64) data = std::min<uint64_t>(data, 0xFFFFFFFFull - dataPos);
    f.Truncate(dataPos + data);
    if (rf64) {
        WriteRf64Sizes(f, dataPos + data, dataPos - 4, data, Frames(format, data));
    } else {
        f.Seek(0);
        f.WriteU32LE(kFourCCRiff);
        f.WriteU32LE(uint32_t(dataPos + data - 8));
        if (room) {
            f.Seek(12);
            f.WriteU32LE(kFccJunk);
        }
        f.Seek(dataPos - 4);
        f.WriteU32LE(uint32_t(data));
    }
    if (factPos) {
        f.Seek(factPos);
        f.WriteU32LE(FactFrames(format, data));
    }
    f.Close();
}

}  // namespace vt
