#include "flv/FlvFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>

#include "core/ErrorCodes.h"
#include "core/Strings.h"
#include "flv/FlvCodecs.h"
#include "platform/Bytes.h"

namespace vt {

namespace {

constexpr uint32_t kTagHeaderSize = 11;
constexpr uint32_t kFlvHeaderSize = 9;
constexpr uint32_t kMaxPictureSide = 16384;

// Removes what a failed save wrote: a stopped save keeps what it wrote, a
// failed one leaves nothing half-written behind.
void RemoveQuietly(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

}  // namespace

uint32_t FlvTag::HeaderBytes() const {
    if (type == kFlvTagAudio) return SoundFormat() == kFlvSoundAac ? 2 : 1;
    if (type != kFlvTagVideo) return 0;
    switch (VideoCodec()) {
        case kFlvVideoAvc:
            return 5;
        case kFlvVideoVp6:
        case kFlvVideoVp6Alpha:
            return 2;
        default:
            return 1;
    }
}

bool FlvTag::IsMediaFrame() const {
    if (noFrame) return false;
    if (type == kFlvTagAudio) return !(SoundFormat() == kFlvSoundAac && packetCode == 0);
    if (type != kFlvTagVideo) return false;
    if (FrameType() == 5) return false;  // video info / command frame
    if (VideoCodec() == kFlvVideoAvc) return packetCode == 1;
    return true;
}

bool FlvProgressStop(CFlvProcess* process, uint64_t done, uint64_t total) {
    if (!process) return false;
    while (total > std::numeric_limits<uint32_t>::max()) {
        total >>= 1;
        done >>= 1;
    }
    return process->OnProgress(uint32_t(std::min(done, total)), uint32_t(total)) == 1;
}

CFlvFile::CFlvFile() = default;
CFlvFile::~CFlvFile() = default;

// ------------------------------------------------------------------ reading

int CFlvFile::Open(const std::string& path) {
    // Every read of ours goes past the buffer (ReadAt), and a joined file
    // keeps all its inputs open: the smallest buffer will do.
    auto file = std::make_shared<FileIO>();
    if (!file->Open(path, FileIO::Mode::Read, 4096)) return Fail(kFlvErrOpen);
    return Open(std::shared_ptr<ByteIO>(std::move(file)));
}

int CFlvFile::Open(std::shared_ptr<ByteIO> in) {
    sources_.clear();
    tags_.clear();
    meta_ = AmfValue();
    videoConfig_.clear();
    audioConfig_.clear();
    width_ = height_ = 0;
    if (!in) return Fail(kFlvErrOpen);

    uint8_t h[kFlvHeaderSize];
    if (!in->Seek(0)) return Fail(kFlvErrSeek);
    if (!in->ReadExact(h, sizeof h)) return Fail(kFlvErrHeaderRead);
    if (h[0] != 'F' || h[1] != 'L' || h[2] != 'V') return Fail(kFlvErrNotFlv);
    ByteReader header(h, sizeof h);
    header.Skip(5);  // "FLV", version, flags
    uint32_t dataOffset = header.U32BE();
    if (dataOffset < kFlvHeaderSize || dataOffset > in->Size()) return Fail(kFlvErrNotFlv);

    sources_.push_back(in);
    int err = ParseTags(*in, dataOffset);
    if (err == 0 && !HasAudio() && !HasVideo()) err = kFlvErrNoMedia;
    if (err != 0) {
        sources_.clear();
        tags_.clear();
        meta_ = AmfValue();
        return Fail(err);
    }
    ReadConfigs();
    FindPictureSize();
    return Fail(0);
}

namespace {

// The bytes around the tag headers, read a little at a time: opening a file
// visits every tag header, and small reads there keep it from reading (and
// copying) the media data that lies between them. Small tags share a read,
// which grows while they fill it.
class HeaderWindow {
  public:
    explicit HeaderWindow(ByteIO& in) : in_(in), size_(in.Size()) {}
    // Points at the `n` bytes (at most kMin) at `pos`; null when the source
    // ends before them or cannot be read.
    // `header` counts the read as one more tag header the window served.
    const uint8_t* At(uint64_t pos, size_t n, bool header) {
        if (pos >= start_ && pos - start_ + n <= len_) {
            served_ += header;
            return buf_ + (pos - start_);
        }
        if (pos >= size_ || n > kMin) return nullptr;
        // Tags that used up the window grow the next one; a large tag in
        // between brings it back to its smallest.
        const uint64_t end = start_ + len_;
        const bool next = len_ > 0 && pos >= end && pos - end < want_;
        want_ = next && served_ >= 2 ? std::min(want_ * 2, sizeof buf_) : kMin;
        served_ = header;
        start_ = pos;
        len_ = in_.ReadAt(pos, buf_, size_t(std::min<uint64_t>(want_, size_ - pos)));
        return n <= len_ ? buf_ : nullptr;
    }

