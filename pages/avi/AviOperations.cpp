#include "pages/avi/AviOperations.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "core/ErrorCodes.h"
#include "core/TimeFields.h"
#include "media/avi/AVIStream.h"
#include "media/avi/DecMovie.h"
#include "media/avi/EncAVI.h"
#include "media/avi/MemBuff.h"

namespace vt {

namespace {

// Frees a format block from ReadVideoFormat whatever happens.
struct FormatBlock {
    void* data = nullptr;
    int size = 0;
    ~FormatBlock() { std::free(data); }
};

// Audio sample of the start of video frame `frame`, from the two streams'
// rates: trunc(frame x vScale x aRate / vRate / aScale), low 32 bits. A stream
// without a rate gives 0 rather than a division by zero.
int32_t VideoToAudioSample(int64_t frame, const AviStreamInfo& v, const AviStreamInfo& a) {
    const double vScale = double(uint32_t(v.dwScale)), vRate = double(uint32_t(v.dwRate));
    const double aScale = double(uint32_t(a.dwScale)), aRate = double(uint32_t(a.dwRate));
    if (vRate == 0 || aScale == 0) return 0;
    const double x = double(frame) * vScale * aRate / vRate / aScale;
    if (!std::isfinite(x) || x >= 9.2e18 || x <= -9.2e18) return 0;
    return int32_t(uint32_t(uint64_t(int64_t(x))));
}

// Creates the output's streams from an open reader: its video stream, and its
// audio stream when it has one whose format could be read (an audio stream
// without a readable format is left out, as if the file had no audio).
int CreateOutputStreams(CDecAVIAudio& reader, CEncAVIAudio& writer, const std::string& output,
                        bool* withAudio) {
    FormatBlock fmt;
    int r = reader.ReadVideoFormat(&fmt.data, &fmt.size);
    if (r) return r;
    r = writer.CreateVideoStream(output, *reader.GetVideoInfo(), fmt.data, fmt.size);
    if (r) return r;
    *withAudio = reader.HasAudio() && reader.GetAudioFormat();
    if (*withAudio) {
        r = writer.CreateAudioStream(reader.GetAudioFormat(), *reader.GetAudioInfo(), {});
        if (r) return r;
    }
    return 0;
}

// One video sample from the reader to the writer: copied from file to file
// when the streams allow it, else read into `buffer` and written. The first
// failure is the result (reading before writing).
int CopyVideoSample(CDecAVIAudio& reader, CEncAVIAudio& writer, int p, CMemBuffBase<unsigned char>& buffer,
                    int* samples) {
    const int key = reader.IsKeyFrame(p);
    int r = writer.CopyVideoSample(*reader.GetVideoStream(), p, key, samples);
    if (r != CEncAVI::kCopyNotPossible) return r;
    int bytes = 0;
    r = reader.ReadVideoSample(p, samples, buffer, &bytes);
    if (r) return r;
    return writer.WriteVideoSamples(*samples, buffer.GetData(), bytes, key);
}

// The stream save of separation and union: the temporary file replaces the
// output whatever the save's outcome, so a stopped save leaves what it wrote.
int SaveAndMove(CAVIStream& table, const std::string& output, bool wav, int count, OperationHost& host) {
    std::string temp;
    int r = table.SaveStreams(output, wav, count, &host, temp);
    table.ResetStreamTable();
    int m = CAVIStream::MoveTempToOutput(temp, output);
    return r ? r : m;
}

}  // namespace

// ---------------------------------------------------------------- separation and union

int SeparateAviVideo(const std::string& input, const std::string& output, OperationHost& host) {
    CAVIStream table;
    auto reader = std::make_unique<CDecAVI>();
    reader->SetOpenPump([&host] { host.PumpMessages(); });
    int r = reader->Open(input);
    if (r) return r;
    table.SetVideoEntry(0, reader->GetVideoStream());
    r = SaveAndMove(table, output, false, 1, host);
    reader->Close();
    return r;
}

OpResult AviAudioSeparation(const std::string& input, const std::string& output, OperationHost& host,
                            const WavWriteOptions& options) {
    CAVIStream table;
    AviWriteOptions writeOptions;
    writeOptions.wavMaxBytes = options.maxFileBytes;
    writeOptions.wavRiffBytes = options.riffBytes;
    table.SetWriteOptions(writeOptions);
    auto reader = std::make_unique<CDecWAV>();
    reader->SetOpenPump([&host] { host.PumpMessages(); });
    int r = reader->Open(input);
    if (r) return r;
    table.SetAudioEntry(0, reader->GetAudioStream());
    r = SaveAndMove(table, output, true, 1, host);
    reader->Close();
    // Nobody else knows why the save stopped there.
    if (r && table.LastSaveResult() == kAviErrWavLimit) return {r, WavLimitText()};
    return r;
}

int UnionAviStreams(const std::string& videoSource, const std::string& audioSource, const std::string& output,
                    OperationHost& host) {
    CAVIStream table;
    auto video = std::make_unique<CDecAVI>();
    auto audio = std::make_unique<CDecWAV>();
    video->SetOpenPump([&host] { host.PumpMessages(); });
    audio->SetOpenPump([&host] { host.PumpMessages(); });
    int r = video->Open(videoSource);
    if (r == 0) r = audio->Open(audioSource);
    if (r) return r;
    table.SetVideoEntry(0, video->GetVideoStream());
    table.SetAudioEntry(1, audio->GetAudioStream());
    r = SaveAndMove(table, output, false, 2, host);
    video->Close();
    audio->Close();
    return r;
}

// ---------------------------------------------------------------- connection

int ConnectAviFiles(const std::vector<std::string>& files, const std::string& output, OperationHost& host) {
    if (files.empty()) return 0;
    // Every file must open before the output is made; the first failure is the result.
    auto reader = std::make_unique<CDecAVIAudio>();
    reader->SetOpenPump([&host] { host.PumpMessages(); });
    for (const std::string& f : files) {
        int r = reader->Open(f);
        reader->Close();
        if (r) return r;
    }

    CEncAVIAudio writer;
    bool withAudio = false;
    int result = reader->Open(files[0]);
    if (result == 0) result = CreateOutputStreams(*reader, writer, output, &withAudio);

    const size_t n = files.size();
    CMemBuffBase<unsigned char> buffer;
    for (size_t i = 0; result == 0 && i < n; ++i) {
        // One file open at a time: memory and handles stay flat whatever the list's length.
        if (i > 0 && (result = reader->Open(files[i])) != 0) break;
        const int first = reader->GetVideoStart();
        const int last = reader->GetLength() - 1;
        for (int p = first; p <= last;) {
            int samples = 0;
            result = CopyVideoSample(*reader, writer, p, buffer, &samples);
            if (result) break;
            p += samples;
            // The share of the file's frames copied: never above 1 after its
            // last frame, and a file of one frame is done after that frame.
            const double ratio = std::min(1.0, double(p - first) / double(last - first + 1));
            host.ReportProgress((ratio + double(i)) * 100.0 / double(n));
            if (host.StopRequested()) break;
        }
        if (result || host.StopRequested()) break;
        // The audio of a file follows its video; a file's audio goes only
        // where the output has an audio stream (the first file's).
        if (withAudio && reader->HasAudio()) {
            const int32_t audioStart =
                VideoToAudioSample(first, *reader->GetVideoInfo(), *reader->GetAudioInfo());
            result = writer.CopyAudio(audioStart, reader->GetAudioLength(), reader->GetAudioStream(), &host);
            if (result) break;
        }
        buffer.Free();
        reader->Close();
    }
    reader->Close();
    writer.Close();
    if (result == 0 && !host.StopRequested() && writer.LastCloseResult()) result = writer.LastCloseResult();
    return result;
}

// ---------------------------------------------------------------- extraction

TimeFields FrameToTime(int frame, double frameRate) {
    TimeFields t;
    if (!(frameRate > 0)) return t;
    const double secs = double(frame) / frameRate;
    if (!std::isfinite(secs) || secs < 0 || secs > 9.0e15) return t;
    const uint32_t s = uint32_t(uint64_t(int64_t(secs)));
    return SplitSeconds(s, int(uint32_t(uint64_t(int64_t(secs * 1000.0))) % 1000));
}

int TimeToFrame(const TimeFields& t, double frameRate) {
    const double secs = ToSeconds(t);
    const double f = secs * frameRate + 0.5;
    if (!std::isfinite(f) || f < 0) return 0;
    if (f >= 2147483647.0) return 2147483647;
    return int(f);
}

int ReadAviRange(const std::string& input, SectionRange& range, double* frameRate) {
    range = {};
    if (frameRate) *frameRate = 0;
    CDecAVIAudio reader;
    int r = reader.Open(input);
    if (r) return r;
    const double rate = reader.GetFrameRate();
    range.end = FrameToTime(reader.GetLength(), rate);
    range.start = FrameToTime(reader.GetVideoStart(), rate);
    if (frameRate) *frameRate = rate;
    return 0;
}

namespace {

int KeyFrameStart(const CDecAVIAudio& reader, int start, int end) {
    const auto& video = reader.GetVideoStream();
    if (!video) return start;
    const int before = video->FindSample(start, kFindKey | kFindPrev);
    if (before >= 0) return before;
    const int after = video->FindSample(start, kFindKey | kFindNext);
    return after >= 0 && after <= end ? after : start;
}

}  // namespace

int ExtractAviSection(const std::string& input, const std::string& output, const SectionRange& range,
                      OperationHost& host, const std::function<void(const TimeFields&)>& onStartAligned) {
    CDecAVIAudio reader;
    CEncAVIAudio writer;
    reader.SetOpenPump([&host] { host.PumpMessages(); });
    int result = reader.Open(input);
    if (result) return result;

    bool withAudio = false;
    result = CreateOutputStreams(reader, writer, output, &withAudio);
    if (result == 0) {
        const double rate = reader.GetFrameRate();
        int end = TimeToFrame(range.end, rate);
        if (end >= reader.GetLength() - 1) end = reader.GetLength() - 1;
        int start = TimeToFrame(range.start, rate);
        // The section begins with a picture: at the last key frame at or
        // before the start, so that it holds the start; when the stream has
        // none before it, at the first one after it (up to the end). A stream
        // without key frames begins where asked.
        if (start <= end) start = KeyFrameStart(reader, start, end);
        if (onStartAligned) onStartAligned(FrameToTime(start, rate));

        CMemBuffBase<unsigned char> buffer;
        for (int p = start; p <= end;) {
            int samples = 0;
            result = CopyVideoSample(reader, writer, p, buffer, &samples);
            if (result) break;
            p += samples;
            // The share of the section's frames copied (a section of one frame
            // is done after it, with no zero to divide by).
            host.ReportProgress(std::min(100.0, double(p - start) * 100.0 / double(end - start + 1)));
            if (host.StopRequested()) break;
        }
        // The audio spans the copied frames: from the start of frame start to
        // the end of frame end, in the source's audio samples.
        if (result == 0 && !host.StopRequested() && withAudio) {
            const int32_t first = VideoToAudioSample(start, *reader.GetVideoInfo(), *reader.GetAudioInfo());
            const int32_t last =
                VideoToAudioSample(int64_t(end) + 1, *reader.GetVideoInfo(), *reader.GetAudioInfo());
            result = writer.CopyAudio(first, last, reader.GetAudioStream(), &host);
        }
    }
    reader.Close();
    writer.Close();
    if (result == 0 && !host.StopRequested() && writer.LastCloseResult()) result = writer.LastCloseResult();
    return result;
}

int AviKeyFrameStart(const CDecAVIAudio& reader, int start, int end) {
    return KeyFrameStart(reader, start, end);
}

int32_t AviVideoToAudioSample(int64_t frame, const AviStreamInfo& video, const AviStreamInfo& audio) {
    return VideoToAudioSample(frame, video, audio);
}

}  // namespace vt
