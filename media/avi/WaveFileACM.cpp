#include "media/avi/WaveFileACM.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/AudioFormat.h"
#include "platform/Bytes.h"

namespace vt {

namespace {

// The 16-byte PCM format record of a header (no cbSize).
std::vector<uint8_t> PcmFormatBytes(const WaveFormatEx& w) {
    ByteWriter out(16);
    out.U16LE(w.wFormatTag);
    out.U16LE(w.nChannels);
    out.U32LE(w.nSamplesPerSec);
    out.U32LE(w.nAvgBytesPerSec);
    out.U16LE(w.nBlockAlign);
    out.U16LE(w.wBitsPerSample);
    return out.Take();
}

}  // namespace

// ---------------------------------------------------------------- CWavACM

bool CWavACM::PrepareFormats() {
    bytesDone_ = 0;
    if (fileFormat_.empty()) return pcmFormat_.wFormatTag == kWaveFormatPcm;
    WaveFormatEx w = WaveFormatFromBytes(fileFormat_.data(), fileFormat_.size());
    if (w.wFormatTag == kWaveFormatPcm) {
        // Plain PCM is stored as it is; nothing to pair.
        pcmFormat_ = WaveFormatFromBytes(fileFormat_.data(), fileFormat_.size());
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
    if (wav_.IsOpen()) return 0;
    limitReached_ = false;
    mode_ = 1;
    // A format we cannot write is refused before any file is made.
    if (!PrepareFormats() || (!fileFormat_.empty() && !OpenStreams())) {
        Reset();
        mode_ = 0;
        return 0;
    }
    const WavWriter::Created created = wav_.Create(path, StoredFormat(), WriterOptions());
    if (created != WavWriter::Created::Ok) {
        Reset();
        mode_ = 0;
        if (created == WavWriter::Created::HeaderFailed) {
            // No header-only file is left behind to pass for an output.
            std::error_code ec;
            std::filesystem::remove(path, ec);
        }
        return 0;
    }
    return 1;
}

std::vector<uint8_t> CWaveFileACM::StoredFormat() const {
    if (fileFormat_.empty()) return PcmFormatBytes(pcmFormat_);
    const WaveFormatEx w = WaveFormatFromBytes(fileFormat_.data(), fileFormat_.size());
    if (w.wFormatTag == kWaveFormatPcm) return PcmFormatBytes(w);
    const size_t n = std::min<size_t>(size_t(w.cbSize) + 18, fileFormat_.size());
    return std::vector<uint8_t>(fileFormat_.begin(), fileFormat_.begin() + ptrdiff_t(n));
}

WavWriter::Options CWaveFileACM::WriterOptions() const {
    WavWriter::Options options;
    options.maxFileBytes = maxFileBytes_;
    options.riffBytes = riffBytes_;
    options.expectedDataBytes = expectedDataBytes_;
    options.factForPcm = true;
    return options;
}

uint64_t CWaveFileACM::FileBytesFor(uint64_t dataBytes) const {
    return WavWriter::FileBytes(StoredFormat(), dataBytes, WriterOptions());
}

int CWaveFileACM::WriteRaw(const void* data, int n) {
    if (!wav_.IsOpen() || mode_ != 1 || n <= 0 || !data) return 0;
    const uint64_t before = wav_.DataBytes();
    const WavWriter::Appended put = wav_.Append(data, size_t(n));
    bytesDone_ += int64_t(wav_.DataBytes() - before);
    if (put == WavWriter::Appended::Limit) limitReached_ = true;
    return put == WavWriter::Appended::Ok ? n : 0;
}

void CWaveFileACM::Close() {
    bool ok = true;
    if (wav_.IsOpen()) ok = wav_.Finish();
    lastCloseOk_ = ok;
    Reset();
    mode_ = 0;
}

}  // namespace vt