  private:
    static constexpr size_t kMin = 1024;
    ByteIO& in_;
    const uint64_t size_;
    uint64_t start_ = 0;
    size_t len_ = 0;
    size_t want_ = kMin;
    size_t served_ = 0;
    uint8_t buf_[16 << 10];
};

}  // namespace

int CFlvFile::ParseTags(ByteIO& in, uint64_t pos) {
    const uint64_t fileSize = in.Size();
    uint32_t lastSize = 0;  // data size of the previous tag
    bool first = true;
    // The last tag kept has a header as a save writes it; its size field
    // (read with the next header) decides whether it is kept as stored.
    bool lastAsStored = false;
    std::vector<uint8_t> script;
    HeaderWindow window(in);
    for (;;) {
        // The previous tag's size and this tag's header.
        constexpr size_t kHead = 4 + kTagHeaderSize;
        const uint8_t* h = window.At(pos, kHead, true);
        if (!h) break;  // the end, or a tag cut short
        ByteReader r(h, kHead);
        const uint32_t prev = r.U32BE();
        const uint8_t rawType = r.U8();
        const uint32_t size = r.U24BE();
        const uint32_t timeLow = r.U24BE();
        const uint32_t time = timeLow | (uint32_t(r.U8()) << 24);
        // Writers differ: the tag's whole size is right, a few leave out the
        // header or write 0. Anything else means the chain is broken.
        bool prevOk = first ? true : (prev == lastSize + kTagHeaderSize || prev == lastSize || prev == 0);
        if (!prevOk) return kFlvErrContents;
        if (lastAsStored && prev == lastSize + kTagHeaderSize) tags_.back().asStored = 1;
        lastAsStored = false;
        if (rawType & 0x20) return kFlvErrUnsupported;  // encrypted tags
        uint8_t type = rawType & 0x1F;
        if (type != kFlvTagAudio && type != kFlvTagVideo && type != kFlvTagScript) return kFlvErrContents;
        uint64_t dataPos = pos + kHead;
        if (size > fileSize - std::min(fileSize, dataPos)) break;  // cut short inside the data
        pos = dataPos + size;
        lastSize = size;
        first = false;
        if (size == 0) continue;  // nothing to carry
        if (dataPos > FlvTag::kMaxOffset) return kFlvErrUnsupported;

        FlvTag tag;
        tag.offset = dataPos & FlvTag::kMaxOffset;
        tag.size = size & 0xFFFFFF;
        tag.time = time;
        tag.type = type & 0x1F;
        const size_t lead = std::min<uint32_t>(size, 2);
        const uint8_t* b = window.At(dataPos, lead, false);
        if (!b) return kFlvErrTagRead;
        tag.head = b[0];
        tag.noFrame = type != kFlvTagScript && size <= tag.HeaderBytes();
        if (type == kFlvTagAudio) {
            if (tag.SoundFormat() == kFlvSoundAac) {
                if (size < 2) return kFlvErrAudioSize;
                tag.SetPacket(b[1]);
            }
        } else if (type == kFlvTagVideo) {
            if (tag.FrameType() == 5) continue;  // info / command frames carry no picture
            switch (tag.VideoCodec()) {
                case kFlvVideoAvc:
                    if (size < 5) return kFlvErrVideoSize;
                    tag.SetPacket(b[1]);
                    break;
                case kFlvVideoVp6:
                    if (size < 2) return kFlvErrVideoSize;
                    break;
                case kFlvVideoVp6Alpha:
                    if (size < 5 && !tag.noFrame) return kFlvErrVideoSize;
                    break;
                default:
                    break;
            }
        } else {
            // Script data: the first onMetaData is read; the rest are kept as they are.
            script.resize(size);
            if (in.ReadAt(dataPos, script.data(), size) != size) return kFlvErrTagRead;
            MemoryIO mem{std::span<const uint8_t>(script)};
            AmfValue name;
            if (ReadAmfValue(mem, name) && (name.type == AmfValue::Type::String) &&
                name.text == "onMetaData") {
                AmfValue value;
                if (meta_.type == AmfValue::Type::Undefined && ReadAmfValue(mem, value) && value.IsMap())
                    meta_ = std::move(value);
                continue;  // rebuilt when saving
            }
        }
        tags_.push_back(tag);
        lastAsStored = rawType == type && h[12] == 0 && h[13] == 0 && h[14] == 0;  // stream id 0
    }
    return 0;
}

bool CFlvFile::ReadTagData(const FlvTag& tag, std::vector<uint8_t>& out) {
    if (tag.source >= sources_.size()) return false;
    ByteIO& in = *sources_[tag.source];
    if (tag.offset + uint64_t(tag.size) > in.Size()) return false;
    out.resize(tag.size);
    return in.ReadAt(tag.offset, out.data(), out.size()) == out.size();
}

void CFlvFile::ReadConfigs() {
    std::vector<uint8_t> data;
    for (const FlvTag& t : tags_) {
        if (!t.IsSequenceHeader()) continue;
        bool video = t.type == kFlvTagVideo;
        auto& config = video ? videoConfig_ : audioConfig_;
        if (!config.empty() || !ReadTagData(t, data)) continue;
        size_t skip = video ? 5 : 2;
        if (data.size() > skip) config.assign(data.begin() + skip, data.end());
        if (!videoConfig_.empty() && !audioConfig_.empty()) break;
    }
}

void CFlvFile::FindPictureSize() {
    double w = meta_.NumberOr("width", 0), h = meta_.NumberOr("height", 0);
    if (w >= 1 && h >= 1 && w <= kMaxPictureSide && h <= kMaxPictureSide) {
        width_ = uint32_t(w);
        height_ = uint32_t(h);
        return;
    }
    AvcConfig avc;
    if (!videoConfig_.empty() && ParseAvcConfig(videoConfig_, avc) && !avc.sps.empty()) {
        if (AvcSpsSize(avc.sps[0], width_, height_)) return;
    }
    std::vector<uint8_t> data;
    for (const FlvTag& t : tags_) {
        if (!t.IsKeyFrame() || !ReadTagData(t, data)) continue;
        std::span<const uint8_t> d(data);
        bool ok = false;
        uint32_t cw = 0, ch = 0;
        switch (t.VideoCodec()) {
            case kFlvVideoH263:
                ok = H263PictureSize(d.subspan(1), cw, ch);
                break;
            case kFlvVideoScreen:
            case kFlvVideoScreen2:
                ok = ScreenVideoSize(d.subspan(1), cw, ch);
                break;
            case kFlvVideoVp6:
            case kFlvVideoVp6Alpha: {
                size_t skip = t.VideoCodec() == kFlvVideoVp6 ? 2 : 5;
                if (d.size() > skip && Vp6PictureSize(d.subspan(skip), cw, ch)) {
                    uint8_t adjust = d[1];
                    uint32_t dw = adjust >> 4, dh = adjust & 0x0F;
                    ok = cw > dw && ch > dh;
                    cw -= ok ? dw : 0;
                    ch -= ok ? dh : 0;
                }
                break;
            }
            default:
                break;
        }
        if (ok && cw <= kMaxPictureSide && ch <= kMaxPictureSide) {
            width_ = cw;
            height_ = ch;
        }
        return;  // only the first key frame is asked
    }
}

bool CFlvFile::HasAudio() const {
    return std::any_of(tags_.begin(), tags_.end(), [](const FlvTag& t) { return t.type == kFlvTagAudio; });
}

bool CFlvFile::HasVideo() const {
    return std::any_of(tags_.begin(), tags_.end(), [](const FlvTag& t) { return t.type == kFlvTagVideo; });
}

uint32_t CFlvFile::FirstMediaTime() const {
    uint32_t first = std::numeric_limits<uint32_t>::max();
    for (const FlvTag& t : tags_)
        if (t.IsMediaFrame()) first = std::min(first, t.time);
    return first == std::numeric_limits<uint32_t>::max() ? 0 : first;
}

// The typical distance between two frames of a stream: the median step.
uint32_t CFlvFile::FrameDuration(uint8_t type) const {
    FrameSteps steps;
    for (const FlvTag& t : tags_)
        if (t.type == type && t.IsMediaFrame()) steps.AddTime(t.time);
    uint32_t d = steps.Median();
    if (d == 0 && type == kFlvTagVideo) {
        double fps = meta_.NumberOr("framerate", 0);
        if (fps >= 1 && fps <= 1000) d = uint32_t(1000 / fps + 0.5);
    }
    return d;
}

// The end of the last frame: its time plus one frame, over both streams.
uint64_t CFlvFile::LastEndTime() const {
    uint64_t end = 0;
    for (uint8_t type : {kFlvTagAudio, kFlvTagVideo}) {
        bool have = false;
        uint32_t last = 0;
        for (const FlvTag& t : tags_)
            if (t.type == type && t.IsMediaFrame()) {
                last = std::max(last, t.time);
                have = true;
            }
        if (have) end = std::max<uint64_t>(end, uint64_t(last) + FrameDuration(type));
    }
    return end;
}

uint32_t CFlvFile::Duration() const {
    uint64_t end = LastEndTime(), first = FirstMediaTime();
    return end > first ? uint32_t(std::min<uint64_t>(end - first, std::numeric_limits<uint32_t>::max())) : 0;
}

// ------------------------------------------------------------------ editing

CFlvFile::SectionPlan CFlvFile::PlanSection(uint32_t start, uint32_t end) const {
    SectionPlan p;
    p.base = FirstMediaTime();
    p.s = p.base + start;
    const uint64_t fileEnd = LastEndTime();
    p.e = (end == 0 || p.base + end >= fileEnd) ? std::numeric_limits<uint64_t>::max() : p.base + end;

    // Where the section begins: the last key frame at or before the start (so
    // that the section holds the start), or for sound alone, the first audio
    // frame at or after it.
    p.cut = tags_.size();
    const bool video = HasVideo();
    if (p.s < p.e && p.s < fileEnd) {
        for (size_t i = 0; i < tags_.size(); ++i) {
            const FlvTag& t = tags_[i];
            if (video) {
                if (!t.IsKeyFrame()) continue;
                if (t.time <= p.s || p.cut == tags_.size()) p.cut = i;
                if (t.time > p.s) break;
            } else if (t.type == kFlvTagAudio && t.IsMediaFrame() && t.time >= p.s) {
                p.cut = i;
                break;
            }
        }
    }
    p.found = p.cut < tags_.size() && tags_[p.cut].time < p.e;
    if (p.found) {
        p.t0 = tags_[p.cut].time;
        // Sound starts with the section; when the start lies before the first
        // key frame, the sound before that frame belongs to the section too.
        p.soundFrom = std::min<uint64_t>(p.t0, p.s);
    }
    return p;
}

bool CFlvFile::SectionKeeps(const SectionPlan& p, size_t i) const {
    const FlvTag& t = tags_[i];
    if (t.IsSequenceHeader()) return i > p.cut && t.time < p.e;
    if (t.IsEndOfSequence()) return i > p.cut && p.e == std::numeric_limits<uint64_t>::max();
    if (t.type == kFlvTagVideo) return i >= p.cut && t.time < p.e;
    return t.time >= p.soundFrom && t.time < p.e;
}

uint32_t CFlvFile::SectionStartOf(uint32_t start, uint32_t end) const {
    const SectionPlan p = PlanSection(start, end);
    if (!p.found) return start;
    uint32_t rebase = p.t0;
    for (size_t i = 0; i < tags_.size(); ++i)
        if (tags_[i].IsMediaFrame() && tags_[i].time < rebase && SectionKeeps(p, i)) rebase = tags_[i].time;
    return uint32_t(std::max<uint64_t>(rebase, p.base) - p.base);
}

int CFlvFile::Extract(uint32_t start, uint32_t end) {
    if (sources_.empty()) return Fail(kFlvErrNoMedia);
    const SectionPlan p = PlanSection(start, end);
    // Kept for a section without frames, which keeps the decoder
    // configurations (AVC, AAC): they tell a player which streams the file
    // has and how to set them up.
    FlvTagList configs = DecoderConfigurations();
    sectionStart_ = start;
    size_t kept = 0;
    if (p.found) {
        // The decoder configurations in force at the cut go first.
        std::vector<FlvTag> headers;
        const FlvTag* videoHeader = nullptr;
        const FlvTag* audioHeader = nullptr;
        for (size_t i = 0; i < p.cut; ++i) {
            const FlvTag& t = tags_[i];
            if (!t.IsSequenceHeader()) continue;
            (t.type == kFlvTagVideo ? videoHeader : audioHeader) = &t;
        }
        for (const FlvTag* h : {videoHeader, audioHeader})
            if (h) headers.push_back(*h);
        // The section's tags move to the front of the index, in place: the
        // index is never held twice.
        uint32_t rebase = p.t0;
        for (size_t i = 0; i < tags_.size(); ++i) {
            if (!SectionKeeps(p, i)) continue;
            const FlvTag t = tags_[i];
            if (t.IsMediaFrame()) rebase = std::min(rebase, t.time);
            tags_[kept++] = t;
        }
        tags_.resize(kept);
        for (FlvTag& t : tags_) t.SetTime(t.time - std::min(t.time, rebase));
        for (auto h = headers.rbegin(); h != headers.rend(); ++h) {
            tags_.push_front(*h);
            tags_.front().SetTime(0);
        }
        sectionStart_ = uint32_t(std::max<uint64_t>(rebase, p.base) - p.base);
    } else {
        tags_.clear();
    }
    if (std::none_of(tags_.begin(), tags_.end(), [](const FlvTag& t) { return t.IsMediaFrame(); }))
        tags_ = std::move(configs);
    return Fail(0);
}

// Per stream, its first decoder configuration tag, at time 0.
FlvTagList CFlvFile::DecoderConfigurations() const {
    FlvTagList out;
    for (uint8_t type : {kFlvTagVideo, kFlvTagAudio}) {
        auto t = std::find_if(tags_.begin(), tags_.end(),
                              [type](const FlvTag& x) { return x.type == type && x.IsSequenceHeader(); });
        if (t == tags_.end()) continue;
        out.push_back(*t);
        out.back().SetTime(0);
    }
    return out;
}

// Why `b` cannot follow `a` in one file, in plain words ("" when it can):
// the streams, the video codec, its decoder configuration and picture size,
// the audio header byte and the audio decoder configuration.
static std::string FormatDifference(const CFlvFile& a, const CFlvFile& b) {
    auto T = [](const std::string& ja, const std::string& en) { return SelectByLanguage(ja, en); };
    auto presence = [&](bool has, const char* ja, const char* en) {
        return has ? T(std::string(ja) + "あり、最初のファイルは" + ja + "なし",
                       std::string("has ") + en + ", first file none")
                   : T(std::string(ja) + "なし、最初のファイルは" + ja + "あり",
                       std::string("no ") + en + ", first file has " + en);
    };
    if (a.HasVideo() != b.HasVideo()) return presence(b.HasVideo(), "映像", "video");
    if (a.HasAudio() != b.HasAudio()) return presence(b.HasAudio(), "音声", "audio");
    auto firstOf = [](const CFlvFile& f, uint8_t type) -> const FlvTag* {
        for (const FlvTag& t : f.Tags())
            if (t.type == type) return &t;
        return nullptr;
    };
    auto hex = [](unsigned v) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "0x%02X", v);
        return std::string(buf);
    };
    if (a.HasVideo()) {
        const FlvTag* va = firstOf(a, kFlvTagVideo);
        const FlvTag* vb = firstOf(b, kFlvTagVideo);
        auto codec = [](uint8_t c) {
            static const char* const kNames[] = {"0",   "1",    "H.263",   "Screen",
                                                 "VP6", "VP6A", "Screen2", "H.264"};
            return std::string(c < 8 ? kNames[c] : "?");
        };
        if (va->VideoCodec() != vb->VideoCodec())
            return T(
                "映像コーデック " + codec(vb->VideoCodec()) + "、最初のファイルは " + codec(va->VideoCodec()),
                "video codec " + codec(vb->VideoCodec()) + ", first file " + codec(va->VideoCodec()));
        if (a.Width() && b.Width() && (a.Width() != b.Width() || a.Height() != b.Height())) {
            const std::string sb = std::to_string(b.Width()) + "\u00D7" + std::to_string(b.Height());
            const std::string sa = std::to_string(a.Width()) + "\u00D7" + std::to_string(a.Height());
            return T("画像サイズ " + sb + "、最初のファイルは " + sa,
                     "picture size " + sb + ", first file " + sa);
        }
        if (a.VideoConfig() != b.VideoConfig())
            return T("映像のデコーダ設定が最初のファイルと違います",
                     "video decoder configuration differs from the first file's");
    }
    if (a.HasAudio()) {
        const FlvTag* aa = firstOf(a, kFlvTagAudio);
        const FlvTag* ab = firstOf(b, kFlvTagAudio);
        if (aa->head != ab->head)
            return T("音声ヘッダ " + hex(ab->head) + " (" + FlvSoundFormatName(ab->SoundFormat()) +
                         ")、最初のファイルは " + hex(aa->head) + " (" +
                         FlvSoundFormatName(aa->SoundFormat()) + ")",
                     "audio header byte " + hex(ab->head) + " (" + FlvSoundFormatName(ab->SoundFormat()) +
                         "), first file " + hex(aa->head) + " (" + FlvSoundFormatName(aa->SoundFormat()) +
                         ")");
        if (a.AudioConfig() != b.AudioConfig())
            return T("音声のデコーダ設定が最初のファイルと違います",
                     "audio decoder configuration differs from the first file's");
    }
    return {};
}

