#pragma once
// Error codes: every operation reports its outcome as one int, 0 for success.
// The texts live in the string table; GetErrorText picks the current language.
#include <string>

namespace vt {

// Codes used by more than one layer. Each layer may use any code of the table.
enum ErrorCode : int {
    kOk = 0,
    kErrSilent = -2,    // ends an operation without any message
    kErrFileOpen = -5,  // "The file doesn't open."
    kErrFormat = -3,    // unsupported file format
    kErrSave = 103,     // saving failed / cancelled / bad output path
    kErrMemory = 501,
    kErrOutput = 502,
    kErrAudioWrite = 901,
    kErrAviFileOpen = 1002,
    kErrAviFileInfo = 1003,
    kErrAviStream = 1004,
    kErrAviStreamInfo = 1005,
    kErrAviNoVideo = 1006,
    kErrAviStreamRead = 1007,
    kErrAviStreamFormat = 1009,
    kErrAviAudioRead = 1107,
    kErrAviNoAudio = 1201,
    kErrAviCreate = 2001,
    kErrAviVideoStream = 2003,
    kErrAviFormatSet = 2005,
    kErrAviStreamWrite = 2006,
    kErrAviAudioInfo = 2105,
    kErrAviAudioReadWrite = 2107,
    kErrAviAudioFormat = 2109,
    kErrAviAudioWrite = 2115,
    kErrWavOpen = 6001,
    kErrWavRead = 6002,
    kErrNotWav = 6004,
    kErrWavOutput = 6006,
    kErrWmOpen = 8201,
    kErrWmCodec = 8202,
    kErrWmProcess = 8203,
    kErrWmInfo = 8204,
    kErrWmInfoSet = 8205,
    kErrWmEncInit = 8301,
    kErrWmOutput = 8302,
};

// The code's text in the current language: the row's text, an empty text for 0
// and -2, "Other Errors" for any code without a row. Any thread.
std::string GetErrorText(int code);

// The error box's caption, "エラーNo.%04d" in both languages.
std::string ErrorCaption(int code);

// The error box's whole text: caption, an empty line, the detail text on a line
// of its own when there is one, then the message. Empty when the code has no text.
std::string ErrorBoxText(const std::string& detail, int code);

}  // namespace vt
