#include "media/avi/AVIStream.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "core/ErrorCodes.h"
#include "core/OperationHost.h"
#include "media/avi/AviErrors.h"

namespace vt {

namespace {

// A new, empty file with a unique name in the output's folder, so the rename
// that follows stays on one file system and two runs never share a file.
std::string MakeTempBeside(const std::string& output, bool wav) {
    std::string folder, title = output;
    size_t slash = output.find_last_of('/');
    if (slash != std::string::npos) {
        folder = output.substr(0, slash + 1);
        title = output.substr(slash + 1);
    }
    size_t dot = title.find_last_of('.');
    if (dot != std::string::npos && dot > 0) title.resize(dot);
    if (title.empty()) title = "out";
    std::string pattern = folder + title + ".tmp-XXXXXX" + (wav ? ".wav" : ".avi");
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    int fd = ::mkstemps(buf.data(), 4);
    if (fd < 0) return {};
    // It becomes the output: the permissions a newly created file gets.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    return std::string(buf.data());
}

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

void CAVIStream::ResetStreamTable() {
    for (int i = 0; i < kMaxStreams; ++i) {
        options[size_t(i)] = {};
        optionPointers[size_t(i)] = &options[size_t(i)];
        streams[size_t(i)].reset();
    }
}

void CAVIStream::SetVideoEntry(int i, const std::shared_ptr<AviStream>& stream) {
    if (i < 0 || i >= kMaxStreams) return;
    streams[size_t(i)] = stream;
    AviCompressOptions& o = options[size_t(i)];
    o = {};
    if (!stream) return;
    AviStreamInfo info;
    stream->Info(info);
    o.fccType = info.fccType;
    o.fccHandler = 0;
    o.dwKeyFrameEvery = 0xFFFFFFFFu;
    o.dwQuality = 0xFFFFFFFFu;
    o.dwBytesPerSecond = 0;
    o.dwFlags = kAviCompressFKeyFrames | kAviCompressFDataRate | kAviCompressFValid;
    o.dwInterleaveEvery = 1;
}

void CAVIStream::SetAudioEntry(int i, const std::shared_ptr<AviStream>& stream) {
    if (i < 0 || i >= kMaxStreams) return;
    streams[size_t(i)] = stream;
    AviCompressOptions& o = options[size_t(i)];
    o = {};
    if (!stream) return;
    AviStreamInfo info;
    stream->Info(info);
    o.fccType = info.fccType;
    o.dwFlags = kAviCompressFValid;
    o.dwInterleaveEvery = 1;
    int32_t size = 0;
    stream->ReadFormat(stream->Start(), nullptr, size);
    if (size > 0) {
        o.lpFormat.assign(size_t(size), 0);
        stream->ReadFormat(stream->Start(), o.lpFormat.data(), size);
        o.lpFormat.resize(size_t(size));
    }
}

int CAVIStream::SaveCallback(OperationHost* host, int percent) {
    if (!host) return 0;
    host->ReportProgress(percent > 99 ? 99.0 : double(percent));
    return host->StopRequested() ? 1 : 0;
}

int CAVIStream::SaveStreams(const std::string& outputPath, bool wav, int count, OperationHost* host,
                            std::string& tempPath) {
    tempPath = MakeTempBeside(outputPath, wav);
    if (tempPath.empty()) return kErrSave;
    std::vector<std::shared_ptr<AviStream>> list;
    std::vector<const AviCompressOptions*> opts;
    for (int i = 0; i < count && i < kMaxStreams; ++i) {
        list.push_back(streams[size_t(i)]);
        opts.push_back(optionPointers[size_t(i)]);
    }
    AviResult r = AviSaveStreams(
        tempPath, list, opts, [host](int p) { return SaveCallback(host, p); }, writeOptions_);
    lastSaveResult_ = r;
    return ErrorFromAvi(r, r == kAviErrUserAbort ? kErrWavOutput : kErrSave);
}

int CAVIStream::MoveTempToOutput(const std::string& tempPath, const std::string& outputPath) {
    if (tempPath.empty() || tempPath == outputPath) return 0;
    if (!FileExists(tempPath)) return 0;
    struct stat st;
    if (::lstat(outputPath.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR))
        ::chmod(outputPath.c_str(), st.st_mode | S_IWUSR);
    // The temporary file is beside the output: the rename replaces it in one step.
    if (std::rename(tempPath.c_str(), outputPath.c_str()) != 0) return kErrSave;
    return 0;
}

}  // namespace vt
