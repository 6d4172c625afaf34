#pragma once
// The FLV library: opens an FLV file into an index of its tags (the media
// payloads stay in the file and are streamed when writing, so memory does not
// grow with the file), and saves it again as FLV, as MP3 audio or as AVI video,
// limited to a section or extended by further files. Every operation returns 0
// or an error code (9001 to 9025, see FlvErrors.h). Qt-free.
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "flv/Amf0.h"
#include "flv/FlvErrors.h"
#include "platform/ByteIO.h"

namespace vt {

// Progress of the save operations. OnProgress gets the work done and the total
// (same unit, both 32-bit); an answer of 1 stops the save, which then returns
// kErrSilent and leaves what it wrote so far (whole tags, frames). A save
// that fails removes its output instead.
class CFlvProcess {
  public:
    virtual ~CFlvProcess() = default;
    virtual int OnProgress(uint32_t done, uint32_t total) = 0;
};

// Keeps the last error code of an object of the library, and for some
// failures a sentence that says in plain words why (the codec that cannot be
// written, ...); empty otherwise.
class CFlvErrorHandler {
  public:
    virtual ~CFlvErrorHandler() = default;
    int GetLastError() const { return lastError_; }
    const std::string& GetLastErrorDetail() const { return lastDetail_; }

  protected:
    // Records `code` (0 clears) and its detail, and returns the code, for
    // `return Fail(...)`.
    int Fail(int code, std::string detail = {}) {
        lastError_ = code;
        lastDetail_ = std::move(detail);
        return code;
    }

  private:
    int lastError_ = 0;
    std::string lastDetail_;
};

enum FlvTagType : uint8_t { kFlvTagAudio = 8, kFlvTagVideo = 9, kFlvTagScript = 18 };

// Sound formats and video codec ids of the tag headers.
enum : uint8_t { kFlvSoundMp3 = 2, kFlvSoundAac = 10, kFlvSoundSpeex = 11, kFlvSoundMp3_8k = 14 };
// The name of a sound format, for messages ("Nellymoser 8 kHz", "Speex" ...).
std::string FlvSoundFormatName(uint8_t format);
enum : uint8_t {
    kFlvVideoH263 = 2,
    kFlvVideoScreen = 3,
    kFlvVideoVp6 = 4,
    kFlvVideoVp6Alpha = 5,
    kFlvVideoScreen2 = 6,
    kFlvVideoAvc = 7,
};

// One tag of the index: where its data is and what the tag header said.
// Packed into 16 bytes: a file of a million tags keeps a million of them.
struct FlvTag {
    static constexpr uint64_t kMaxOffset = (uint64_t(1) << 40) - 1;
    static constexpr size_t kMaxSources = size_t(1) << 15;

    uint64_t offset : 40 = 0;  // the data's position in its source (up to 1 TiB)
    uint64_t source : 15 = 0;  // which opened file holds the data
    // The source holds the tag's header and the size field behind its data
    // byte for byte as a save writes them (this time, stream id 0, the
    // tag's whole size): a save may copy them with the data.
    uint64_t asStored : 1 = 0;
    uint64_t head : 8 = 0;   // the first data byte (sound format / frame type and codec)
    uint32_t time = 0;       // milliseconds, as it will be written (changed through SetTime)
    uint32_t size : 24 = 0;  // data size
    uint32_t type : 5 = 0;   // kFlvTagAudio, kFlvTagVideo or kFlvTagScript
    // The data holds only the tag's header bytes (codec, frame type), no
    // frame: neither a media frame nor a key frame.
    uint32_t noFrame : 1 = 0;
    uint32_t packetCode : 2 = 3;  // 0, 1, 2 as read, 3 for any other value or none

