#pragma once
// The FLV library's own error codes (texts in the error table).
namespace vt {

enum FlvErrorCode : int {
    kFlvErrOpen = 9001,       // the input cannot be opened
    kFlvErrWriteOpen = 9002,  // the output cannot be created
    kFlvErrSeek = 9003,
    kFlvErrTell = 9004,
    kFlvErrRead = 9005,        // a payload could not be read back while saving
    kFlvErrAviCreate = 9006,   // the AVI output could not be set up
    kFlvErrHeaderRead = 9010,  // shorter than an FLV header
    kFlvErrNotFlv = 9011,      // no "FLV" signature, or a bad header size
    kFlvErrNoMedia = 9012,     // neither audio nor video tags
    kFlvErrTagRead = 9013,
    kFlvErrContents = 9014,   // the tag chain is broken
    kFlvErrAudioSize = 9015,  // an audio tag too short for its own header
    kFlvErrVideoSize = 9016,  // a video tag too short for its own header
    kFlvErrHeaderWrite = 9017,
    kFlvErrTagSizeWrite = 9018,
    kFlvErrMetaWrite = 9019,
    kFlvErrTagWrite = 9020,
    kFlvErrFormat = 9021,     // files to be joined differ in format
    kFlvErrTimestamp = 9022,  // times that do not fit in 32 bits of milliseconds
    kFlvErrNoVideo = 9023,
    kFlvErrNoAudio = 9024,
    kFlvErrUnsupported = 9025,  // a codec or tag form this library does not handle
};

// A result of the library (0, one of the codes above, or kErrSilent for a
// save the user stopped) as a code of the error table. The library's codes are
// rows of that table, so they pass unchanged; every hand-over of a library
// result to the operations goes through here all the same, so that a code the
// table lacks would be caught in one place.
constexpr int ErrorFromFlv(int flvResult) {
    return flvResult;
}

}  // namespace vt
