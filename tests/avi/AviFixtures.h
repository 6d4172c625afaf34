#pragma once
// Small AVI and WAV fixtures made by ffmpeg at test time (cached per build).
#include <filesystem>
#include <string>

#include "tests/common/TestSupport.h"

namespace vt::test {

inline const std::string kVideoSrc = "-f lavfi -i testsrc=size=96x64:rate=25:duration=2 ";
inline const std::string kToneSrc = "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=2 ";

// MPEG-4 part 2 video (key frame every 10 frames) with MP3 audio.
inline std::filesystem::path AviMpeg4Mp3() {
    return MakeFixture("mpeg4_mp3.avi",
                       kVideoSrc + kToneSrc + "-c:v mpeg4 -g 10 -c:a libmp3lame -b:a 64k -shortest");
}
// MS-MPEG4 v3 video with 16-bit PCM stereo audio.
inline std::filesystem::path AviMsmpegPcm() {
    return MakeFixture("msmpeg_pcm.avi",
                       kVideoSrc + kToneSrc + "-c:v msmpeg4 -g 12 -c:a pcm_s16le -ac 2 -shortest");
}
// MJPEG video with 8-bit PCM mono audio.
inline std::filesystem::path AviMjpegU8() {
    return MakeFixture("mjpeg_u8.avi", kVideoSrc + kToneSrc + "-c:v mjpeg -q:v 5 -c:a pcm_u8 -shortest");
}
// VBR MP3 audio.
inline std::filesystem::path AviVbrMp3() {
    return MakeFixture("vbr_mp3.avi",
                       kVideoSrc + kToneSrc + "-c:v mpeg4 -g 10 -c:a libmp3lame -q:a 4 -shortest");
}
// Two audio streams: the first 22050 Hz mono PCM, the second 11025 Hz stereo PCM.
inline std::filesystem::path AviTwoAudio() {
    return MakeFixture(
        "two_audio.avi",
        kVideoSrc + kToneSrc +
            "-f lavfi -i sine=frequency=880:sample_rate=11025:duration=2 -map 0:v -map 1:a -map 2:a "
            "-c:v mpeg4 -g 10 -c:a:0 pcm_s16le -c:a:1 pcm_s16le -ac:a:1 2 -shortest");
}
// Video only.
inline std::filesystem::path AviNoAudio() {
    return MakeFixture("no_audio.avi", kVideoSrc + "-c:v mpeg4 -g 10");
}
// Audio only, in an AVI file.
inline std::filesystem::path AviAudioOnly() {
    return MakeFixture("audio_only.avi", kToneSrc + "-c:a pcm_s16le");
}
// Dropped frames: frames 10 to 14 are left out and the time stamps kept, so
// ffmpeg writes five empty chunks in their places.
inline std::filesystem::path AviDropped() {
    return MakeFixture(
        "dropped.avi",
        "-f lavfi -i \"testsrc=size=96x64:rate=25:duration=2,select='not(between(n\\,10\\,14))'\" "
        "-c:v mpeg4 -g 100 -fps_mode passthrough");
}

}  // namespace vt::test
