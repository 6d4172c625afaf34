#pragma once
// The AVI readers: open an AVI file (or a WAV file), pick its video stream
// and/or audio stream, keep their information and formats, and give
// sample-exact access to the compressed data. Qt-free.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "media/avi/MemBuff.h"
#include "platform/AviFile.h"

namespace vt {

// Abstract base of the movie readers.
class CDecMovie {
  public:
    CDecMovie() = default;
    virtual ~CDecMovie() = default;
    CDecMovie(const CDecMovie&) = delete;
    CDecMovie& operator=(const CDecMovie&) = delete;

    virtual int Open(const std::string& path) = 0;
    // Frame decompression: no decoder exists here, so always -1.
    virtual int GetFrame(int frame, const uint8_t** pixels) = 0;
    virtual void Close();
    virtual double GetFrameRate() const { return scale_ ? double(rate_) / double(scale_) : 0.0; }
    virtual int GetLength() const { return length_; }
    virtual int GetWidth() const { return width_; }
    virtual int GetHeight() const { return height_; }
    virtual BitmapInfoHeader* GetDIBHeader(BitmapInfoHeader* out);
    virtual int HasAudioFormat() const { return audioExtra_.GetData() ? 1 : 0; }
    virtual const WaveFormatEx* GetAudioFormat() const { return HasAudioFormat() ? &audioHeader_ : nullptr; }
    virtual int Hook(uint32_t, uint32_t, uint32_t) { return 0; }

  protected:
    BitmapInfoHeader frameHeader_{};
    int32_t width_ = 0;
    int32_t height_ = 0;
    uint32_t rate_ = 0;
    uint32_t scale_ = 0;
    int32_t length_ = 0;
    WaveFormatEx audioHeader_{};
    CMemBuffBase<unsigned char> audioExtra_;
};

// The video stream of an AVI file.
class CDecAVI : public CDecMovie {
  public:
    CDecAVI() = default;
    ~CDecAVI() override;

    int Open(const std::string& path) override;
    int GetFrame(int frame, const uint8_t** pixels) override;
    void Close() override;
    virtual void ReadVideoInfo();

    const std::shared_ptr<AviStream>& GetVideoStream() const { return video_; }
    const AviStreamInfo* GetVideoInfo() const { return &videoInfo_; }
    int GetVideoStart() const { return video_ ? video_->Start() : 0; }
    // The video format as a new C-heap block the caller frees with free().
    int ReadVideoFormat(void** block, int* size);
    int IsKeyFrame(int frame) const;
    // The compressed data at a position. An empty sample (a dropped frame)
    // reports its sample count and 0 bytes and leaves the buffer untouched.
    // The buffer grows to the sample when it is smaller, and never shrinks.
    int ReadVideoSample(int pos, int* samples, CMemBuffBase<unsigned char>& buffer, int* bytes);

    // Called at most once per `every` while Open reads the file's headers and
    // index (a large file takes seconds), so that a running page handles its
    // window messages; not called once Open has returned. Empty: nothing.
    void SetOpenPump(std::function<void()> pump,
                     std::chrono::milliseconds every = std::chrono::milliseconds(100)) {
        openPump_ = std::move(pump);
        openPumpEvery_ = every;
    }

    const std::string& TypeText() const { return typeText_; }
    const std::string& HandlerText() const { return handlerText_; }
    const std::string& CompressionText() const { return compressionText_; }

  protected:
    int OpenFile(const std::string& path, AviFileInfo& info);
    std::string typeText_, handlerText_, compressionText_;
    AviStreamInfo videoInfo_{};
    std::shared_ptr<AviStream> video_;
    std::shared_ptr<AviFile> file_;
    std::function<void()> openPump_;
    std::chrono::milliseconds openPumpEvery_{100};
};

// Adds the audio stream: the last audio stream of the file.
class CDecAVIAudio : public CDecAVI {
  public:
    CDecAVIAudio() = default;
    ~CDecAVIAudio() override;

    int Open(const std::string& path) override;
    void Close() override;
    const WaveFormatEx* GetAudioFormat() const override;
    virtual int ReadAudioInfo();

    const std::shared_ptr<AviStream>& GetAudioStream() const { return audio_; }
    const AviStreamInfo* GetAudioInfo() const { return &audioInfo_; }
    int HasAudio() const { return audio_ ? 1 : 0; }
    int GetAudioLength() const { return audio_ ? audio_->Length() : 0; }
    int GetAudioStart() const { return audio_ ? audio_->Start() : 0; }
    void SetAudioPos(int sample) { readPos_ = sample; }
    int GetAudioPos() const { return readPos_; }
    // Reads at the read position into `buffer` (capacity: the in value of
    // `bytes`) and advances the position by the samples read.
    int ReadAudio(int* samples, void* buffer, int* bytes);

    int GetSampleRate() const { return sampleRate_; }
    const std::string& ChannelsText() const { return channelsText_; }
    const std::string& FormatName() const { return formatName_; }
    // The audio format block's size in bytes (at least 18), 0 when none.
    int GetAudioFormatSize() const { return audioFormat_.GetCount(); }

  protected:
    int FindLastAudio(const AviFileInfo& info);
    std::shared_ptr<AviStream> audio_;
    AviStreamInfo audioInfo_{};
    CMemBuffBase<unsigned char> audioFormat_;
    int32_t readPos_ = 0;
    int32_t sampleRate_ = 0;
    std::string channelsText_;
    std::string formatName_;
};

// The audio stream only (WAV files and the audio of AVI files).
class CDecWAV : public CDecAVIAudio {
  public:
    CDecWAV() = default;
    ~CDecWAV() override;
    int Open(const std::string& path) override;
};

// The name of a wave format tag ("?" for one not in the list).
const char* WaveFormatTagName(uint16_t tag);

}  // namespace vt
