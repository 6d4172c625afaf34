#pragma once
// Verified outputs: after an operation has written its output, the output is
// read back with our own readers and its packets are compared, in order and
// stream by stream, with the packets of the inputs that the operation meant
// to copy, found through the same readers and range decisions the operation
// takes (the key frame an extraction really begins at, audio moved onto
// whole frames, the files of a join in their order). Each packet is compared
// by a 64-bit hash of its bytes and its size, and video packets also by their
// key-frame flag. Qt-free.
//
// What is compared, per format:
// - AVI: every video frame (bytes, key flag); the audio as its data bytes in
//   blocks of 64 KiB, or packet by packet when the inputs' and the output's
//   audio are stored one frame a chunk (variable bit rate);
// - WAV: the audio data bytes, in blocks of 64 KiB;
// - WMV/WMA: every sample of every stream (bytes, and the key flag of all
//   streams), the output's stream numbers mapped back to the inputs';
// - FLV into FLV: every media tag's data (bytes, and the key flag of video);
// - FLV video into AVI: every frame as the separation writes it (H.263,
//   screen video and VP6 without the FLV tag's leading bytes, AVC converted
//   to start codes with the parameter sets before key frames); the empty
//   frames that keep the timing are not compared but counted;
// - FLV audio into MP3: the bytes of the MP3 frames; into AAC: every ADTS
//   frame (its header made from the configuration, and the frame's bytes).
// Not compared: times, stream headers, formats and metadata.
#include <cstdint>
#include <functional>
#include <string>

#include "ops/OpContract.h"

namespace vt {

struct VerifyResult {
    bool ok = false;       // everything compared was identical
    bool stopped = false;  // the check was stopped before its end
    int64_t videoPackets = 0;
    int64_t audioPackets = 0;  // audio compared packet by packet
    int64_t otherPackets = 0;  // Windows Media streams that are neither video nor audio
    int64_t audioBytes = -1;   // audio compared as its data bytes: their count; -1 when not so
    int64_t fillerFrames = 0;  // empty frames of an FLV separation that keep the timing, not compared
    // The first difference (stream, packet number from 1, what differs), or
    // why the check could not be made.
    std::string difference;

    // One line: "verified: N video and M audio packets identical to the
    // inputs", or the first difference. In the process's language.
    std::string Summary() const;
};

// Called now and then while the check reads (about every 64 packets);
// an answer of false stops it.
using VerifyPump = std::function<bool()>;

// Checks `job.output` against the inputs of `job` (as the operation's entry
// ran it, after its preparation). `format` is the page table's format data
// (kFormatAvi .. kFormatFlv). Reads the output once and the inputs' packets
// in the copied range; memory stays flat for AVI, WAV and FLV, and holds a
// 16-byte digest per expected packet for WMV/WMA.
VerifyResult VerifyOutput(const OpJob& job, int format, const VerifyPump& pump = {});

}  // namespace vt
