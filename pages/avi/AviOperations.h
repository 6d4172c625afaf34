#pragma once
// The AVI and WAV operations: separation, union, connection and section
// extraction of AVI files, connection and section extraction of WAV files.
// Each runs against an OperationHost (progress, Stop, the OK/Cancel question)
// and returns 0 or an error code; the caller shows the code. None of them
// deletes an existing output first: the caller's start step does that.
// Qt-free: the window's pages and the command line run the same code.
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "core/OperationHost.h"
#include "ops/KindRules.h"
#include "ops/OpContract.h"

namespace vt {

class CDecAVIAudio;
struct AviStreamInfo;

// Options of the WAV outputs.
struct WavWriteOptions {
    // The largest file made (tests lower it): an output stops there and says
    // so.
    uint64_t maxFileBytes = std::numeric_limits<uint64_t>::max();
    // The largest file in the RIFF form (its sizes are 32-bit: 4 GiB; tests
    // lower it). A join, extraction or audio separation whose output is
    // larger writes it as an RF64 file.
    uint64_t riffBytes = 0xFFFFFFFFull;
};

// ---- separation (page 0) and union (page 1): the stream save ----

// The video stream of an AVI file into an AVI file. 1002..1006 when the input
// cannot be opened or has no video (no output is made), 6006 when stopped,
// 103 when the save fails. A stopped save leaves what it wrote as the output.
int SeparateAviVideo(const std::string& input, const std::string& output, OperationHost& host);
// The audio stream of an AVI or WAV file into a WAV file in its own format
// (1201 when there is none); past 4 GiB an RF64 file. An output that reaches
// the size limit (maxFileBytes) ends there with 103, and the result's detail
// text says so. The result
// is returned, not reported.
OpResult AviAudioSeparation(const std::string& input, const std::string& output, OperationHost& host,
                            const WavWriteOptions& options = {});
// The video of one AVI file and the (last) audio stream of a WAV or AVI file
// into one AVI file; the lengths are left as they are.
int UnionAviStreams(const std::string& videoSource, const std::string& audioSource, const std::string& output,
                    OperationHost& host);

// ---- connection (pages 2 and 4) ----

// Joins the AVI files in list order: video samples with their key-frame
// flags, then each file's audio. Any number of files; one file is open at a
// time. The output takes the first file's stream headers and formats; every
// file is checked to open before the output is made.
int ConnectAviFiles(const std::vector<std::string>& files, const std::string& output, OperationHost& host);

// Joins the audio of WAV files (or of AVI files) in list order into a WAV file
// in the first file's format. -5 when the output cannot be written in that
// format; 6002 when a source cannot be read and 901 when the output cannot
// be written (the output is then complete as far as it was written). When the
// output reaches the size limit of a WAV file, the 901's detail text says so;
// a format that cannot be copied gets its reason with the -5. The result is
// returned, not reported.
OpResult WavConnection(const std::vector<std::string>& files, const std::string& output, OperationHost& host,
                       const WavWriteOptions& options = {});

// ---- section extraction (pages 3 and 5) ----

struct SectionRange {
    TimeFields start;
    TimeFields end;
};

// Time of a frame at a frame rate, split into the extraction fields.
TimeFields FrameToTime(int frame, double frameRate);
// The nearest frame of a time (halves upward).
int TimeToFrame(const TimeFields& t, double frameRate);

// The range an AVI file offers: its first frame to its length. 0 or the open error.
int ReadAviRange(const std::string& input, SectionRange& range, double* frameRate = nullptr);

// Copies the section of an AVI file: from the last key frame at or before the
// start (the first one after it when there is none before) to the end frame
// (clamped to the last frame), with the audio of exactly the span of the
// copied frames; so the section always begins with a picture. `onStartAligned`,
// when given, receives the time where the section really begins before the
// copy starts.
int ExtractAviSection(const std::string& input, const std::string& output, const SectionRange& range,
                      OperationHost& host, const std::function<void(const TimeFields&)>& onStartAligned = {});

// The steps of ExtractAviSection, for a plan of the section without writing
// it (extract --dry-run): the frame the section really begins at (start and
// end as frames, end already clamped), and the audio sample of a frame.
int AviKeyFrameStart(const CDecAVIAudio& reader, int start, int end);
int32_t AviVideoToAudioSample(int64_t frame, const AviStreamInfo& video, const AviStreamInfo& audio);

// The range a WAV file (or the audio of an AVI file) offers: 0 to the audio's
// duration. 0 or the open error.
int ReadWavRange(const std::string& input, SectionRange& range);
// What a WAV extraction of `range` writes, worked out as the extraction does
// without writing: its samples of the audio stream [start, end) (blocks; bytes
// of MPEG audio; chunks of chunked audio in an AVI file), the data bytes and
// the size of the output file. 0 or the open error.
struct WavSectionPlan {
    uint32_t start = 0, end = 0;
    uint64_t blocks = 0;
    bool blocksOfFormat = false;  // the samples are the format's blocks (not MPEG audio's bytes, not chunks)
    uint64_t dataBytes = 0;
    uint64_t fileBytes = 0;
};
int PlanWavExtraction(const std::string& input, const SectionRange& range, WavSectionPlan& plan,
                      const WavWriteOptions& options = {});
// The audio sample of a time in a format's terms (truncated).
uint32_t WavTimeToSample(const TimeFields& t, uint32_t avgBytesPerSec, uint32_t blockAlign);
// Copies the audio between the two times into a WAV file in the source's own
// format. 1 when the output cannot be written in that format; 6002 / 901
// for a failed read / write (the output is then complete as far as written);
// the size limit of a WAV file and a format that cannot be copied are
// explained by the detail text as in WavConnection, after the input's name.
// The result is returned, not reported.
OpResult WavExtraction(const std::string& input, const std::string& output, const SectionRange& range,
                       OperationHost& host, const WavWriteOptions& options = {});

// The detail text of a WAV output that reached the size limit of the format.
std::string WavLimitText();

}  // namespace vt
