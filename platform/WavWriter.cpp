#include "platform/WavWriter.h"

#include <algorithm>

#include "platform/AudioFormat.h"

namespace vt {

namespace {
constexpr uint32_t kFccWave = MakeFourCC('W', 'A', 'V', 'E');
constexpr uint32_t kFccFmt = MakeFourCC('f', 'm', 't', ' ');
constexpr uint32_t kFccFact = MakeFourCC('f', 'a', 'c', 't');
constexpr uint32_t kFccData = MakeFourCC('d', 'a', 't', 'a');
// Room kept below the size limit for the header and what follows the data.
constexpr uint64_t kHeaderRoom = 256;

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
    file_ = std::make_unique<FileIO>();
    if (!file_->Open(path, FileIO::Mode::Create)) {
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
    fmtChunk_ = {};
    fmtChunk_.ckid = kFccFmt;
    fmtChunk_.cksize = uint32_t(format_.size());
    factChunk_ = {};
    factChunk_.ckid = kFccFact;
    factChunk_.cksize = 4;
    dataChunk_ = {};
    dataChunk_.ckid = kFccData;
    if (!riff_->CreateChunk(riffChunk_, RiffIO::kCreateRiff) || !riff_->CreateChunk(fmtChunk_) ||
        !file_->Write(format_.data(), format_.size()) || !riff_->Ascend(fmtChunk_))
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
    const uint64_t limit = std::min<uint64_t>(options_.maxFileBytes, 0xFFFFFFFFull);
    if (dataBytes_ + uint64_t(n) + kHeaderRoom > limit) {
        const uint64_t used = dataBytes_ + kHeaderRoom;
        uint64_t fit = limit > used ? std::min<uint64_t>(limit - used, uint64_t(n)) : 0;
        const uint16_t align = WaveFormatFromBytes(format_.data(), format_.size()).nBlockAlign;
        if (align > 1) fit -= fit % align;
        if (fit > 0 && file_->Write(data, size_t(fit))) dataBytes_ += fit;
        return Appended::Limit;
    }
    if (!file_->Write(data, n)) return Appended::Failed;
    dataBytes_ += n;
    return Appended::Ok;
}

bool WavWriter::FinishSizes(uint32_t fallbackFrames) {
    bool ok = riff_->Ascend(dataChunk_);
    ok = riff_->Ascend(riffChunk_) && ok;
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

uint32_t WavWriter::FactFrames(std::span<const uint8_t> format, uint64_t dataBytes, uint32_t fallback) {
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
    return uint32_t(std::min<uint64_t>(frames, 0xFFFFFFFFu));
}

void WavWriter::RepairSizes(const std::string& path, std::span<const uint8_t> format) {
    if (format.size() < sizeof(WaveFormatEx)) return;
    const WaveFormatEx w = WaveFormatFromBytes(format.data(), format.size());
    FileIO f;
    if (!f.Open(path, FileIO::Mode::ReadWrite)) return;
    const uint64_t size = f.Size();
    uint32_t riff = 0, wave = 0;
    if (size < 12 || !f.ReadU32LE(riff) || !f.Seek(8) || !f.ReadU32LE(wave) || riff != kFourCCRiff ||
        wave != kFccWave)
        return;
    uint64_t dataPos = 0, factPos = 0;
    RiffWalker walker(f, 12, size);
    RiffEntry e;
    while (walker.Next(e)) {
        if (e.id == kFccData) {
            dataPos = e.DataPos();
            break;
        }
        if (e.id == kFccFact && e.size >= 4) factPos = e.DataPos();
    }
    if (!dataPos || dataPos > size) return;
    uint64_t data = size - dataPos;
    if (w.nBlockAlign) data -= data % w.nBlockAlign;
    data = std::min<uint64_t>(data, 0xFFFFFFFFull - dataPos);
    f.Truncate(dataPos + data);
    f.Seek(4);
    f.WriteU32LE(uint32_t(dataPos + data - 8));
    f.Seek(dataPos - 4);
    f.WriteU32LE(uint32_t(data));
    if (factPos) {
        f.Seek(factPos);
        f.WriteU32LE(FactFrames(format, data));
    }
    f.Close();
}

}  // namespace vt
