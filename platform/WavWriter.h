#pragma once
// The one WAV file writer: a RIFF 'WAVE' file with 'fmt ', an optional
// 'fact' and 'data', whose data is appended unchanged. It owns the header
// layout, the 'fact' count (the PCM sample frames the data stands for), the
// size patching when the file is finished and the size limit of a RIFF file
// (32-bit sizes: 4 GiB, lower in tests). Every size the file ends with is
// written in FinishSizes, and the header is laid out in WriteHeader, so a
// larger-file form (a 'JUNK' room turned into 'ds64') changes those two
// places only. Qt-free.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/ByteIO.h"
#include "platform/Riff.h"

namespace vt {

class WavWriter {
  public:
    struct Options {
        // The largest file made: RIFF sizes are 32-bit, so at most 4 GiB.
        uint64_t maxFileBytes = 0xFFFFFFFFull;
        // Formats other than PCM always get a 'fact' chunk; PCM files get one too
        // when this is set (the WAV pages write it, the stream save does not).
        bool factForPcm = false;
    };
    enum class Created { Ok, OpenFailed, HeaderFailed };
    enum class Appended { Ok, Failed, Limit };

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

    // Appends to 'data'. Data that would take the file past its size limit is
    // refused (Limit), after the whole blocks of the format that still fit
    // have gone in, so that the file holds the audio up to the limit.
    Appended Append(const void* data, size_t n);
    uint64_t DataBytes() const { return dataBytes_; }

    // Completes the file (data and RIFF sizes, the 'fact' count) and closes
    // it; false when any of it could not be written. `fallbackFrames` is the
    // 'fact' count of a format whose PCM form we do not know.
    bool Finish(uint32_t fallbackFrames = 0);

    // The 'fact' count of `dataBytes` bytes of `format`: the PCM sample
    // frames they stand for (capped at 32 bits), or `fallback` for a format
    // whose PCM form we do not know.
    static uint32_t FactFrames(std::span<const uint8_t> format, uint64_t dataBytes, uint32_t fallback = 0);

    // After a failed write the sizes in a WAV file's header need not match
    // what reached the disk: they (and the 'fact' count) are set from the
    // file's real length, in whole blocks of `format`, so that the file holds,
    // as a WAV file, what was written.
    static void RepairSizes(const std::string& path, std::span<const uint8_t> format);

  private:
    bool WriteHeader();
    bool FinishSizes(uint32_t fallbackFrames);

    std::unique_ptr<FileIO> file_;
    std::unique_ptr<RiffIO> riff_;
    std::vector<uint8_t> format_;
    Options options_;
    RiffChunk riffChunk_, fmtChunk_, factChunk_, dataChunk_;
    bool hasFact_ = false;
    uint64_t factPos_ = 0;
    uint64_t dataBytes_ = 0;
};

}  // namespace vt
