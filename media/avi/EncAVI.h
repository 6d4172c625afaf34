#pragma once
// The AVI writer: creates an output file with a video stream and optionally an
// audio stream whose stream information and formats come from a reader, and
// appends compressed samples exactly as read, with their key-frame flags.
// Also the codec settings record that every writer loads and stores. Qt-free.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/AviFile.h"

namespace vt {

class OperationHost;

// MPEG audio and AC-3 stored with a sample of one byte (the way constant
// bit-rate audio is kept in AVI files and in WAV files) can be cut anywhere,
// but a decoder needs whole frames. Moves samples [first, end) of such a
// stream onto frame boundaries: first to the frame that starts at or after
// it, end to the frame boundary at or after it or, where the stream ends in a
// partial frame, to the end of the last whole one; both move by less than one
// frame. Any other audio is left as it is, and so is a boundary that cannot
// be found.
void AlignToAudioFrames(const AviStream& stream, int& first, int& end);

// Where the codec settings record lives ("AviVideoSettings" under the
// program's registry key): DWORD and binary values by name.
class AviSettingStore {
  public:
    virtual ~AviSettingStore() = default;
    virtual bool ReadDword(const std::string& name, uint32_t& value) = 0;
    // Fails when the value is missing or larger than maxBytes.
    virtual bool ReadBinary(const std::string& name, std::vector<uint8_t>& value, size_t maxBytes) = 0;
    virtual bool WriteDword(const std::string& name, uint32_t value) = 0;
    virtual bool WriteBinary(const std::string& name, const std::vector<uint8_t>& value) = 0;
};

// The settings record's values in the registry, under the key
// "Software\\<key name>\\AviVideoSettings" of HKEY_CURRENT_USER, in the
// user's store or in a given store file.
class RegistryAviSettingStore : public AviSettingStore {
  public:
    explicit RegistryAviSettingStore(const std::string& registryKeyName, std::string storeFile = {});
    bool ReadDword(const std::string& name, uint32_t& value) override;
    bool ReadBinary(const std::string& name, std::vector<uint8_t>& value, size_t maxBytes) override;
    bool WriteDword(const std::string& name, uint32_t value) override;
    bool WriteBinary(const std::string& name, const std::vector<uint8_t>& value) override;
    const std::string& SubKey() const { return subKey_; }

  private:
    std::string subKey_;
    std::string file_;
};

// The program's store: the registry key name of the settings file beside the
// program ("PARVEX" by default), in the user's registry.
std::shared_ptr<AviSettingStore> DefaultAviSettingStore();

// The codec settings record: read when a writer is made, written back when it
// goes. Without a store, the defaults are used and nothing is kept.
class CEncAVISetting {
  public:
    explicit CEncAVISetting(std::shared_ptr<AviSettingStore> store = nullptr);
    virtual ~CEncAVISetting();
    CEncAVISetting(const CEncAVISetting&) = delete;
    CEncAVISetting& operator=(const CEncAVISetting&) = delete;

    int32_t quality = 100;
    int32_t keyFrameInterval = 15;
    int32_t dataRate = 300;  // kilobytes per second
    uint32_t handler = 0;
    int32_t stateSize = 0;
    std::vector<uint8_t> stateBlock;   // compressor state ("AviCodec")
    std::vector<uint8_t> audioFormat;  // WAVEFORMATEX with its extra bytes ("AudioCodec")

    static constexpr size_t kMaxValueBytes = 4096;

  private:
    std::shared_ptr<AviSettingStore> store_;
};

// Compressor variables of the re-compression path (kept for its place; the
// path itself is not built).
struct CompressorVars {
    uint32_t cbSize = 0;
    uint32_t dwFlags = 0;
    uint32_t fccType = 0;
    uint32_t fccHandler = 0;
    int32_t lKey = 0;
    int32_t lDataRate = 0;
    int32_t lQ = 0;
};
struct CompressFramesRecord {
    uint32_t dwFlags = 0;
    int32_t lStartFrame = 0;
    int32_t lFrameCount = 0;
    int32_t lQuality = 0;
    int32_t lDataRate = 0;
    int32_t lKeyRate = 0;
    uint32_t dwRate = 0;
    uint32_t dwScale = 0;
};

// Writers made without a store use DefaultAviSettingStore(), as the pages'
// writers do; pass an explicit store (or a null one through
// NoAviSettingStore()) to keep the settings elsewhere.
std::shared_ptr<AviSettingStore> NoAviSettingStore();

class CEncAVI {
  public:
    CEncAVI() : CEncAVI(DefaultAviSettingStore()) {}
    explicit CEncAVI(std::shared_ptr<AviSettingStore> store);
    virtual ~CEncAVI();
    CEncAVI(const CEncAVI&) = delete;
    CEncAVI& operator=(const CEncAVI&) = delete;