int CFlvFile::Add(CFlvFile* other, bool continueTime, bool release) {
    if (sources_.empty()) return Fail(kFlvErrNoMedia);
    if (!other || other->sources_.empty() || (!other->HasAudio() && !other->HasVideo()))
        return Fail(kFlvErrNoMedia);
    if (std::string why = FormatDifference(*this, *other); !why.empty()) return Fail(kFlvErrFormat, why);
    if (sources_.size() + other->sources_.size() > FlvTag::kMaxSources) return Fail(kFlvErrUnsupported);

    // `other` may be this very object: then a copy of its tags is walked.
    FlvTagList copy;
    if (other == this) copy = tags_;
    const FlvTagList& theirs = other == this ? copy : other->tags_;
    const auto theirSources = other->sources_;
    int64_t shift = 0;
    if (continueTime) shift = int64_t(LastEndTime()) - int64_t(other->FirstMediaTime());
    for (const FlvTag& t : theirs)
        if (int64_t(t.time) + shift > int64_t(std::numeric_limits<uint32_t>::max()))
            return Fail(kFlvErrTimestamp);

    // An end-of-sequence marker would stop the decoder in the middle.
    std::erase_if(tags_, [](const FlvTag& t) { return t.IsEndOfSequence(); });
    const uint16_t sourceBase = uint16_t(sources_.size());
    sources_.insert(sources_.end(), theirSources.begin(), theirSources.end());
    auto append = [&](FlvTag t) {
        if (t.IsSequenceHeader()) return;  // the same configuration is already there
        // Script data stamped before the first frame stays at the join.
        t.SetTime(uint32_t(std::max<int64_t>(0, int64_t(t.time) + shift)));
        t.source = (t.source + sourceBase) & (FlvTag::kMaxSources - 1);
        tags_.push_back(t);
    };
    if (release && other != this) {
        // Their index moves over a block at a time: never twice in memory.
        for (; !other->tags_.empty(); other->tags_.pop_front()) append(other->tags_.front());
        other->tags_.shrink_to_fit();
    } else {
        for (const FlvTag& t : theirs) append(t);
    }
    return Fail(0);
}

