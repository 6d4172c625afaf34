// The WAV connection and the WAV section extraction: audio data copied
// unchanged from CDecWAV readers into a CWaveFileACM file.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "core/ErrorCodes.h"
#include "core/Strings.h"
#include "core/TimeFields.h"
#include "media/avi/DecMovie.h"
#include "media/avi/EncAVI.h"
#include "media/avi/MemBuff.h"
#include "media/avi/WaveFileACM.h"
#include "pages/avi/AviOperations.h"
#include "platform/AudioFormat.h"
#include "platform/ByteIO.h"
#include "platform/WavWriter.h"

namespace vt {

namespace {

// The copy's block: read straight into it and written straight from it.
constexpr int kCopyBlockBytes = 1 << 20;
// The steps progress is reported in (and a stop takes effect after).
constexpr int kLinkStepBytes = 48000;
constexpr int kExtractStepBytes = 400000;

// Bytes a sample of the reader's audio stream: what one sample reads as
// (bytes of MPEG audio in a WAV file, whose block align is no sample size);
// the block align for audio counted in chunks, where it only bounds a read.
uint32_t SampleBytes(CDecWAV& reader) {
    const WaveFormatEx* fmt = reader.GetAudioFormat();
    const auto& stream = reader.GetAudioStream();
    AviStreamInfo si;
    if (!stream || stream->Info(si) != kAviOk) return fmt ? fmt->nBlockAlign : 0;
    if (si.dwSampleSize == 0) return fmt ? fmt->nBlockAlign : 0;
    int32_t bytes = 0;
    if (stream->Read(stream->Start(), 1, nullptr, 0, &bytes, nullptr) == kAviOk && bytes > 0)
        return uint32_t(bytes);
    return fmt ? fmt->nBlockAlign : 0;
}

// Moves [start, end) of MPEG audio or AC-3 onto whole frames (see
// AlignToAudioFrames); an end past the stream becomes its end.
void AlignWavRange(CDecWAV& reader, uint32_t& start, uint32_t& end) {
    const auto& stream = reader.GetAudioStream();
    if (!stream || start > 0x7FFFFFFFu) return;
    const int64_t streamEnd = int64_t(stream->Start()) + stream->Length();
    int first = int(start), last = int(std::min<int64_t>(end, streamEnd));
    if (first >= last) return;
    AlignToAudioFrames(*stream, first, last);
    start = uint32_t(first);
    end = uint32_t(last);
}

// What CopyWavData copies of the reader's samples [start, end): the samples
// (whole samples of a sample-size stream up to its end; chunks of chunked
// audio up to the first empty one, where the copy stops) and their bytes.
// From the index alone: nothing is read.
struct RunSize {
    uint64_t samples = 0;
    uint64_t bytes = 0;
};
RunSize RangeSize(CDecWAV& reader, uint32_t start, uint32_t end) {
    RunSize size;
    const auto& stream = reader.GetAudioStream();
    AviStreamInfo si;
    if (!stream || stream->Info(si) != kAviOk) return size;
    const int64_t first = std::max<int64_t>(start, stream->Start());
    const int64_t last = std::min<int64_t>(end, int64_t(stream->Start()) + stream->Length());
    if (first >= last) return size;
    if (si.dwSampleSize != 0) {
        int32_t bytes = 0;
        if (stream->Read(int32_t(first), 1, nullptr, 0, &bytes, nullptr) != kAviOk || bytes < 1) return size;
        size.samples = uint64_t(last - first);
        size.bytes = size.samples * uint64_t(bytes);
        return size;
    }
    for (int64_t pos = first; pos < last; ++pos) {
        int32_t bytes = 0;
        if (stream->Read(int32_t(pos), 1, nullptr, 0, &bytes, nullptr) != kAviOk || bytes < 1) break;
        ++size.samples;
        size.bytes += uint64_t(bytes);
    }
    return size;
}

// The samples of a file a join copies: all of its audio, on whole frames of
// MPEG audio (no cut-off frame in the middle of the output).
void JoinRange(CDecWAV& reader, uint32_t& start, uint32_t& end) {
    start = uint32_t(reader.GetAudioStart());
    end = start + uint32_t(reader.GetAudioLength());
    AlignWavRange(reader, start, end);
}

std::vector<uint8_t> FormatBytes(const WaveFormatEx* fmt) {
    if (!fmt) return {};
    const auto* p = reinterpret_cast<const uint8_t*>(fmt);
    return std::vector<uint8_t>(p, p + std::min<size_t>(size_t(fmt->cbSize) + 18, 256));
}

// Copies the reader's audio from its read position up to (not including)
// sample `end` into the writer, in steps of `stepBytes` (whole samples; one
// chunk of chunked audio). `progress` gets the read position before and after
// each step, and a stop asked for ends the copy after that step. The data
// itself moves in blocks of whole steps, about kCopyBlockBytes, read into the
// buffer and written from it: the steps decide what progress and a stop see,
// whatever the block. 0 when done or stopped, 6002 when a read fails, 901
// when a write fails.
template <class Progress>
int CopyWavData(CDecWAV& reader, CWaveFileACM& writer, uint32_t end, CMemBuffBase<unsigned char>& buffer,
                int stepBytes, OperationHost& host, Progress progress) {
    const uint32_t align = SampleBytes(reader);
    AviStreamInfo si;
    const bool chunked =
        !reader.GetAudioStream() || reader.GetAudioStream()->Info(si) != kAviOk || si.dwSampleSize == 0;
    // Samples of a step (0: chunks, or no sample size the step can hold).
    const uint64_t stepSamples = chunked || !align ? 0 : uint64_t(stepBytes) / align;
    if (stepSamples) {
        const uint64_t blockSamples =
            stepSamples * std::max<uint64_t>(1, uint64_t(kCopyBlockBytes) / (stepSamples * align));
        if (!buffer.GetBuffer(int(blockSamples * align))) return kErrMemory;
        while (uint32_t(reader.GetAudioPos()) < end) {
            const uint32_t before = uint32_t(reader.GetAudioPos());
            const uint64_t want = std::min<uint64_t>(blockSamples, end - before);
            int samples = 0, bytes = int(want * align);
            if (reader.ReadAudio(&samples, buffer.GetData(), &bytes)) return kErrWavRead;
            if (bytes < 1 || samples < 1) return 0;  // the source has no more data
            const uint64_t sampleBytes = uint64_t(bytes) / uint64_t(samples);
            for (uint64_t done = 0; done < uint64_t(samples);) {
                const uint64_t from = done;
                done = std::min<uint64_t>(done + stepSamples, uint64_t(samples));
                progress(before + uint32_t(from), before + uint32_t(done));
                if (host.StopRequested()) {
                    if (writer.WriteRaw(buffer.GetData(), int(done * sampleBytes)) < 1) return kErrAudioWrite;
                    return 0;
                }
            }
            if (writer.WriteRaw(buffer.GetData(), bytes) < 1) return kErrAudioWrite;
        }
        return 0;
    }
    if (!buffer.GetBuffer(stepBytes)) return kErrMemory;
    while (uint32_t(reader.GetAudioPos()) < end) {
        const uint32_t before = uint32_t(reader.GetAudioPos());
        int64_t capacity = stepBytes;
        if (align) capacity = std::min<int64_t>(capacity, int64_t(end - before) * align);
        if (chunked) {
            // One chunk is one sample: the buffer must hold the whole chunk.
            int32_t need = 0, samples = 0;
            if (reader.GetAudioStream() &&
                reader.GetAudioStream()->Read(int32_t(before), kAviStreamReadConvenient, nullptr, 0, &need,
                                              &samples) == kAviOk &&
                need > capacity) {
                if (!buffer.GetBuffer(need)) return kErrMemory;
                capacity = need;
            }
        }
        int got = 0, bytes = int(std::max<int64_t>(capacity, 1));
        if (reader.ReadAudio(&got, buffer.GetData(), &bytes)) return kErrWavRead;
        if (bytes < 1) return 0;  // the source has no more data
        if (writer.WriteRaw(buffer.GetData(), bytes) < 1) return kErrAudioWrite;
        progress(before, uint32_t(reader.GetAudioPos()));
        if (host.StopRequested()) return 0;
    }
    return 0;
}

// Completes the file; a failure to do so is a write failure unless another
// failure came first. After any write failure the header is made to match
// the data on disk. A write refused at the size limit gets its reason as the
// result's detail (`detail` goes before it), as nobody else knows it.
OpResult CloseWav(CWaveFileACM& writer, int result, const std::string& path,
                  const std::vector<uint8_t>& format, const std::string& detail,
                  const WavWriteOptions& options) {
    const bool atLimit = result == kErrAudioWrite && writer.LimitReached();
    writer.Close();
    if (!writer.LastCloseOk() || result == kErrAudioWrite) {
        WavWriter::RepairSizes(path, format, options.riffBytes);
        if (result == 0) result = kErrAudioWrite;
    }
    if (atLimit) return {result, detail.empty() ? WavLimitText() : detail + "\n" + WavLimitText()};
    return result;
}

// Why an audio format cannot be written to a WAV file, in plain words, after
// the file it comes from.
std::string FormatRefusedText(const std::string& file, const WaveFormatEx* fmt) {
    char tag[64];
    if (fmt) {
        const std::vector<uint8_t> bytes = FormatBytes(fmt);
        const uint16_t t = EffectiveFormatTag(bytes.data(), bytes.size());
        std::snprintf(tag, sizeof tag, "0x%04X %s", unsigned(t ? t : fmt->wFormatTag),
                      WaveFormatTagName(t ? t : fmt->wFormatTag));
    } else {
        std::snprintf(tag, sizeof tag, "-");
    }
    return file + "\n" +
           SelectByLanguage(
               std::string("この音声形式(") + tag +
                   ")はWAVファイルにそのまま書き込めません。書き込めるのはPCM、浮動小数点、A-law、"
                   "μ-law、ADPCM、GSM、MPEGオーディオです。",
               std::string("This audio format (") + tag +
                   ") cannot be copied into a WAV file. The WAV pages copy PCM, float, A-law, "
                   "mu-law, ADPCM, GSM and MPEG audio.");
}

// The output cannot be made: a format we cannot copy gets its reason as the
// detail (the caller's code goes with it); a file that cannot be created is
// left to the caller's code alone.
OpResult RefuseOutput(const std::string& file, const WaveFormatEx* fmt, int code) {
    const std::vector<uint8_t> bytes = FormatBytes(fmt);
    if (!fmt || !IsKnownAudioFormat(bytes.data(), bytes.size())) return {code, FormatRefusedText(file, fmt)};
    return code;
}

// The fields of a sample count, L x scale / rate seconds, rounded up to the
// next millisecond: the range's end then covers the last samples, which a
// truncated end would leave out of an extraction of the whole range.
TimeFields SamplesToTime(uint32_t samples, uint32_t rate, uint32_t scale) {
    TimeFields t;
    if (rate == 0) return t;
    const uint64_t num = uint64_t(samples) * scale * 1000;
    const uint64_t ms = num / rate + (num % rate ? 1 : 0);
    return FromMilliseconds(int64_t(ms));
}

// The samples a second of the reader's audio stream, as rate / scale: the
// stream header's, which count what the reader counts (blocks of PCM and
// other fixed-size samples, bytes of MPEG audio in a WAV file, chunks of
// frame-based audio in an AVI file). For a WAV file they are
// nAvgBytesPerSec / nBlockAlign. Without them, the format's.
void StreamRate(CDecWAV& reader, uint32_t& rate, uint32_t& scale) {
    const WaveFormatEx* fmt = reader.GetAudioFormat();
    rate = fmt ? fmt->nAvgBytesPerSec : 0;
    scale = fmt ? fmt->nBlockAlign : 0;
    AviStreamInfo si;
    if (reader.GetAudioStream() && reader.GetAudioStream()->Info(si) == kAviOk && si.dwRate && si.dwScale) {
        rate = si.dwRate;
        scale = si.dwScale;
    }
}

// The samples [start, end) of an extraction of `range`, on whole frames of
// MPEG audio.
void SectionSamples(CDecWAV& reader, const SectionRange& range, uint32_t& start, uint32_t& end) {
    uint32_t rate = 0, scale = 0;
    StreamRate(reader, rate, scale);
    end = WavTimeToSample(range.end, rate, scale);
    start = WavTimeToSample(range.start, rate, scale);
    AlignWavRange(reader, start, end);
}

}  // namespace

uint32_t WavTimeToSample(const TimeFields& t, uint32_t avgBytesPerSec, uint32_t blockAlign) {
    if (blockAlign == 0) return 0;
    const double s = ToSeconds(t) * double(avgBytesPerSec) / double(blockAlign);
    if (!std::isfinite(s) || s <= 0) return 0;
    if (s >= 4294967295.0) return 0xFFFFFFFFu;
    return uint32_t(s);
}

std::string WavLimitText() {
    return SelectByLanguage(
        "WAVファイルの上限サイズ(4GB)に達したため、そこで書き込みを終えました。",
        "The output reached the 4 GiB size limit of a WAV file; it holds the audio up to that point.");
}

OpResult WavConnection(const std::vector<std::string>& files, const std::string& output, OperationHost& host,
                       const WavWriteOptions& options) {
    if (files.empty()) return 0;
    auto reader = std::make_unique<CDecWAV>();
    reader->SetOpenPump([&host] { host.PumpMessages(); });
    // Every file must open; their data sizes together tell whether the
    // output passes the RIFF limit.
    uint64_t dataBytes = 0;
    for (const std::string& f : files) {
        int r = reader->Open(f);
        if (r == 0) {
            uint32_t start = 0, end = 0;
            JoinRange(*reader, start, end);
            dataBytes += RangeSize(*reader, start, end).bytes;
        }
        reader->Close();
        if (r) return r;
    }
    int result = reader->Open(files[0]);
    if (result) return result;

    CWaveFileACM writer;
    writer.SetMaxFileBytes(options.maxFileBytes);
    writer.SetRiffBytes(options.riffBytes);
    writer.SetExpectedDataBytes(dataBytes);
    const std::vector<uint8_t> format = FormatBytes(reader->GetAudioFormat());
    writer.SetFileFormat(reader->GetAudioFormat());
    if (!reader->GetAudioFormat() || !writer.OpenWrite(output))
        return RefuseOutput(files[0], reader->GetAudioFormat(), kErrFileOpen);

    const size_t n = files.size();
    CMemBuffBase<unsigned char> buffer;
    for (size_t i = 0; result == 0 && i < n; ++i) {
        // One file open at a time, whatever the list's length.
        if (i > 0 && (result = reader->Open(files[i])) != 0) break;
        uint32_t start = 0, end = 0;
        JoinRange(*reader, start, end);
        reader->SetAudioPos(int(start));
        uint32_t done = start;
        result = CopyWavData(*reader, writer, end, buffer, kLinkStepBytes, host,
                             [&](uint32_t before, uint32_t after) {
                                 done += after - before;
                                 const double ratio = end ? double(done) / double(end) : 1.0;
                                 host.ReportProgress((ratio + double(i)) * 100.0 / double(n));
                             });
        reader->Close();
        if (host.StopRequested()) break;
    }
    reader->Close();
    return CloseWav(writer, result, output, format, {}, options);
}

int ReadWavRange(const std::string& input, SectionRange& range) {
    range = {};
    CDecWAV reader;
    int r = reader.Open(input);
    if (r) return r;
    uint32_t rate = 0, scale = 0;
    StreamRate(reader, rate, scale);
    range.end = SamplesToTime(uint32_t(reader.GetAudioLength()), rate, scale);
    return 0;
}

OpResult WavExtraction(const std::string& input, const std::string& output, const SectionRange& range,
                       OperationHost& host, const WavWriteOptions& options) {
    CDecWAV reader;
    reader.SetOpenPump([&host] { host.PumpMessages(); });
    int result = reader.Open(input);
    if (result) return result;
    const WaveFormatEx* fmt = reader.GetAudioFormat();
    uint32_t start = 0, end = 0;
    SectionSamples(reader, range, start, end);
    reader.SetAudioPos(int(start));

    CWaveFileACM writer;
    writer.SetMaxFileBytes(options.maxFileBytes);
    writer.SetRiffBytes(options.riffBytes);
    writer.SetExpectedDataBytes(RangeSize(reader, start, end).bytes);
    writer.SetFileFormat(fmt);
    // 1 has no text of its own ("Other Errors"): the reason goes with it.
    if (!fmt || !writer.OpenWrite(output)) return RefuseOutput(input, fmt, 1);

    CMemBuffBase<unsigned char> buffer;
    result =
        CopyWavData(reader, writer, end, buffer, kExtractStepBytes, host, [&](uint32_t before, uint32_t) {
            host.ReportProgress(double(before - start) * 100.0 / double(end - start));
        });
    const std::vector<uint8_t> format = FormatBytes(fmt);
    reader.Close();
    // The page names the input in its messages.
    return CloseWav(writer, result, output, format, input, options);
}

int PlanWavExtraction(const std::string& input, const SectionRange& range, WavSectionPlan& plan,
                      const WavWriteOptions& options) {
    plan = {};
    CDecWAV reader;
    const int r = reader.Open(input);
    if (r) return r;
    SectionSamples(reader, range, plan.start, plan.end);
    const RunSize size = RangeSize(reader, plan.start, plan.end);
    plan.blocks = size.samples;
    plan.dataBytes = size.bytes;
    const WaveFormatEx* fmt = reader.GetAudioFormat();
    const std::vector<uint8_t> format = FormatBytes(fmt);
    const uint16_t tag = EffectiveFormatTag(format.data(), format.size());
    plan.blocksOfFormat = fmt && fmt->nBlockAlign && size.bytes == size.samples * fmt->nBlockAlign &&
                          tag != kWaveFormatMpeg && tag != kWaveFormatMpegLayer3;
    CWaveFileACM writer;
    writer.SetMaxFileBytes(options.maxFileBytes);
    writer.SetRiffBytes(options.riffBytes);
    writer.SetExpectedDataBytes(size.bytes);
    writer.SetFileFormat(reader.GetAudioFormat());
    plan.fileBytes = writer.FileBytesFor(size.bytes);
    return 0;
}

}  // namespace vt
