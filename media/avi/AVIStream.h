#pragma once
// The stream table of the AVI and WAV pages and the stream save that
// separation and union run with it: whole reader streams saved into a
// temporary file beside the output, which then replaces the output. Qt-free.
#include <array>
#include <memory>
#include <string>

#include "platform/AviFile.h"

namespace vt {

class OperationHost;

class CAVIStream {
  public:
    static constexpr int kMaxStreams = 25;

    CAVIStream() { ResetStreamTable(); }
    virtual ~CAVIStream() = default;

    // Zeroes every option record, points every option pointer at its record
    // and empties every stream entry.
    void ResetStreamTable();
    // Entry i saves a video stream unchanged.
    void SetVideoEntry(int i, const std::shared_ptr<AviStream>& stream);
    // Entry i saves an audio stream in its own format.
    void SetAudioEntry(int i, const std::shared_ptr<AviStream>& stream);

    // Saves the first `count` entries into a new temporary file in the
    // output's folder (a WAV file when `wav`), reporting progress to `host`
    // (capped at 99) and stopping when the host asks to. `tempPath` receives
    // the temporary file's name, empty when none could be made.
    // 0, 6006 when stopped, 103 on any other failure.
    int SaveStreams(const std::string& outputPath, bool wav, int count, OperationHost* host,
                    std::string& tempPath);

    // The temporary file replaces the output (nothing when the two are the
    // same path or there is no temporary file). 0, or 103 when the rename fails.
    static int MoveTempToOutput(const std::string& tempPath, const std::string& outputPath);

    // The save callback's answer: progress capped at 99, then 1 to stop.
    static int SaveCallback(OperationHost* host, int percent);

    // OpenDML part size and WAV size limit of the outputs (tests lower them).
    void SetWriteOptions(const AviWriteOptions& o) { writeOptions_ = o; }
    // What the last SaveStreams' save returned (kAviErrWavLimit: the WAV
    // output reached the size limit of the format).
    AviResult LastSaveResult() const { return lastSaveResult_; }

    std::array<AviCompressOptions, kMaxStreams> options;
    std::array<AviCompressOptions*, kMaxStreams> optionPointers{};
    std::array<std::shared_ptr<AviStream>, kMaxStreams> streams;

  private:
    AviWriteOptions writeOptions_;
    AviResult lastSaveResult_ = kAviOk;
};

}  // namespace vt
