#pragma once
// WAV file writing for the WAV pages: a RIFF WAVE file with "fmt ", "fact" and
// "data" chunks, whose data is appended unchanged. WavWriter lays out the
// chunks and guards the size limit, CWavACM keeps the formats and checks that the file format is one we know
// (pairing it with its PCM format and counting the PCM sample frames that the
// data stands for, which goes into "fact"). Qt-free.
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/AviTypes.h"
#include "platform/ByteIO.h"
#include "platform/WavWriter.h"

namespace vt {

// An ACM stream header's place (the converting path is not built).
struct AcmStreamHeader {
    uint32_t cbStruct = 84;
    uint32_t fdwStatus = 0;
    std::vector<uint8_t> src, dst;
};

class CWavACM {
  public:
    CWavACM() = default;
    virtual ~CWavACM() = default;
    CWavACM(const CWavACM&) = delete;
    CWavACM& operator=(const CWavACM&) = delete;

  protected:
    bool PrepareFormats();
    bool OpenStreams();
    void Reset();

    WaveFormatEx pcmFormat_{};
    std::vector<uint8_t> fileFormat_;          // empty: none
    std::vector<uint8_t> intermediateFormat_;  // empty: one stream suffices
    bool mainStream_ = false;
    bool secondStream_ = false;
    AcmStreamHeader mainHeader_, secondHeader_;
    int64_t bytesDone_ = 0;
    int32_t dataLimit_ = -1;
    uint64_t pcmBytesIn_ = 0;
};

class CWaveFileACM : public CWavACM {
  public:
    CWaveFileACM() = default;
    ~CWaveFileACM() override;

    // Reading and converting paths: not built.
    virtual int OpenRead(const std::string& path);
    // 1 when the file was created, 0 on any failure (the object stays closed).
    // A format that cannot be written is refused before the file is made; a
    // file whose header could not be written is removed again.
    virtual int OpenWrite(const std::string& path);
    virtual int Read(void* buffer, int bytes);
    virtual int Write(const void* buffer, int bytes);
    virtual void Close();

    // A copy (cbSize + 18 bytes, at most 256) of the format to store in the file.
    void SetFileFormat(const WaveFormatEx* format);
    // Appends to "data" unchanged: n when all were written, else 0. Of data
    // that would take the file past its size limit, the whole blocks that fit
    // are written and 0 is returned (LimitReached).
    int WriteRaw(const void* data, int n);

    // The largest file this writer makes (no limit; tests lower it) and the
    // largest in the RIFF form (32-bit sizes: 4 GiB; tests lower it). Kept
    // across Close.
    void SetMaxFileBytes(uint64_t bytes) { maxFileBytes_ = bytes; }
    void SetRiffBytes(uint64_t bytes) { riffBytes_ = bytes; }
    // The data bytes the next file will get, when known: a file that will
    // pass the RIFF limit is written as RF64 (see WavWriter). 0: not known.
    void SetExpectedDataBytes(uint64_t bytes) { expectedDataBytes_ = bytes; }
    // The size of the file OpenWrite and `dataBytes` of data would make with
    // the format set (and the expected data as set).
    uint64_t FileBytesFor(uint64_t dataBytes) const;
    // True when the last refused write would have passed the size limit.
    bool LimitReached() const { return limitReached_; }

    const WaveFormatEx& PcmFormat() const { return pcmFormat_; }
    // False when the last Close could not complete the file on disk (sizes,
    // "fact" or the last buffered data not written).
    bool LastCloseOk() const { return lastCloseOk_; }

  private:
    int mode_ = 0;  // 0 reading, 1 writing
    bool lastCloseOk_ = true;
    bool limitReached_ = false;
    // The format block stored in the file: 16 bytes of PCM, else the whole
    // block the format set holds (cbSize + 18 bytes, at most 256).
    std::vector<uint8_t> StoredFormat() const;
    WavWriter::Options WriterOptions() const;

    uint64_t maxFileBytes_ = std::numeric_limits<uint64_t>::max();
    uint64_t riffBytes_ = 0xFFFFFFFFull;
    uint64_t expectedDataBytes_ = 0;
    WavWriter wav_;
};

}  // namespace vt
