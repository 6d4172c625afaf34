#pragma once
// Shared test helpers: running ffmpeg/ffprobe as an independent oracle,
// making fixtures at test time (cached per build), temporary folders,
// an operation host that records what it is told.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/OperationHost.h"

namespace vt::test {

struct CommandResult {
    int status = -1;  // exit status, -1 when it could not run
    std::string out;  // standard output
};

// Runs a shell command; standard error goes to a log unless captured.
CommandResult Run(const std::string& command);

// Quotes a path for the shell.
std::string Q(const std::filesystem::path& p);

// The folder for fixtures of this build (created on first use).
std::filesystem::path FixtureDir();

// Makes (once per build) a fixture named `name` in FixtureDir() with
// `ffmpeg -y -hide_banner -loglevel error <args> <out>`; returns its path.
// Fails the calling test (ADD_FAILURE) and returns an empty path when ffmpeg fails.
std::filesystem::path MakeFixture(const std::string& name, const std::string& ffmpegArgs);

// Per-packet checksums of one stream copied out by ffmpeg
// (`ffmpeg -i F -map 0:<selector> -c copy -f framemd5 -`), comments and the
// timebase header stripped; each line "size, md5".
std::vector<std::string> PacketChecksums(const std::filesystem::path& file, const std::string& streamSpec);

// The same lines with ffmpeg's full fields (stream, dts, pts, duration, size, md5).
std::vector<std::string> FrameMd5Lines(const std::filesystem::path& file, const std::string& streamSpec);

// True when ffmpeg decodes every stream of the file without printing an error.
bool DecodesCleanly(const std::filesystem::path& file, std::string* errors = nullptr);

// ffprobe -show_entries <entries> -of default=nw=1:nk=1 for one stream selector ("v:0", "a:0", or "" for
// format).
std::string Probe(const std::filesystem::path& file, const std::string& streamSpec,
                  const std::string& entries);

// Counts streams of a type ("video", "audio") with ffprobe.
int StreamCount(const std::filesystem::path& file, const std::string& codecType);

// A fresh, empty folder under the build's temp area, removed at destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// A file made by another program, from the shared sample folder beside the
// source tree (../shared/samples). Empty when the folder or file is missing,
// so a test can skip: `auto f = SamplePath("x.avi"); if (f.empty()) GTEST_SKIP();`
std::filesystem::path SamplePath(const std::string& name);

// Writes bytes to a file.
void WriteFile(const std::filesystem::path& p, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFile(const std::filesystem::path& p);

// An operation host for tests: records progress and errors, can stop after a
// number of progress calls and answers the OK/Cancel question as told.
class RecordingHost : public OperationHost {
  public:
    void ReportProgress(double percent) override;
    bool StopRequested() const override { return stopped_; }
    void ReportError(const std::string& detail, int code) override;
    bool AskOkCancel(const std::string& text, const std::string& caption) override;

    int stopAfterProgressCalls = -1;  // -1: never
    bool answerOk = true;

    std::vector<double> progress;
    std::vector<std::pair<std::string, int>> errors;
    int questions = 0;
    bool stopped_ = false;
};

}  // namespace vt::test
