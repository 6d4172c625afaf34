#include "media/avi/WaveFileACM.h"

#include <algorithm>
#include <cstring>

#include "platform/AudioFormat.h"

namespace vt {

namespace {
constexpr uint32_t kFccWave = MakeFourCC('W', 'A', 'V', 'E');
}  // namespace

// ---------------------------------------------------------------- CMMio

CMMio::CMMio() {
    riffChunk_.ckid = kFourCCRiff;
    riffChunk_.fccType = kFccWave;
    fmtChunk_.ckid = MakeFourCC('f', 'm', 't', ' ');
    dataChunk_.ckid = MakeFourCC('d', 'a', 't', 'a');
    factChunk_.ckid = MakeFourCC('f', 'a', 'c', 't');
    factChunk_.cksize = 4;
}

CMMio::~CMMio() {
    CloseFile();
}

bool CMMio::CreateRiff(const std::string& path, uint32_t formatSize) {
    path_ = path;
    file_ = std::make_unique<FileIO>();
    if (!file_->Open(path, FileIO::Mode::Create)) {
        file_.reset();
        return false;
    }
    riff_ = std::make_unique<RiffIO>(*file_);
    riffChunk_.cksize = 0;
    fmtChunk_.cksize = formatSize;
    if (!riff_->CreateChunk(riffChunk_, RiffIO::kCreateRiff) || !riff_->CreateChunk(fmtChunk_)) {
        CloseFile();
        return false;
    }
    return true;
}

bool CMMio::Write(const void* data, size_t n) {
    return file_ && file_->Write(data, n);
}

bool CMMio::BeginData(uint32_t value) {
    if (!riff_) return false;
    factChunk_.cksize = 4;
    dataChunk_.cksize = 0;
    if (!riff_->Ascend(fmtChunk_) || !riff_->CreateChunk(factChunk_) || !file_->WriteU32LE(value) ||
        !riff_->Ascend(factChunk_) || !riff_->CreateChunk(dataChunk_))
        return false;
    return file_->Flush();
}

uint64_t CMMio::DataBytes() const {
    return file_ ? file_->Tell() - dataChunk_.dwDataOffset : 0;
}

bool CMMio::Finish(uint32_t sampleCount) {
    if (!riff_) return false;
    bool ok = riff_->Ascend(dataChunk_) && riff_->Ascend(riffChunk_);
    // Back to the "fact" chunk for the final count.
    RiffChunk riff, fact;
    riff.fccType = kFccWave;
    fact.ckid = factChunk_.ckid;
    ok = ok && riff_->Seek(0) && riff_->Descend(riff, nullptr, RiffIO::kFindRiff) &&
         riff_->Descend(fact, &riff, RiffIO::kFindChunk) && fact.cksize >= 4 &&
         riff_->Seek(fact.dwDataOffset) && file_->WriteU32LE(sampleCount);
    return ok && file_->Flush();
}

bool CMMio::CloseFile() {
    bool ok = true;
    if (file_) ok = file_->Close();
    riff_.reset();
    file_.reset();
    return ok;
}

// ---------------------------------------------------------------- CWavACM

bool CWavACM::PrepareFormats() {
    bytesDone_ = 0;
    if (fileFormat_.empty()) return pcmFormat_.wFormatTag == kWaveFormatPcm;
    WaveFormatEx w = WaveFormatFromBytes(fileFormat_.data(), fileFormat_.size());
    if (w.wFormatTag == kWaveFormatPcm) {
        // Plain PCM is stored as it is; nothing to pair.
        std::memcpy(&pcmFormat_, fileFormat_.data(), sizeof pcmFormat_);
        fileFormat_.clear();
        return true;
    }
    pcmFormat_ = {};
    pcmFormat_.wFormatTag = kWaveFormatPcm;
    return SuggestPcmFormat(fileFormat_.data(), fileFormat_.size(), pcmFormat_);
}

bool CWavACM::OpenStreams() {
    WaveFormatEx w = WaveFormatFromBytes(fileFormat_.data(), fileFormat_.size());
    if (w.nBlockAlign == 0 || w.nBlockAlign > 12288) return false;
    uint32_t dst = 12288 - 12288 % w.nBlockAlign;
    uint64_t src = 0;
    // The pairing must be able to size a PCM buffer for a whole destination buffer.
    if (!PcmBytesForFileBytes(fileFormat_.data(), fileFormat_.size(), pcmFormat_, dst, src)) return false;
    // No format we know turns a byte into more than about ten bytes of PCM (GSM
    // 6.10: 65 into 640); a header promising far more (samples per block that
    // its blocks cannot hold, a wrong channel count) is refused, not allocated.
    if (src > uint64_t(dst) * 64) return false;
    mainHeader_.dst.assign(dst, 0);
    mainHeader_.src.assign(size_t(std::max<uint64_t>(src, 1)), 0);
    mainStream_ = true;
    return true;
}

uint32_t CWavACM::GetSampleCount() const {
    if (pcmFormat_.nBlockAlign == 0) return 0;
    uint64_t pcmBytes = uint64_t(bytesDone_);
    if (!fileFormat_.empty() && !PcmBytesForFileBytes(fileFormat_.data(), fileFormat_.size(), pcmFormat_,
                                                      uint64_t(bytesDone_), pcmBytes))
        return 0;
    return uint32_t(std::min<uint64_t>(pcmBytes / pcmFormat_.nBlockAlign, 0xFFFFFFFFu));
}

void CWavACM::Reset() {
    mainHeader_ = {};
    secondHeader_ = {};
    mainStream_ = secondStream_ = false;
    intermediateFormat_.clear();
    fileFormat_.clear();
    bytesDone_ = 0;
    pcmBytesIn_ = 0;
    dataLimit_ = -1;
}

// ---------------------------------------------------------------- CWaveFileACM

CWaveFileACM::~CWaveFileACM() {
    CWaveFileACM::Close();
}

int CWaveFileACM::OpenRead(const std::string&) {
    return 0;
}
int CWaveFileACM::Read(void*, int) {
    return 0;
}
int CWaveFileACM::Write(const void*, int) {
    return 0;
}

void CWaveFileACM::SetFileFormat(const WaveFormatEx* format) {
    fileFormat_.assign(256, 0);
    if (!format) return;
    size_t n = std::min<size_t>(size_t(format->cbSize) + 18, 256);
    std::memcpy(fileFormat_.data(), format, n);
}

int CWaveFileACM::OpenWrite(const std::string& path) {
    if (mmio_.IsOpen()) return 0;
    limitReached_ = false;
    mode_ = 1;
    if (!PrepareFormats()) {
        mode_ = 0;
        return 0;
    }
    uint32_t formatSize = 16;
    if (!fileFormat_.empty()) {
        WaveFormatEx w = WaveFormatFromBytes(fileFormat_.data(), fileFormat_.size());
        formatSize = uint32_t(std::min<size_t>(size_t(w.cbSize) + 18, fileFormat_.size()));
    }
    if (!mmio_.CreateRiff(path, formatSize)) {
        mode_ = 0;
        return 0;
    }
    bool ok = fileFormat_.empty() ? mmio_.Write(&pcmFormat_, 16)
                                  : mmio_.Write(fileFormat_.data(), formatSize) && OpenStreams();
    if (!ok || !mmio_.BeginData(uint32_t(bytesDone_))) {
        Close();
        return 0;
    }
    return 1;
}

int CWaveFileACM::WriteRaw(const void* data, int n) {
    if (!mmio_.IsOpen() || mode_ != 1 || n <= 0 || !data) return 0;
    // A RIFF file ends at 4 GiB: refuse what would not fit rather than wrap its sizes.
    const uint64_t limit = std::min<uint64_t>(maxFileBytes_, 0xFFFFFFFFull);
    if (mmio_.DataBytes() + uint64_t(n) + 256 > limit) {
        // What still fits goes in, in whole blocks of the format, so the file
        // holds the audio up to the limit; the write as a whole has failed.
        limitReached_ = true;
        const uint64_t used = mmio_.DataBytes() + 256;
        uint64_t fit = limit > used ? std::min<uint64_t>(limit - used, uint64_t(n)) : 0;
        const WaveFormatEx w =
            fileFormat_.empty() ? pcmFormat_ : WaveFormatFromBytes(fileFormat_.data(), fileFormat_.size());
        if (w.nBlockAlign > 1) fit -= fit % w.nBlockAlign;
        if (fit > 0 && mmio_.Write(data, size_t(fit))) bytesDone_ += int64_t(fit);
        return 0;
    }
    if (!mmio_.Write(data, size_t(n))) return 0;
    bytesDone_ += n;
    return n;
}

void CWaveFileACM::Close() {
    bool ok = true;
    if (mmio_.IsOpen() && mode_ == 1) ok = mmio_.Finish(GetSampleCount());
    if (mmio_.IsOpen()) ok = mmio_.CloseFile() && ok;
    lastCloseOk_ = ok;
    Reset();
    mode_ = 0;
}

}  // namespace vt