    // Re-compression path (not built): always fails with 2006.
    virtual int WriteFrame(const void* frameBits);
    // Releases the streams and completes the file.
    virtual void Close();
    // Re-compression path (not built): always fails with 2001.
    virtual int CreateCompressed(const std::string& path);
    virtual int SetupCompressor();
    virtual void EndCompress();

    // Creates the file (replacing any file there) and its video stream.
    int CreateVideoStream(const std::string& path, const AviStreamInfo& info, const void* format,
                          int formatSize);
    // Appends one video sample (0 bytes: an empty sample) with its key-frame flag.
    int WriteVideoSamples(int samples, const void* data, int bytes, int keyFrame);
    // Appends sample `pos` of a reader's video stream with its key-frame flag,
    // copied from file to file (`samples` receives the count, 1): 0,
    // kErrAviStreamRead when the sample cannot be read, kErrAviStreamWrite,
    // or kCopyNotPossible when the streams do not allow it (a stream of
    // fixed-size samples): read the sample and WriteVideoSamples it instead.
    static constexpr int kCopyNotPossible = -1;
    int CopyVideoSample(const AviStream& source, int pos, int keyFrame, int* samples);
    // Appends one video sample whose bytes are [pos, pos + bytes) of
    // `source`, copied from file to file where the system can: 0,
    // kErrAviStreamRead when they cannot be read (nothing is appended), or
    // kErrAviStreamWrite.
    int WriteVideoSampleFrom(ByteIO& source, uint64_t pos, int bytes, int keyFrame);

    // Options of the files this writer creates (part size of OpenDML output).
    void SetWriteOptions(const AviWriteOptions& o) { writeOptions_ = o; }
    // The result of completing the last file (0 when it was written whole).
    int LastCloseResult() const { return lastClose_; }
    int GetVideoPosition() const { return videoPos_; }
    const AviStreamInfo& GetVideoInfo() const { return videoInfo_; }
    CEncAVISetting& Settings() { return settings_; }

  protected:
    int OpenFile(const std::string& path);

    int32_t videoPos_ = 0;
    std::shared_ptr<AviFile> file_;
    std::shared_ptr<AviStream> video_;
    std::shared_ptr<AviStream> source_;  // re-compression path: always null
    AviCompressOptions options_;
    CompressorVars compVars_;
    AviStreamInfo videoInfo_;
    BitmapInfoHeader frameFormat_;
    CEncAVISetting settings_;
    AviWriteOptions writeOptions_;
    int lastClose_ = 0;
};

class CEncAVI_Comp : public CEncAVI {
  public:
    CEncAVI_Comp() = default;
    explicit CEncAVI_Comp(std::shared_ptr<AviSettingStore> store) : CEncAVI(std::move(store)) {}
    void EndCompress() override;

  protected:
    CompressFramesRecord frames_;
};

class CEncAVIAudio : public CEncAVI_Comp {
  public:
    CEncAVIAudio() = default;
    explicit CEncAVIAudio(std::shared_ptr<AviSettingStore> store);
    ~CEncAVIAudio() override;

    void Close() override;

    // Adds the audio stream: to the file of CreateVideoStream when `path` is
    // empty, else to a new file at `path`. `format` holds cbSize + 18 bytes.
    int CreateAudioStream(const WaveFormatEx* format, const AviStreamInfo& info,
                          const std::string& path = {});
    // Appends audio; a sample count of 0 is worked out from the bytes and the
    // output format's block alignment. The counts written come back.
    int WriteAudio(int& samples, const void* data, int& bytes);
    // Copies samples [first, end) of a reader's audio stream, in blocks of at
    // most 400000 bytes; MPEG audio and AC-3 stored a byte a sample are first
    // moved onto whole frames (AlignToAudioFrames). A read failure asks `host`
    // (OK: stop with 2107, Cancel: skip one sample); without a host it stops
    // with 2107.
    int CopyAudio(int first, int end, const std::shared_ptr<AviStream>& source,
                  OperationHost* host = nullptr);

    int GetAudioPosition() const { return audioPos_; }
    bool AudioCreated() const { return audioCreated_ != 0; }

    static constexpr int kCopyBufferBytes = 400000;

  protected:
    std::shared_ptr<AviStream> audio_;
    int32_t audioPos_ = 0;
    int32_t audioCreated_ = 0;
};

}  // namespace vt