    // A new time: the header in the source no longer is the one to write.
    void SetTime(uint32_t t) {
        if (t != time) asStored = 0;
        time = t;
    }
    // AAC and AVC packet type (second data byte); 0xFF for other codecs, and
    // for values other than 0, 1 and 2, which mean nothing to this library.
    uint8_t Packet() const { return packetCode == 3 ? uint8_t(0xFF) : uint8_t(packetCode); }
    void SetPacket(uint8_t p) { packetCode = (p <= 2 ? p : 3) & 3u; }
    uint8_t SoundFormat() const { return head >> 4; }
    uint8_t VideoCodec() const { return head & 0x0F; }
    uint8_t FrameType() const { return head >> 4; }
    bool IsSequenceHeader() const { return packetCode == 0; }
    bool IsEndOfSequence() const {
        return type == kFlvTagVideo && VideoCodec() == kFlvVideoAvc && packetCode == 2;
    }
    // A frame that a player can start decoding at.
    bool IsKeyFrame() const {
        return type == kFlvTagVideo && !noFrame && FrameType() == 1 &&
               (VideoCodec() != kFlvVideoAvc || packetCode == 1);
    }
    // The bytes of the data that come before the frame itself.
    uint32_t HeaderBytes() const;
    // A tag that carries media (not a decoder configuration, not an end marker,
    // not a video info/command frame).
    bool IsMediaFrame() const;
};
static_assert(sizeof(FlvTag) == 16);

// The index of a file. A deque grows without moving what it holds, so a
// large index never needs twice its room while it grows.
using FlvTagList = std::deque<FlvTag>;

class CFlvFile : public CFlvErrorHandler {
  public:
    CFlvFile();
    ~CFlvFile() override;
    CFlvFile(const CFlvFile&) = delete;
    CFlvFile& operator=(const CFlvFile&) = delete;

    // Reads the header, the tag chain and onMetaData. A file that ends inside
    // a tag (an interrupted download) opens with its complete tags.
    int Open(const std::string& path);
    // The same from any reader (the memory form serves tests).
    int Open(std::shared_ptr<ByteIO> in);

    // The audio as a file of its own: MP3 as a plain .mp3 stream, AAC as an
    // ADTS stream (.aac, a header per frame from the AudioSpecificConfig).
    // Other sound formats, and AAC that ADTS cannot carry, give 9025 with a
    // detail text that names the codec.
    int SaveAudio(const std::string& path, CFlvProcess* process);
    // The extension that SaveAudio's output should have: ".aac" for AAC
    // audio, ".mp3" otherwise.
    std::string AudioExtension() const;
    // The video as an AVI file, every frame as stored.
    int SaveAVI(const std::string& path, CFlvProcess* process);
    // Limits the file to [start, end) milliseconds for the next SaveAs; the
    // section begins at a key frame. An end of 0 means the end of the file.
    int Extract(uint32_t start, uint32_t end);
    // Where the last Extract's section really begins, in the times it was
    // given (milliseconds from the first frame): the key frame it steps back to.
    uint32_t SectionStart() const { return sectionStart_; }
    // Where Extract(start, end) would make the section begin (SectionStart
    // after it), from the index alone: the file is neither read nor changed.
    uint32_t SectionStartOf(uint32_t start, uint32_t end) const;
    // Appends `other` (opened) behind this file; with `continueTime` its times
    // go on after our last frame. Its files are shared with this object, which
    // reads them when saving: `other` itself may go after the call.
    // With `release` the index of `other` (another object) moves here while
    // it is appended, so that a join never holds it twice: `other` is left
    // without tags (its files are read through this object).
    int Add(CFlvFile* other, bool continueTime, bool release = false);
    // Writes the file with a rebuilt onMetaData.
    int SaveAs(const std::string& path, CFlvProcess* process);
    int SaveAs(ByteIO& out, CFlvProcess* process);

    // What was read.
    const FlvTagList& Tags() const { return tags_; }
    const AmfValue& MetaData() const { return meta_; }  // Undefined when the file had none
    bool HasAudio() const;
    bool HasVideo() const;
    // The length in milliseconds: from the first media tag to the end of the last frame.
    uint32_t Duration() const;
    // The decoder configurations (AVC, AAC sequence headers without their
    // 5- or 2-byte tag prefix); empty when there is none.
    const std::vector<uint8_t>& VideoConfig() const { return videoConfig_; }
    const std::vector<uint8_t>& AudioConfig() const { return audioConfig_; }
    // Picture size from the metadata or the first key frame; 0 when unknown.
    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }

    // Reads a tag's data (bounded by the tag's size).
    bool ReadTagData(const FlvTag& tag, std::vector<uint8_t>& out);

  private:
    // A section in the index's times: the tag it is cut at and where its
    // sound begins; `found` false when no frame lies in it.
    struct SectionPlan {
        uint64_t base = 0, s = 0, e = 0;  // the first frame's time, the start and the end
        size_t cut = 0;
        uint32_t t0 = 0;
        uint64_t soundFrom = 0;
        bool found = false;
    };
    SectionPlan PlanSection(uint32_t start, uint32_t end) const;
    bool SectionKeeps(const SectionPlan& plan, size_t i) const;
    int ParseTags(ByteIO& in, uint64_t dataOffset);
    void ReadConfigs();
    void FindPictureSize();
    uint32_t FirstMediaTime() const;
    FlvTagList DecoderConfigurations() const;
    uint32_t FrameDuration(uint8_t type) const;
    uint64_t LastEndTime() const;
    AmfValue BuildMetaData(const std::vector<uint32_t>& keyTimes, const std::vector<uint64_t>& keyPositions,
                           uint64_t fileSize) const;
    bool IsOneOfOurFiles(const std::string& path) const;
    int CheckAudioForSaving(uint64_t& total);
    bool CheckMp3HasFrames(const FlvTag& first);
    int WriteTagRuns(ByteIO& out, uint64_t firstTag, uint64_t metaSize, uint64_t fileSize,
                     CFlvProcess* process);
    bool DescribeWrittenTags(ByteIO& out, size_t count, uint64_t metaSize, uint64_t written);

    std::vector<std::shared_ptr<ByteIO>> sources_;
    FlvTagList tags_;
    AmfValue meta_;
    std::vector<uint8_t> videoConfig_, audioConfig_;
    uint32_t width_ = 0, height_ = 0;
    uint32_t sectionStart_ = 0;

    friend class FlvTagReader;
};

// Reads the data of a file's tags in their order, for the saves that change
// the data on the way: the data of neighbouring tags that will be asked for
// too comes with one read, straight into one buffer.
class FlvTagReader {
  public:
    explicit FlvTagReader(const CFlvFile& file) : file_(file) {}
    // The data of tag `i` of file.Tags() (valid until the next call); `wanted`
    // tells which later tags will be asked for (index -> bool). False when the
    // data cannot be read.
    template <class Wanted>
    bool Read(size_t i, const Wanted& wanted, std::span<const uint8_t>& data) {
        const FlvTag& t = file_.tags_[i];
        if (!Holds(t)) {
            uint64_t end = t.offset + uint64_t(t.size);
            const auto& tags = file_.tags_;
            for (size_t j = i + 1; j < tags.size(); ++j) {
                if (!wanted(j)) continue;
                const FlvTag& u = tags[j];
                if (u.source != t.source || u.offset < end || u.offset - end > kGap ||
                    u.offset + uint64_t(u.size) - t.offset > kSpan)
                    break;
                end = u.offset + uint64_t(u.size);
            }
            if (!Load(t.source, t.offset, end)) return false;
        }
        data = std::span<const uint8_t>(buf_.data() + (t.offset - start_), t.size);
        return true;
    }

  private:
    static constexpr uint64_t kGap = 4096;      // bytes not asked for that are read all the same
    static constexpr uint64_t kSpan = 1 << 20;  // the most read at once (unless one tag is larger)
    bool Holds(const FlvTag& t) const {
        return len_ > 0 && t.source == source_ && t.offset >= start_ &&
               t.offset + uint64_t(t.size) <= start_ + len_;
    }
    bool Load(uint16_t source, uint64_t start, uint64_t end);

    const CFlvFile& file_;
    std::vector<uint8_t> buf_;
    uint16_t source_ = 0;
    uint64_t start_ = 0;
    size_t len_ = 0;
};

// Scales a 64-bit progress pair to the 32 bits of CFlvProcess and asks it.
// True when the process asked to stop.
bool FlvProgressStop(CFlvProcess* process, uint64_t done, uint64_t total);

}  // namespace vt