// ------------------------------------------------------------------ writing

bool CFlvFile::IsOneOfOurFiles(const std::string& path) const {
    struct stat out {};
    if (::stat(path.c_str(), &out) != 0) return false;
    for (const auto& s : sources_) {
        const auto* f = dynamic_cast<const FileIO*>(s.get());
        struct stat in {};
        if (f && ::stat(f->Path().c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino)
            return true;
    }
    return false;
}

bool FlvTagReader::Load(uint16_t source, uint64_t start, uint64_t end) {
    len_ = 0;
    if (source >= file_.sources_.size() || end < start) return false;
    ByteIO& in = *file_.sources_[source];
    const size_t n = size_t(end - start);
    if (buf_.size() < n) buf_.resize(n);
    if (in.ReadAt(start, buf_.data(), n) != n) return false;
    source_ = source;
    start_ = start;
    len_ = n;
    return true;
}

AmfValue CFlvFile::BuildMetaData(const std::vector<uint32_t>& keyTimes,
                                 const std::vector<uint64_t>& keyPositions, uint64_t fileSize) const {
    AmfValue m = AmfValue::Ecma();
    const double duration = Duration() / 1000.0;
    const bool video = HasVideo(), audio = HasAudio();
    uint64_t videoBytes = 0, audioBytes = 0;
    uint32_t lastTime = 0;
    FrameSteps videoSteps;
    size_t videoFrames = 0;
    const FlvTag* firstVideo = nullptr;
    const FlvTag* firstAudio = nullptr;
    for (const FlvTag& t : tags_) {
        lastTime = std::max(lastTime, t.time);
        if (t.type == kFlvTagVideo) {
            videoBytes += t.size;
            if (t.IsMediaFrame()) {
                videoSteps.AddTime(t.time);
                ++videoFrames;
            }
            if (!firstVideo) firstVideo = &t;
        } else if (t.type == kFlvTagAudio) {
            audioBytes += t.size;
            if (!firstAudio) firstAudio = &t;
        }
    }
    m.Set("duration", AmfValue::Num(duration));
    if (video) {
        if (width_ && height_) {
            m.Set("width", AmfValue::Num(width_));
            m.Set("height", AmfValue::Num(height_));
        }
        m.Set("videodatarate", AmfValue::Num(duration > 0 ? double(videoBytes) * 8 / 1000.0 / duration : 0));
        m.Set("framerate", AmfValue::Num(videoFrames > 1 ? EstimateFrameRate(videoSteps).Fps() : 0));
        m.Set("videocodecid", AmfValue::Num(firstVideo->VideoCodec()));
    }
    if (audio) {
        static const double rates[4] = {5512.5, 11025, 22050, 44100};
        double rate = rates[(firstAudio->head >> 2) & 3];
        bool stereo = firstAudio->head & 1;
        if (firstAudio->SoundFormat() == kFlvSoundAac && audioConfig_.size() >= 2) {
            // AudioSpecificConfig: the real rate and channels.
            static const uint32_t aacRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                                22050, 16000, 12000, 11025, 8000,  7350};
            unsigned index = ((audioConfig_[0] & 7) << 1) | (audioConfig_[1] >> 7);
            if (index < std::size(aacRates)) rate = aacRates[index];
            stereo = ((audioConfig_[1] >> 3) & 0x0F) >= 2;
        } else if (firstAudio->SoundFormat() == kFlvSoundMp3_8k) {
            rate = 8000;
        }
        m.Set("audiodatarate", AmfValue::Num(duration > 0 ? double(audioBytes) * 8 / 1000.0 / duration : 0));
        m.Set("audiosamplerate", AmfValue::Num(rate));
        m.Set("audiosamplesize", AmfValue::Num((firstAudio->head & 2) ? 16 : 8));
        m.Set("stereo", AmfValue::Bool(stereo));
        m.Set("audiocodecid", AmfValue::Num(firstAudio->SoundFormat()));
    }
    m.Set("filesize", AmfValue::Num(double(fileSize)));
    m.Set("lasttimestamp", AmfValue::Num(lastTime / 1000.0));
    m.Set("lastkeyframetimestamp", AmfValue::Num(keyTimes.empty() ? 0 : keyTimes.back() / 1000.0));
    m.Set("lastkeyframelocation", AmfValue::Num(keyPositions.empty() ? 0 : double(keyPositions.back())));
    m.Set("hasVideo", AmfValue::Bool(video));
    m.Set("hasAudio", AmfValue::Bool(audio));
    m.Set("hasMetadata", AmfValue::Bool(true));
    m.Set("hasKeyframes", AmfValue::Bool(!keyTimes.empty()));
    m.Set("canSeekToEnd", AmfValue::Bool(!tags_.empty() && tags_.back().IsKeyFrame()));
    // Descriptive texts of the source (encoder and the like) stay.
    for (const auto& [key, value] : meta_.props)
        if ((value.type == AmfValue::Type::String || value.type == AmfValue::Type::LongString) &&
            !m.Find(key))
            m.Set(key, value);
    AmfValue keyframes = AmfValue::Obj();
    AmfValue times = AmfValue::Array(), positions = AmfValue::Array();
    for (uint32_t t : keyTimes) times.items.push_back(AmfValue::Num(t / 1000.0));
    for (uint64_t p : keyPositions) positions.items.push_back(AmfValue::Num(double(p)));
    keyframes.Set("times", std::move(times));
    keyframes.Set("filepositions", std::move(positions));
    m.Set("keyframes", std::move(keyframes));
    return m;
}

