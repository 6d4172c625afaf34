#pragma once
// The one WAV file writer: a RIFF 'WAVE' file with 'fmt ', an optional
// 'fact' and 'data', whose data is appended unchanged. It owns the header
// layout, the 'fact' count (the PCM sample frames the data stands for), the
// size patching when the file is finished and the size limit of a RIFF file
// (32-bit sizes: 4 GiB, lower in tests).
//
// Larger files are written in the RF64 form (EBU Tech 3306): 'RF64' instead
// of 'RIFF', a 'ds64' chunk first after 'WAVE' with the 64-bit RIFF size,
// data size and sample count, and all ones in the 32-bit RIFF and data sizes.
// Only an output the caller expects to pass the RIFF limit is laid out for it:
// its header keeps a 'JUNK' chunk of the size of 'ds64' after 'WAVE', which
// becomes 'ds64' when the finished file did pass the limit (and stays as it
// is otherwise). Every other output is the plain RIFF file, byte for byte.
// Qt-free.
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <string>

#include "platform/ByteIO.h"
#include "platform/Riff.h"

namespace vt {

class WavWriter {
  public:
    struct Options {
        // The largest file made at all (tests lower it); past it the data is
        // refused (Limit).
        uint64_t maxFileBytes = std::numeric_limits<uint64_t>::max();
        // The largest file in the RIFF form: its sizes are 32-bit, so 4 GiB
        // (tests lower it). A file laid out for RF64 passes it in that form;
        // any other file is limited to it.
        uint64_t riffBytes = 0xFFFFFFFFull;
        // The data bytes the caller means to append, when it knows them: a
        // file whose header and data would pass riffBytes is laid out for
        // RF64. 0: not known, a RIFF file.
        uint64_t expectedDataBytes = 0;
        // Formats other than PCM always get a 'fact' chunk; PCM files get one too
        // when this is set (the WAV pages write it, the stream save does not).
        bool factForPcm = false;
    };
    enum class Created { Ok, OpenFailed, HeaderFailed };
    // ReadFailed: only from AppendCopy, whose source could not be read.
    enum class Appended { Ok, Failed, Limit, ReadFailed };

    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates (or empties) the file and writes its header: 'fmt ' holds
    // `format` as given (the caller chooses how many bytes of it), 'fact' a
    // count of 0 for now, and 'data' is opened. After HeaderFailed the file
    // is closed and left as it is; the caller decides whether to remove it.
    Created Create(const std::string& path, std::span<const uint8_t> format, const Options& options);
    bool IsOpen() const { return file_ != nullptr; }
    // True when the header was laid out for the RF64 form.
    bool LaidOutForRf64() const { return reserveDs64_; }

    // Appends to 'data'. Data that would take the file past its size limit is
    // refused (Limit), after the whole blocks of the format that still fit
    // have gone in, so that the file holds the audio up to the limit. Large
    // blocks (from 64 KiB) go to the file without being copied.
    Appended Append(const void* data, size_t n);
    // Appends n bytes that `copy(file, k)` writes at the file's position
    // itself (from another file, say), asked for their first k: all n, or
    // under the size limit the whole blocks that fit, as with Append. When
    // `copy` fails, nothing of its bytes is kept (ReadFailed when it could
    // not read them).
    using Copier = std::function<ByteIO::Copied(ByteIO& out, uint64_t bytes)>;
    Appended AppendCopy(uint64_t n, const Copier& copy);
    uint64_t DataBytes() const { return dataBytes_; }

    // Completes the file (data and RIFF sizes, the 'fact' count; the RF64
    // form when it passed the RIFF limit) and closes it; false when any of it
    // could not be written. `fallbackFrames` is the 'fact' count of a format
    // whose PCM form we do not know.
    bool Finish(uint32_t fallbackFrames = 0);

    // The size of the file that `dataBytes` bytes of `format` make with
    // `options` (expectedDataBytes as given decides the layout): what a run
    // that appends them all writes.
    static uint64_t FileBytes(std::span<const uint8_t> format, uint64_t dataBytes, const Options& options);

    // The 'fact' count of `dataBytes` bytes of `format`: the PCM sample
    // frames they stand for (capped at 32 bits), or `fallback` for a format
    // whose PCM form we do not know.
    static uint32_t FactFrames(std::span<const uint8_t> format, uint64_t dataBytes, uint32_t fallback = 0);
    // The same, uncapped (the sample count of 'ds64').
    static uint64_t Frames(std::span<const uint8_t> format, uint64_t dataBytes, uint64_t fallback = 0);

    // After a failed write the sizes in a WAV file's header need not match
    // what reached the disk: they (and the 'fact' count) are set from the
    // file's real length, in whole blocks of `format`, so that the file holds,
    // as a WAV file, what was written. A file laid out for RF64 whose length
    // passes `riffBytes` gets the RF64 form; any other file is cut at the RIFF
    // limit.
    static void RepairSizes(const std::string& path, std::span<const uint8_t> format,
                            uint64_t riffBytes = 0xFFFFFFFFull);

  private:
    bool WriteHeader();
    bool FinishSizes(uint32_t fallbackFrames);
    uint64_t Limit() const;
    // How many of n more data bytes fit under the size limit: all of them, or
    // (with `over` set) the whole blocks that do.
    uint64_t Fitting(uint64_t n, bool& over) const;

    std::unique_ptr<FileIO> file_;
    std::unique_ptr<RiffIO> riff_;
    std::vector<uint8_t> format_;
    Options options_;
    RiffChunk riffChunk_, junkChunk_, fmtChunk_, factChunk_, dataChunk_;
    bool hasFact_ = false;
    bool reserveDs64_ = false;
    uint64_t factPos_ = 0;
    uint64_t dataBytes_ = 0;
};

}  // namespace vt
