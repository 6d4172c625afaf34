#pragma once
// What a file holds, read from its headers and index without decoding: the
// container, the duration, every stream (codec, picture size, rates, channels,
// bit rate) and the video's key frames. Printed by `vantorel-cli info` as text
// or as a JSON document. Qt-free.
#include <cstdint>
#include <string>
#include <vector>

namespace vt {

struct MediaStreamInfo {
    enum Kind { Video, Audio, Other } kind = Other;
    std::string codec;      // a four-character code, or the audio format's name
    uint32_t codecTag = 0;  // the four-character code or the audio format tag
    int width = 0, height = 0;
    double frameRate = 0;  // video: frames per second (0 when the file states none)
    int sampleRate = 0, channels = 0, bitsPerSample = 0;  // audio
    int64_t bitRate = 0;                                  // bits per second, 0 when unknown
    int64_t packets = 0;                                  // frames (video) or stored packets (audio)
    int64_t durationMs = 0;
    std::vector<int64_t> keyFramesMs;  // video only, in the times extract takes
};

struct MediaFileInfo {
    std::string path;
    std::string container;  // "avi", "wav", "asf" or "flv"
    uint64_t fileBytes = 0;
    int64_t durationMs = 0;  // from the frames themselves
    // What the file's own metadata states (FLV onMetaData), when it states a
    // duration that the frames do not reach or pass: a file cut short, or
    // metadata written before the recording ended. -1 when there is none or it agrees.
    int64_t statedDurationMs = -1;
    std::vector<MediaStreamInfo> streams;
    int64_t KeyFrameCount() const;  // of all video streams
};

// Reads `path` as the format (kFormatAvi .. kFormatFlv: AVI and WAV share the
// RIFF reader, WMV and WMA the ASF reader). 0 or the error code of the
// format's open step.
int ReadMediaInfo(const std::string& path, int format, MediaFileInfo& out);

// Seconds with three decimals ("12.345").
std::string SecondsText(int64_t ms);
// The text form, in the current language; key frame times with `keyFrames`.
std::string MediaInfoText(const MediaFileInfo& info, bool keyFrames);
// One JSON object (no trailing newline); "key_frame_times" only with `keyFrames`.
std::string MediaInfoJson(const MediaFileInfo& info, bool keyFrames);
// A JSON string literal.
std::string JsonString(const std::string& text);

}  // namespace vt