int CFlvFile::SaveAs(const std::string& path, CFlvProcess* process) {
    if (sources_.empty()) return Fail(kFlvErrNoMedia);
    if (IsOneOfOurFiles(path)) return Fail(kFlvErrWriteOpen);  // would destroy what we read
    // Runs of tags (up to 1 MiB) are written past a smaller buffer.
    FileIO out;
    if (!out.Open(path, FileIO::Mode::Create, 256 << 10)) return Fail(kFlvErrWriteOpen);
    int err = SaveAs(out, process);
    if (!out.Close() && err == 0) err = Fail(kFlvErrTagWrite);
    if (err != 0 && err != kErrSilent) RemoveQuietly(path);
    return err;
}

int CFlvFile::SaveAs(ByteIO& out, CFlvProcess* process) {
    if (sources_.empty()) return Fail(kFlvErrNoMedia);
    const AmfValue name = AmfValue::Str("onMetaData");
    const uint64_t nameSize = AmfEncodedSize(name);

    // The layout first: numbers take the same room whatever their value, so
    // the metadata's size is known before the positions it lists.
    std::vector<uint32_t> keyTimes;
    std::vector<uint64_t> keyPositions;
    for (const FlvTag& t : tags_)
        if (t.IsKeyFrame()) keyTimes.push_back(t.time);
    keyPositions.assign(keyTimes.size(), 0);
    const uint64_t metaSize = nameSize + AmfEncodedSize(BuildMetaData(keyTimes, keyPositions, 0));
    if (metaSize > 0xFFFFFF) return Fail(kFlvErrMetaWrite);
    const uint64_t firstTag = kFlvHeaderSize + 4 + kTagHeaderSize + metaSize + 4;
    uint64_t fileSize = firstTag;
    keyPositions.clear();
    for (const FlvTag& t : tags_) {
        if (t.IsKeyFrame()) keyPositions.push_back(fileSize);
        fileSize += kTagHeaderSize + uint64_t(t.size) + 4;
    }
    const AmfValue meta = BuildMetaData(keyTimes, keyPositions, fileSize);

    // Header and metadata.
    const bool video = HasVideo(), audio = HasAudio();
    uint8_t h[kFlvHeaderSize + 4] = {'F', 'L', 'V', 1, uint8_t((audio ? 4 : 0) | (video ? 1 : 0)), 0, 0, 0, 9,
                                     0,   0,   0,   0};
    if (!out.Write(h, sizeof h)) return Fail(kFlvErrHeaderWrite);
    auto writeTagHeader = [&out](uint8_t type, uint64_t size, uint32_t time) {
        uint8_t th[kTagHeaderSize];
        th[0] = type;
        PutU24BE(th + 1, uint32_t(size));
        PutU24BE(th + 4, time & 0xFFFFFF);
        th[7] = uint8_t(time >> 24);
        th[8] = th[9] = th[10] = 0;
        return out.Write(th, sizeof th);
    };
    if (!writeTagHeader(kFlvTagScript, metaSize, 0) || !WriteAmfValue(out, name) || !WriteAmfValue(out, meta))
        return Fail(kFlvErrMetaWrite);
    if (!out.WriteU32BE(uint32_t(kTagHeaderSize + metaSize))) return Fail(kFlvErrTagSizeWrite);
    if (out.Tell() != firstTag) return Fail(kFlvErrMetaWrite);

    const int err = WriteTagRuns(out, firstTag, metaSize, fileSize, process);
    if (err != 0) return Fail(err);
    if (!out.Flush()) return Fail(kFlvErrTagWrite);
    return Fail(0);
}

