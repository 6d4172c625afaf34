#pragma once
// Whether files can be joined as they are: every file of a join list compared
// with the first on what the join takes from the first file alone, each
// difference said in plain words in the current language. Qt-free.
#include <string>
#include <vector>

namespace vt {

// AVI (kFormatAvi): the video's handler and compression, frame size and rate,
// and the audio's format tag, channels, sample rate, bits and block align.
// WAV (kFormatWav, also the audio of AVI files): the whole audio format.
// One line per difference, e.g. "b.avi: frame size 160×120, first file
// 320×240". A file that does not open is left to the join, which reports it.
// Other formats: no lines.
std::vector<std::string> JoinDifferences(const std::vector<std::string>& files, int format);

// The question the window asks before such a join, with the differences.
std::string JoinAnywayQuestion(const std::vector<std::string>& differences);

}  // namespace vt
