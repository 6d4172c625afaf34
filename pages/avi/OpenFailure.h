#pragma once
// Which input an open failure of an AVI or WAV run is about, so that its error
// box can name the file.
#include <string>
#include <vector>

#include "core/ErrorCodes.h"

namespace vt {

// Codes with which a reader refuses to open a file.
inline bool IsOpenFailure(int code) {
    switch (code) {
        case kErrFileOpen:
        case kErrFormat:
        case kErrAviFileOpen:
        case kErrAviFileInfo:
        case kErrAviStream:
        case kErrAviStreamInfo:
        case kErrAviNoVideo:
        case kErrAviStreamFormat:
        case kErrAviNoAudio:
        case kErrWavOpen:
        case kErrWavRead:
        case kErrNotWav:
            return true;
        default:
            return false;
    }
}

// The first of `files` that a `Reader` cannot open; empty when all open.
template <class Reader>
std::string FirstUnopenable(const std::vector<std::string>& files) {
    for (const std::string& f : files) {
        Reader r;
        if (r.Open(f) != 0) return f;
    }
    return {};
}

// The detail text for the error `code` of a run on `files` with `Reader`s.
template <class Reader>
std::string OpenFailureDetail(int code, const std::vector<std::string>& files) {
    return IsOpenFailure(code) ? FirstUnopenable<Reader>(files) : std::string();
}

}  // namespace vt