namespace {

// Copies the part of `bytes` (for the file positions [at, at + n)) that falls
// into `piece` (for [pieceAt, pieceAt + piece.size())).
void Overlay(std::span<uint8_t> piece, uint64_t pieceAt, const uint8_t* bytes, size_t n, uint64_t at) {
    const uint64_t from = std::max(at, pieceAt), to = std::min(at + n, pieceAt + piece.size());
    if (from < to) std::memcpy(piece.data() + (from - pieceAt), bytes + (from - at), size_t(to - from));
}

}  // namespace

// The tags, their data streamed from the files they came from. The tags that
// follow one another in their file go out as a run: the run's bytes are read
// with one read, the tag headers and size fields in it rewritten in place
// (times move, writers differ in their size fields), and written with one
// write. A stop keeps the tags written, and the header and metadata then say
// so; the progress of a run's tags is asked before the run is written, so
// that a stop ends it at the tag it came at.
int CFlvFile::WriteTagRuns(ByteIO& out, uint64_t firstTag, uint64_t metaSize, uint64_t fileSize,
                           CFlvProcess* process) {
    constexpr uint64_t kRunBytes = 1 << 20;
    constexpr uint64_t kCopyMin = 4 << 10;              // tags this large on average are copied by the kernel
    constexpr uint64_t kCopyBig = 256 << 10;            // and so is a tag this large among small ones
    constexpr uint64_t kTagBytes = kTagHeaderSize + 4;  // a tag's bytes besides its data
    uint64_t written = firstTag;
    auto stopHere = [&](size_t count) {
        if (count < tags_.size()) DescribeWrittenTags(out, count, metaSize, written);
        return kErrSilent;
    };
    if (FlvProgressStop(process, written, fileSize)) return stopHere(0);
    std::vector<uint8_t> buf;
    for (size_t i = 0; i < tags_.size();) {
        // The run [i, j): the bytes from the first tag's header to the last
        // tag's size field, as stored.
        const FlvTag& a = tags_[i];
        const uint64_t from = a.offset - kTagHeaderSize;
        uint64_t to = a.offset + a.size + 4;
        size_t j = i + 1;
        for (; j < tags_.size(); ++j) {
            const FlvTag& t = tags_[j];
            if (t.source != a.source || t.offset != to + kTagHeaderSize ||
                t.offset + t.size + 4 - from > kRunBytes)
                break;
            to = t.offset + t.size + 4;
        }
        bool stop = false;
        uint64_t done = written;
        for (size_t k = i; k < j; ++k) {
            done += kTagBytes + tags_[k].size;
            if (FlvProgressStop(process, done, fileSize)) {
                stop = true;
                j = k + 1;
                to = tags_[k].offset + tags_[k].size + 4;
                break;
            }
        }
        if (a.source >= sources_.size() || a.offset < kTagHeaderSize) return kFlvErrRead;
        ByteIO& in = *sources_[a.source];
        const uint64_t have = std::min(to, in.Size());  // the last size field may lie past the end
        if (have < to - 4) return kFlvErrRead;
        // Runs of large tags whose headers mostly stay as stored are copied
        // from file to file by the kernel, and the headers and size fields
        // that change are then written over the copy. (Where most change,
        // as times do in a section or a later file of a join, a write for
        // each costs more than reading and writing the run.)
        size_t changed = 0;
        for (size_t k = i; k < j; ++k) changed += !tags_[k].asStored;
        if (to - from >= uint64_t(j - i) * kCopyMin && changed * 16 < j - i) {
            const uint64_t outAt = out.Tell() - from;  // the output position of source position 0
            if (const ByteIO::Copied c = out.CopyRange(in, from, have - from); c != ByteIO::Copied::Ok)
                return c == ByteIO::Copied::WriteFailed ? kFlvErrTagWrite : kFlvErrRead;
            // Headers and size fields that differ from the source's are
            // written over the copy; the size field of the tag before and a
            // tag's header lie together.
            for (size_t k = i; k <= j; ++k) {
                uint8_t p[4 + kTagHeaderSize] = {};
                uint64_t at = 0;
                size_t n = 0;
                if (k > i && !tags_[k - 1].asStored) {
                    const FlvTag& t = tags_[k - 1];
                    PutU32BE(p, kTagHeaderSize + t.size);
                    at = t.offset + t.size;
                    n = 4;
                }
                if (k < j && !tags_[k].asStored) {
                    const FlvTag& t = tags_[k];
                    uint8_t* th = p + n;
                    th[0] = uint8_t(t.type);
                    PutU24BE(th + 1, t.size);
                    PutU24BE(th + 4, t.time & 0xFFFFFF);
                    th[7] = uint8_t(t.time >> 24);
                    if (n == 0) at = t.offset - kTagHeaderSize;
                    n += kTagHeaderSize;
                }
                if (n > 0 && (!out.Seek(outAt + at) || !out.Write(p, n))) return kFlvErrTagWrite;
            }
            if (!out.Seek(outAt + to)) return kFlvErrTagWrite;
            written = done;
            if (stop) return stopHere(j);
            i = j;
            continue;
        }
        // Otherwise the run is read, its headers and size fields rewritten,
        // and written.
        size_t first = i;  // the first tag whose bytes are not behind `at`
        size_t big = i;    // the next large tag
        for (uint64_t at = from; at < to;) {
            while (big < j && (tags_[big].size < kCopyBig || tags_[big].offset < at)) ++big;
            if (big < j && tags_[big].offset == at) {
                if (const ByteIO::Copied c = out.CopyRange(in, at, tags_[big].size); c != ByteIO::Copied::Ok)
                    return c == ByteIO::Copied::WriteFailed ? kFlvErrTagWrite : kFlvErrRead;
                at += tags_[big].size;
                continue;
            }
            const uint64_t end = std::min(big < j ? uint64_t(tags_[big].offset) : to, at + kRunBytes);
            if (buf.size() < end - at) buf.resize(size_t(end - at));
            const std::span<uint8_t> piece(buf.data(), size_t(end - at));
            while (first < j && tags_[first].offset + tags_[first].size + 4 <= at) ++first;
            // Only data needs reading: headers and size fields are all rewritten.
            bool data = false;
            for (size_t k = first; k < j && tags_[k].offset < end && !data; ++k)
                data = tags_[k].offset + tags_[k].size > at;
            const size_t want =
                data ? size_t(std::min<uint64_t>(have - std::min(have, at), piece.size())) : 0;
            if (in.ReadAt(at, piece.data(), want) != want) return kFlvErrRead;
            for (size_t k = first; k < j && tags_[k].offset - kTagHeaderSize < end; ++k) {
                const FlvTag& t = tags_[k];
                uint8_t th[kTagHeaderSize] = {uint8_t(t.type),       0, 0, 0, 0, 0, 0,
                                              uint8_t(t.time >> 24), 0, 0, 0};
                PutU24BE(th + 1, t.size);
                PutU24BE(th + 4, t.time & 0xFFFFFF);
                uint8_t tail[4];
                PutU32BE(tail, kTagHeaderSize + t.size);
                Overlay(piece, at, th, sizeof th, t.offset - kTagHeaderSize);
                Overlay(piece, at, tail, sizeof tail, t.offset + t.size);
            }
            if (!out.Write(piece.data(), piece.size())) return kFlvErrTagWrite;
            at = end;
        }
        written = done;
        if (stop) return stopHere(j);
        i = j;
    }
    return 0;
}

