// The stream save: whole streams into a new AVI file (interleaved) or WAV file.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/AudioFormat.h"
#include "platform/AudioFrames.h"
#include "platform/AviFile.h"
#include "platform/WavWriter.h"

namespace vt {

namespace {

constexpr int32_t kCopyBlock = 1 << 20;

bool EndsWithWav(const std::string& path) {
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return ext == ".wav";
}

struct Source {
    std::shared_ptr<AviStream> stream;
    AviStreamInfo info;
    std::vector<uint8_t> format;
    int32_t pos = 0;  // next sample to copy
    int32_t end = 0;
    std::shared_ptr<AviStream> out;
    // MPEG audio or AC-3 read as bytes and written one frame a chunk: the
    // format tag and the bytes read but not yet written.
    uint16_t frameTag = 0;
    std::vector<uint8_t> pending;
};

// The stream header of an audio stream as the output must carry it. A header
// that disagrees with the format block makes players misplace the audio:
// MPEG audio or AC-3 whose block align is not 1 (the frame-based way of
// storing it, as WAV files from many encoders do) is written one frame a
// chunk, with a sample size of 0, a scale of the samples per frame and the
// sample rate; other audio that counts samples of a fixed size gets the
// block align as its sample size.
AviStreamInfo OutputAudioInfo(Source& s) {
    AviStreamInfo info = s.info;
    const WaveFormatEx w = WaveFormatFromBytes(s.format.data(), s.format.size());
    const uint16_t tag = EffectiveFormatTag(s.format.data(), s.format.size());
    if (s.info.dwSampleSize == 0 || w.nBlockAlign == 0) return info;
    int32_t unit = 0;
    const bool bytes = s.stream->Read(s.pos, 1, nullptr, 0, &unit, nullptr) == kAviOk && unit == 1;
    if (IsFramedAudioTag(tag) && w.nBlockAlign > 1 && bytes) {
        std::vector<uint8_t> head(4 * kMaxAudioFrameBytes);
        int32_t got = 0;
        const int32_t want = int32_t(std::min<int64_t>(int64_t(head.size()), int64_t(s.end) - s.pos));
        AudioFrame f;
        if (want > 0 && s.stream->Read(s.pos, want, head.data(), want, &got, nullptr) == kAviOk) {
            const size_t at = FindAudioFrame(tag, head.data(), size_t(got), 0, s.pos + got == s.end);
            if (at < size_t(got) && ParseAudioFrame(tag, head.data() + at, size_t(got) - at, f)) {
                s.frameTag = tag;
                info.dwSampleSize = 0;
                info.dwScale = f.samples;
                info.dwRate = f.sampleRate;
                info.dwSuggestedBufferSize = 0;
                return info;
            }
        }
    }
    if (!IsFramedAudioTag(tag) || !bytes) info.dwSampleSize = w.nBlockAlign;
    return info;
}

// Writes the whole frames of s.pending as chunks of one sample each; bytes
// that are no frame go with the frame that follows them. With `final`, what
// is left (a cut-off frame) is written too.
AviResult WriteFrames(Source& s, bool final) {
    std::vector<uint8_t>& p = s.pending;
    size_t chunkStart = 0, i = 0;
    while (i < p.size()) {
        AudioFrame f;
        if (ParseAudioFrame(s.frameTag, p.data() + i, p.size() - i, f)) {
            if (f.bytes > p.size() - i) break;  // the rest comes with the next read
            i += f.bytes;
            AviResult r = s.out->Write(-1, 1, p.data() + chunkStart, int32_t(i - chunkStart), kAviIfKeyFrame,
                                       nullptr, nullptr);
            if (r != kAviOk) return r;
            chunkStart = i;
            continue;
        }
        const size_t next = FindAudioFrame(s.frameTag, p.data(), p.size(), i + 1, final);
        if (next >= p.size()) {
            i = p.size();
            break;
        }
        i = next;
    }
    // Bytes that never turn into a frame are not held back for ever.
    if ((final || p.size() - chunkStart > size_t(kCopyBlock)) && chunkStart < p.size()) {
        AviResult r = s.out->Write(-1, 1, p.data() + chunkStart, int32_t(p.size() - chunkStart),
                                   kAviIfKeyFrame, nullptr, nullptr);
        if (r != kAviOk) return r;
        chunkStart = p.size();
    }
    p.erase(p.begin(), p.begin() + long(chunkStart));
    return kAviOk;
}

// The format a stream is saved with: its own, or the option's when that is the same.
AviResult ChooseFormat(Source& s, const AviCompressOptions* o) {
    int32_t size = 0;
    if (s.stream->ReadFormat(s.stream->Start(), nullptr, size) != kAviOk) return kAviErrBadFormat;
    s.format.assign(size_t(size), 0);
    if (size && s.stream->ReadFormat(s.stream->Start(), s.format.data(), size) != kAviOk)
        return kAviErrBadFormat;
    if (!o) return kAviOk;
    if (s.info.fccType == kStreamTypeAudio && !o->lpFormat.empty()) {
        // Nothing is converted: the option may only restate the stream's own format
        // (a PCM format's 16-byte and 18-byte forms are the same format).
        size_t n = std::min(o->lpFormat.size(), s.format.size());
        bool pcm = WaveFormatFromBytes(s.format.data(), s.format.size()).wFormatTag == kWaveFormatPcm;
        bool same = n >= 16 && std::memcmp(o->lpFormat.data(), s.format.data(), n) == 0 &&
                    (o->lpFormat.size() == s.format.size() || pcm);
        if (!same) return kAviErrCantCompress;
    }
    if (s.info.fccType == kStreamTypeVideo && o->fccHandler != 0 && o->fccHandler != s.info.fccHandler)
        return kAviErrCantCompress;  // no compressors here
    return kAviOk;
}

// Copies samples [s.pos, upTo) of one stream; each read becomes one chunk.
AviResult CopySamples(Source& s, int32_t upTo, std::vector<uint8_t>& buf) {
    upTo = std::min(upTo, s.end);
    if (s.info.dwSampleSize > kAviMaxSampleBytes && s.pos < upTo) return kAviErrBadFormat;
    while (s.pos < upTo) {
        int32_t bytes = 0, samples = 0;
        int32_t cap = kCopyBlock;
        if (s.info.dwSampleSize) {
            // Only up to the target: one chunk per interleave step.
            cap = int32_t(std::min<int64_t>(cap, int64_t(upTo - s.pos) * s.info.dwSampleSize));
            cap = std::max<int32_t>(cap, int32_t(s.info.dwSampleSize));
            if (!s.frameTag) {
                // From file to file where it can: the chunk a read of `cap` bytes makes.
                const uint32_t flags = s.stream->IsKeyFrame(s.pos) ? kAviIfKeyFrame : 0;
                AviResult r = s.out->CopySamples(*s.stream, s.pos, cap, flags, &samples, &bytes);
                if (r == kAviOk) {
                    if (samples <= 0) break;
                    s.pos += samples;
                    continue;
                }
                if (r != kAviErrUnsupported) return r;
            }
        } else {
            if (!s.frameTag) {
                // One chunk a sample: from file to file where it can.
                const uint32_t flags = s.stream->IsKeyFrame(s.pos) ? kAviIfKeyFrame : 0;
                AviResult r = s.out->CopySample(*s.stream, s.pos, flags, &samples);
                if (r == kAviOk) {
                    s.pos += samples;
                    continue;
                }
                if (r != kAviErrUnsupported) return r;
            }
            AviResult r = s.stream->Read(s.pos, kAviStreamReadConvenient, nullptr, 0, &bytes, &samples);
            if (r != kAviOk) return r;
            cap = std::max(bytes, 1);
        }
        if (buf.size() < size_t(cap)) buf.resize(size_t(cap));
        AviResult r = s.stream->Read(s.pos, kAviStreamReadConvenient, buf.data(), cap, &bytes, &samples);
        if (r != kAviOk) return r;
        if (samples <= 0) break;
        if (s.frameTag) {
            s.pending.insert(s.pending.end(), buf.begin(), buf.begin() + bytes);
            s.pos += samples;
            r = WriteFrames(s, s.pos >= s.end);
            if (r != kAviOk) return r;
            continue;
        }
        uint32_t flags = s.stream->IsKeyFrame(s.pos) ? kAviIfKeyFrame : 0;
        r = s.out->Write(-1, samples, buf.data(), bytes, flags, nullptr, nullptr);
        if (r != kAviOk) return r;
        s.pos += samples;
    }
    return kAviOk;
}

// The bytes SaveWav copies, from the index (nothing is read): whole samples
// of a sample-size stream, every chunk of a chunked one.
uint64_t SourceBytes(const Source& s) {
    int32_t bytes = 0;
    if (s.info.dwSampleSize) {
        if (s.pos >= s.end || s.stream->Read(s.pos, 1, nullptr, 0, &bytes, nullptr) != kAviOk || bytes < 0)
            return 0;
        return uint64_t(s.end - s.pos) * uint64_t(bytes);
    }
    uint64_t total = 0;
    for (int32_t p = s.pos; p < s.end; ++p)
        if (s.stream->Read(p, 1, nullptr, 0, &bytes, nullptr) == kAviOk && bytes > 0)
            total += uint64_t(bytes);
    return total;
}

AviResult SaveWav(const std::string& path, Source& s, const AviSaveCallback& progress,
                  const AviWriteOptions& writeOptions) {
    WaveFormatEx w = WaveFormatFromBytes(s.format.data(), s.format.size());
    bool pcm = w.wFormatTag == kWaveFormatPcm;
    size_t fmtSize = pcm ? std::min<size_t>(16, s.format.size()) : s.format.size();
    WavWriter out;
    WavWriter::Options options;
    options.maxFileBytes = writeOptions.wavMaxBytes;
    options.riffBytes = writeOptions.wavRiffBytes;
    // Audio past the RIFF limit makes an RF64 file.
    options.expectedDataBytes = SourceBytes(s);
    switch (out.Create(path, std::span<const uint8_t>(s.format.data(), fmtSize), options)) {
        case WavWriter::Created::Ok:
            break;
        case WavWriter::Created::OpenFailed:
            return kAviErrFileOpen;
        case WavWriter::Created::HeaderFailed:
            return kAviErrFileWrite;
    }
    std::vector<uint8_t> buf;
    AviResult result = kAviOk;
    int lastPercent = -1;
    while (s.pos < s.end) {
        int32_t bytes = 0, samples = 0;
        int32_t cap = kCopyBlock;
        if (!s.info.dwSampleSize) {
            result = s.stream->Read(s.pos, kAviStreamReadConvenient, nullptr, 0, &bytes, &samples);
            if (result != kAviOk) break;
            cap = std::max(bytes, 1);
        }
        WavWriter::Appended put;
        if (s.info.dwSampleSize &&
            s.stream->PlanCopy(s.pos, cap, &bytes, &samples) == kAviOk) {  // from file to file
            if (samples <= 0) break;
            put = out.AppendCopy(uint64_t(bytes),
                                 [&s](ByteIO& file, uint64_t k) { return s.stream->CopyTo(s.pos, k, file); });
            if (put == WavWriter::Appended::ReadFailed) {
                result = kAviErrFileRead;
                break;
            }
        } else {
            if (buf.size() < size_t(cap)) buf.resize(size_t(cap));
            result = s.stream->Read(s.pos, kAviStreamReadConvenient, buf.data(), cap, &bytes, &samples);
            if (result != kAviOk || samples <= 0) break;
            put = out.Append(buf.data(), size_t(bytes));
        }
        if (put == WavWriter::Appended::Limit) {
            // A RIFF file ends at 4 GiB: what still fits went in and the save ends there.
            result = kAviErrWavLimit;
            break;
        }
        if (put != WavWriter::Appended::Ok) {
            result = kAviErrFileWrite;
            break;
        }
        s.pos += samples;
        int percent =
            int(int64_t(s.pos - s.stream->Start()) * 100 / std::max<int64_t>(1, s.end - s.stream->Start()));
        if (progress && percent != lastPercent) {
            lastPercent = percent;
            if (progress(percent) != 0) {
                result = kAviErrUserAbort;
                break;
            }
        }
    }
    // Audio counted in chunks: without a PCM form, the count of samples copied.
    const uint32_t samplesCopied = s.info.dwSampleSize == 0 ? uint32_t(s.pos - s.stream->Start()) : 0;
    if (!out.Finish(samplesCopied) && result == kAviOk) result = kAviErrFileWrite;
    return result;
}

}  // namespace

AviResult AviSaveStreams(const std::string& path, const std::vector<std::shared_ptr<AviStream>>& streams,
                         const std::vector<const AviCompressOptions*>& options,
                         const AviSaveCallback& progress, const AviWriteOptions& writeOptions) {
    std::vector<Source> src;
    for (size_t i = 0; i < streams.size(); ++i) {
        if (!streams[i]) continue;
        Source s;
        s.stream = streams[i];
        s.stream->Info(s.info);
        s.pos = s.stream->Start();
        s.end = s.pos + s.stream->Length();
        AviResult r = ChooseFormat(s, i < options.size() ? options[i] : nullptr);
        if (r != kAviOk) return r;
        src.push_back(std::move(s));
    }
    if (src.empty()) return kAviErrBadParam;

    if (EndsWithWav(path)) {
        auto audio = std::find_if(src.begin(), src.end(),
                                  [](const Source& s) { return s.info.fccType == kStreamTypeAudio; });
        if (audio == src.end()) return kAviErrBadParam;
        return SaveWav(path, *audio, progress, writeOptions);
    }

    std::shared_ptr<AviFile> file;
    AviResult r = AviFile::Create(path, file, writeOptions);
    if (r != kAviOk) return r;
    for (auto& s : src) {
        AviStreamInfo info = s.info.fccType == kStreamTypeAudio ? OutputAudioInfo(s) : s.info;
        info.dwStart = 0;
        info.dwLength = 0;
        info.dwInitialFrames = 0;
        r = file->CreateStream(s.out, info);
        if (r == kAviOk) r = s.out->SetFormat(0, s.format.data(), int32_t(s.format.size()));
        if (r != kAviOk) return r;
    }
    // The first video stream sets the pace; the others follow its frames.
    size_t master = 0;
    for (size_t i = 0; i < src.size(); ++i)
        if (src[i].info.fccType == kStreamTypeVideo) {
            master = i;
            break;
        }
    uint32_t every = 1;
    if (master < options.size() && options[master] && options[master]->dwInterleaveEvery)
        every = options[master]->dwInterleaveEvery;
    Source& m = src[master];
    std::vector<uint8_t> buf;
    int lastPercent = -1;
    const int64_t total = std::max<int64_t>(1, int64_t(m.end) - m.stream->Start());
    auto report = [&](int64_t done) -> bool {
        int percent = int(done * 100 / total);
        if (!progress || percent == lastPercent) return true;
        lastPercent = percent;
        return progress(percent) == 0;
    };
    while (r == kAviOk && m.pos < m.end) {
        // Without video, the first stream is copied in large blocks.
        int64_t step = m.info.fccType == kStreamTypeVideo ? every
                       : m.info.dwSampleSize ? std::max<int64_t>(1, kCopyBlock / m.info.dwSampleSize)
                                             : 64;
        int32_t upTo = int32_t(std::min<int64_t>(int64_t(m.pos) + step, m.end));
        r = CopySamples(m, upTo, buf);
        if (r != kAviOk) break;
        // The others up to the end time of the frames copied so far.
        double t = m.info.dwRate ? double(upTo - m.stream->Start()) * m.info.dwScale / m.info.dwRate : 0;
        for (size_t i = 0; i < src.size() && r == kAviOk; ++i) {
            if (i == master) continue;
            Source& o = src[i];
            double target = o.info.dwScale ? t * o.info.dwRate / o.info.dwScale : 0;
            // Rates far apart can put the target past any position: it is clamped
            // before the conversion (the copy stops at the stream's end anyway).
            int64_t upToO = int64_t(o.stream->Start()) + int64_t(std::min(std::ceil(target - 1e-9), 4e18));
            r = CopySamples(o, int32_t(std::min<int64_t>(upToO, o.end)), buf);
        }
        if (r == kAviOk && !report(int64_t(m.pos) - m.stream->Start())) r = kAviErrUserAbort;
    }
    // What is left of the other streams (audio running on after the video).
    for (size_t i = 0; i < src.size() && r == kAviOk; ++i) {
        if (i == master) continue;
        Source& o = src[i];
        while (r == kAviOk && o.pos < o.end) {
            int32_t step =
                o.info.dwSampleSize ? std::max<int32_t>(1, kCopyBlock / int32_t(o.info.dwSampleSize)) : 64;
            r = CopySamples(o, int32_t(std::min<int64_t>(int64_t(o.pos) + step, o.end)), buf);
            if (r == kAviOk && progress && progress(std::min(99, std::max(lastPercent, 0))) != 0)
                r = kAviErrUserAbort;
        }
    }
    for (auto& s : src)
        if (r == kAviOk && s.frameTag) r = WriteFrames(s, true);
    AviResult fin = file->Finish();
    return r != kAviOk ? r : fin;
}

}  // namespace vt