// The header's stream flags and onMetaData (duration, size, key frames) of
// the first `count` tags, `written` bytes in all. The metadata keeps its room
// (`metaSize`); what it no longer needs is zero bytes behind its end marker,
// inside its tag, where readers do not look.
bool CFlvFile::DescribeWrittenTags(ByteIO& out, size_t count, uint64_t metaSize, uint64_t written) {
    FlvTagList all = std::move(tags_);
    tags_.assign(all.begin(), all.begin() + ptrdiff_t(std::min(count, all.size())));
    std::vector<uint32_t> keyTimes;
    std::vector<uint64_t> keyPositions;
    uint64_t pos = kFlvHeaderSize + 4 + kTagHeaderSize + metaSize + 4;
    for (const FlvTag& t : tags_) {
        if (t.IsKeyFrame()) {
            keyTimes.push_back(t.time);
            keyPositions.push_back(pos);
        }
        pos += kTagHeaderSize + uint64_t(t.size) + 4;
    }
    const uint8_t flags = uint8_t((HasAudio() ? 4 : 0) | (HasVideo() ? 1 : 0));
    const AmfValue meta = BuildMetaData(keyTimes, keyPositions, written);
    tags_ = std::move(all);
    MemoryIO body;
    if (!WriteAmfValue(body, AmfValue::Str("onMetaData")) || !WriteAmfValue(body, meta) ||
        body.Size() > metaSize)
        return false;
    std::vector<uint8_t> bytes = body.Take();
    bytes.resize(size_t(metaSize), 0);
    const bool ok = out.Seek(4) && out.WriteU8(flags) && out.Seek(kFlvHeaderSize + 4 + kTagHeaderSize) &&
                    out.Write(bytes) && out.Seek(written);
    return ok && out.Flush();
}

std::string FlvSoundFormatName(uint8_t format) {
    static const char* const names[16] = {"linear PCM",
                                          "ADPCM",
                                          "MP3",
                                          "linear PCM (little-endian)",
                                          "Nellymoser 16 kHz",
                                          "Nellymoser 8 kHz",
                                          "Nellymoser",
                                          "G.711 A-law",
                                          "G.711 mu-law",
                                          "sound format 9",
                                          "AAC",
                                          "Speex",
                                          "sound format 12",
                                          "sound format 13",
                                          "MP3 8 kHz",
                                          "device-specific sound"};
    return names[format & 0x0F];
}

namespace {

// MP3 at 8 kHz has a sound format of its own; its frames are MP3 frames all the same.
uint8_t SoundFamily(uint8_t format) {
    return format == kFlvSoundMp3_8k ? uint8_t(kFlvSoundMp3) : format;
}

const FlvTag* FirstAudioFrame(const FlvTagList& tags) {
    for (const FlvTag& t : tags)
        if (t.type == kFlvTagAudio && !t.noFrame) return &t;
    return nullptr;
}

// Writes the data of tag `i` without its first `skip` bytes.
template <class Wanted>
bool CopyFrame(FlvTagReader& reader, size_t i, const Wanted& wanted, size_t skip, ByteIO& out, int& error) {
    std::span<const uint8_t> data;
    if (!reader.Read(i, wanted, data) || data.size() < skip) {
        error = kFlvErrRead;
        return false;
    }
    if (!out.Write(data.data() + skip, data.size() - skip)) {
        error = kFlvErrTagWrite;
        return false;
    }
    return true;
}

}  // namespace

std::string CFlvFile::AudioExtension() const {
    const FlvTag* first = FirstAudioFrame(tags_);
    return first && first->SoundFormat() == kFlvSoundAac ? ".aac" : ".mp3";
}

// MP3 readers confirm a stream by finding a second frame header behind the
// first: an MP3 file of a single frame is not read as MP3 (ffmpeg and the
// players built on it refuse it). Such audio, a few dozen milliseconds, is
// refused with that reason instead of being written as a file nobody opens.
bool CFlvFile::CheckMp3HasFrames(const FlvTag& first) {
    std::vector<uint8_t> data;
    MpegAudioHeader header;
    if (!ReadTagData(first, data)) return Fail(kFlvErrRead) == 0;
    if (!ParseMpegAudioHeader(std::span<const uint8_t>(data).subspan(1), header)) return true;
    uint64_t bytes = 0;
    for (const FlvTag& t : tags_)
        if (t.type == kFlvTagAudio && !t.noFrame) bytes += t.size - 1;
    if (bytes >= uint64_t(header.frameSize) + 4) return true;
    const uint32_t ms = header.samplesPerFrame * 1000 / header.sampleRate;
    Fail(kFlvErrAudioSize, "The audio is a single MP3 frame (" + std::to_string(ms) +
                               " ms), too short to be read as an MP3 file of its own.");
    return false;
}

// Whether SaveAudio can write the audio, before it creates anything: one
// sound format throughout, MP3 or AAC, and AAC that an ADTS header can
// describe. `total` gets the output's size.
int CFlvFile::CheckAudioForSaving(uint64_t& total) {
    total = 0;
    const FlvTag* first = FirstAudioFrame(tags_);
    if (!first) return Fail(kFlvErrNoAudio);
    const uint8_t format = first->SoundFormat();
    if (SoundFamily(format) != kFlvSoundMp3 && format != kFlvSoundAac)
        return Fail(kFlvErrUnsupported, "The audio is " + FlvSoundFormatName(format) +
                                            "; only MP3 and AAC audio can be written as a file of its own.");
    const bool aac = format == kFlvSoundAac;
    if (aac && audioConfig_.empty())
        return Fail(
            kFlvErrUnsupported,
            "The AAC audio has no decoder configuration (AudioSpecificConfig), which its frames need.");
    std::vector<uint8_t> data;
    for (const FlvTag& t : tags_) {
        if (t.type != kFlvTagAudio || t.noFrame) continue;
        if (SoundFamily(t.SoundFormat()) != SoundFamily(format))
            return Fail(kFlvErrUnsupported, "The audio changes its format within the file (" +
                                                FlvSoundFormatName(format) + ", then " +
                                                FlvSoundFormatName(t.SoundFormat()) + " at " +
                                                std::to_string(t.time) + " ms).");
        if (!aac) {
            total += t.size - 1;
            continue;
        }
        if (t.IsSequenceHeader()) {
            if (!ReadTagData(t, data)) return Fail(kFlvErrRead);
            AacConfig config;
            std::string why;
            if (!ParseAacConfig(std::span<const uint8_t>(data).subspan(2), config))
                return Fail(kFlvErrUnsupported, "The AAC audio's decoder configuration cannot be read.");
            if (!AdtsCanCarry(config, &why)) return Fail(kFlvErrUnsupported, why);
            continue;
        }
        const uint64_t frame = uint64_t(t.size) - 2 + kAdtsHeaderSize;
        if (frame > kAdtsMaxFrameSize)
            return Fail(kFlvErrAudioSize, "The AAC frame at " + std::to_string(t.time) + " ms (" +
                                              std::to_string(t.size - 2) +
                                              " bytes) is larger than an ADTS frame can be.");
        total += frame;
    }
    if (!aac && !CheckMp3HasFrames(*first)) return GetLastError();
    return Fail(0);
}

int CFlvFile::SaveAudio(const std::string& path, CFlvProcess* process) {
    if (sources_.empty()) return Fail(kFlvErrNoMedia);
    uint64_t total = 0;
    if (CheckAudioForSaving(total) != 0) return GetLastError();
    const bool aac = FirstAudioFrame(tags_)->SoundFormat() == kFlvSoundAac;
    AacConfig config;
    if (aac && !ParseAacConfig(audioConfig_, config)) return Fail(kFlvErrUnsupported);
    if (IsOneOfOurFiles(path)) return Fail(kFlvErrWriteOpen);
    FileIO out;
    if (!out.Open(path, FileIO::Mode::Create)) return Fail(kFlvErrWriteOpen);
    int err = 0;
    uint64_t done = 0;
    std::vector<uint8_t> data;
    FlvTagReader reader(*this);
    auto wanted = [this](size_t j) {
        const FlvTag& t = tags_[j];
        return t.type == kFlvTagAudio && !t.noFrame && !t.IsSequenceHeader();
    };
    for (size_t i = 0; i < tags_.size(); ++i) {
        const FlvTag& t = tags_[i];
        if (t.type != kFlvTagAudio || t.noFrame) continue;
        if (aac) {
            // A configuration that changes on the way holds from its tag on
            // (checked above); every frame gets an ADTS header of its own.
            if (t.IsSequenceHeader()) {
                if (!ReadTagData(t, data) ||
                    !ParseAacConfig(std::span<const uint8_t>(data).subspan(2), config)) {
                    err = kFlvErrRead;
                    break;
                }
                continue;
            }
            uint8_t h[kAdtsHeaderSize];
            MakeAdtsHeader(config, t.size - 2, h);
            if (!out.Write(h, sizeof h)) {
                err = kFlvErrTagWrite;
                break;
            }
            if (!CopyFrame(reader, i, wanted, 2, out, err)) break;
            done += t.size - 2 + kAdtsHeaderSize;
        } else {
            // The MP3 frames as stored, behind the one-byte sound format.
            if (!CopyFrame(reader, i, wanted, 1, out, err)) break;
            done += t.size - 1;
        }
        if (FlvProgressStop(process, done, total)) {
            err = kErrSilent;
            break;
        }
    }
    if (!out.Close() && err == 0) err = kFlvErrTagWrite;
    if (err != 0 && err != kErrSilent) RemoveQuietly(path);
    return Fail(err);
}

}  // namespace vt
