// The video of an FLV file as an AVI stream: every frame as stored, with its
// key-frame flag, at a constant rate taken from the timestamps.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>

#include "core/ErrorCodes.h"
#include "flv/FlvCodecs.h"
#include "flv/FlvFile.h"
#include "media/avi/EncAVI.h"

namespace vt {

namespace {

struct AviVideoFormat {
    uint32_t fourcc = 0;
    uint32_t width = 0, height = 0;
    FrameRate rate;
    std::vector<uint8_t> extra;  // bytes behind the bitmap header (codec data)
};

uint32_t FourCCOf(uint8_t codec) {
    switch (codec) {
        case kFlvVideoH263:
            return MakeFourCC('F', 'L', 'V', '1');
        case kFlvVideoScreen:
            return MakeFourCC('F', 'S', 'V', '1');
        case kFlvVideoVp6:
            return MakeFourCC('V', 'P', '6', 'F');
        case kFlvVideoVp6Alpha:
            return MakeFourCC('V', 'P', '6', 'A');
        case kFlvVideoAvc:
            return MakeFourCC('H', '2', '6', '4');
        default:
            return 0;
    }
}

// A frame's bytes: in memory, or (with `from`) bytes [at, at + size) of a source file.
struct AviFrameBytes {
    std::span<const uint8_t> data;
    ByteIO* from = nullptr;
    uint64_t at = 0;
    uint32_t size = 0;
};

// Called for every AVI frame in order; empty data with `real` false is a
// filler frame that keeps the next picture at its time. False stops the walk.
using AviFrameSink = std::function<bool(const AviFrameBytes& bytes, bool key, bool real)>;
// The source file of a tag's data.
using FlvSourceOf = std::function<ByteIO*(const FlvTag& tag)>;

// Frames stored as they are from this size on go from file to file without
// being read (smaller ones cost less read together with their neighbours).
constexpr uint32_t kCopyFrameMin = 16 << 10;

void RemoveQuietly(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

}  // namespace

// Walks the video frames of `file` as AVI frames. Gaps in the timing (dropped
// frames, variable rates) get empty frames, so that every frame stays at its time.
static int WalkAviFrames(CFlvFile& file, const std::vector<size_t>& frames, const AviVideoFormat& format,
                         const FlvSourceOf& sourceOf, const AviFrameSink& sink) {
    const auto& tags = file.Tags();
    const uint8_t codec = tags[frames.front()].VideoCodec();
    AvcConfig avc;
    if (codec == kFlvVideoAvc && !ParseAvcConfig(file.VideoConfig(), avc)) return kFlvErrUnsupported;
    const uint32_t base = tags[frames.front()].time;
    std::vector<uint8_t> data, frame;
    // Frames that go out as stored (all but AVC's) and are large are copied
    // from their file; the others' data is read together with their neighbours.
    auto copied = [&tags, codec](size_t j) {
        return codec != kFlvVideoAvc && tags[j].size >= kCopyFrameMin + tags[j].HeaderBytes();
    };
    FlvTagReader reader(file);
    auto isFrame = [&tags, &copied](size_t j) {
        return tags[j].type == kFlvTagVideo && tags[j].IsMediaFrame() && !copied(j);
    };
    uint64_t next = 0;  // slot of the next frame
    // Empty frames fill the gaps up to a budget: an hour's worth, or 64 per
    // frame in longer files. Timestamps that jump further (a damaged or spliced
    // file: a few bytes asking for gigabytes of empty frames) have the excess
    // cut; the frames after a cut keep their spacing.
    uint64_t fillLeft = std::max<uint64_t>(FrameSlot(3600 * 1000, format.rate), uint64_t(frames.size()) * 64);
    uint64_t cut = 0;  // slots left out
    size_t configIndex = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        const FlvTag& t = tags[frames[i]];
        // A new decoder configuration in the stream applies to the frames after it.
        if (codec == kFlvVideoAvc) {
            for (; configIndex < frames[i]; ++configIndex) {
                const FlvTag& c = tags[configIndex];
                if (c.type != kFlvTagVideo || !c.IsSequenceHeader() || !file.ReadTagData(c, data)) continue;
                AvcConfig fresh;
                if (data.size() > 5 && ParseAvcConfig(std::span<const uint8_t>(data).subspan(5), fresh))
                    avc = fresh;
            }
        }
        uint64_t slot = FrameSlot(t.time >= base ? t.time - base : 0, format.rate);
        slot = slot > cut ? slot - cut : 0;
        if (slot > next + fillLeft) {
            cut += slot - next - fillLeft;
            slot = next + fillLeft;
        }
        if (slot > next) fillLeft -= slot - next;
        for (; next < slot; ++next)
            if (!sink({}, false, false)) return kFlvErrTagWrite;
        bool key = t.FrameType() == 1;
        if (copied(frames[i])) {
            ByteIO* from = sourceOf(t);
            if (!from) return kFlvErrRead;
            const uint32_t skip = t.HeaderBytes();  // the codec's bytes (VP6: and the picture adjustment)
            if (!sink({{}, from, t.offset + skip, t.size - skip}, key, true)) return kFlvErrTagWrite;
            ++next;
            continue;
        }
        std::span<const uint8_t> payload;
        if (!reader.Read(frames[i], isFrame, payload)) return kFlvErrRead;
        frame.clear();
        switch (codec) {
            case kFlvVideoAvc:
                // Length-prefixed NAL units become start-code ones; key frames
                // carry the parameter sets, so that decoding can begin there.
                if (key) AppendParameterSets(avc, frame);
                if (!AppendAnnexB(payload.subspan(5), avc.lengthSize, frame) && !key) frame.clear();
                payload = frame;
                break;
            case kFlvVideoVp6:
            case kFlvVideoVp6Alpha:
                // The picture adjustment byte goes to the stream format.
                payload = payload.subspan(2);
                break;
            default:
                payload = payload.subspan(1);
                break;
        }
        if (!sink({payload}, key, true)) return kFlvErrTagWrite;
        ++next;
    }
    return 0;
}

int CFlvFile::SaveAVI(const std::string& path, CFlvProcess* process) {
    std::vector<size_t> frames;
    FrameSteps steps;
    for (size_t i = 0; i < tags_.size(); ++i)
        if (tags_[i].type == kFlvTagVideo && tags_[i].IsMediaFrame()) {
            frames.push_back(i);
            steps.AddTime(tags_[i].time);
        }
    if (frames.empty()) return Fail(kFlvErrNoVideo);
    const uint8_t codec = tags_[frames.front()].VideoCodec();
    AviVideoFormat format;
    format.fourcc = FourCCOf(codec);
    if (format.fourcc == 0) return Fail(kFlvErrUnsupported);
    for (size_t i : frames)
        if (tags_[i].VideoCodec() != codec) return Fail(kFlvErrUnsupported);
    if (codec == kFlvVideoAvc) {
        AvcConfig avc;
        if (!ParseAvcConfig(videoConfig_, avc)) return Fail(kFlvErrUnsupported);
    }
    if (codec == kFlvVideoVp6 || codec == kFlvVideoVp6Alpha) {
        std::vector<uint8_t> first;
        if (!ReadTagData(tags_[frames.front()], first) || first.size() < 2) return Fail(kFlvErrRead);
        format.extra.push_back(first[1]);
    }
    format.width = width_;
    format.height = height_;
    format.rate = frames.size() > 1 ? EstimateFrameRate(steps) : FrameRate{};
    if (IsOneOfOurFiles(path)) return Fail(kFlvErrWriteOpen);

    // The stream: its rate, the picture's size, and a bitmap header naming
    // the codec, with the codec's own bytes behind it.
    AviStreamInfo info;
    info.fccType = kStreamTypeVideo;
    info.fccHandler = format.fourcc;
    info.dwScale = format.rate.scale;
    info.dwRate = format.rate.rate;
    info.dwQuality = 0xFFFFFFFF;
    info.rcRight = int32_t(format.width);
    info.rcBottom = int32_t(format.height);
    BitmapInfoHeader bih;
    bih.biSize = uint32_t(sizeof bih + format.extra.size());
    bih.biWidth = int32_t(format.width);
    bih.biHeight = int32_t(format.height);
    bih.biPlanes = 1;
    bih.biBitCount = 24;
    bih.biCompression = format.fourcc;
    bih.biSizeImage = format.width * format.height * 3;
    std::vector<uint8_t> fmt(sizeof bih);
    std::memcpy(fmt.data(), &bih, sizeof bih);
    fmt.insert(fmt.end(), format.extra.begin(), format.extra.end());

    CEncAVI writer;
    if (writer.CreateVideoStream(path, info, fmt.data(), int(fmt.size())) != 0) {
        writer.Close();
        RemoveQuietly(path);
        return Fail(kFlvErrAviCreate);
    }
    size_t done = 0;
    bool stopped = false;
    auto sourceOf = [this](const FlvTag& t) -> ByteIO* {
        return t.source < sources_.size() ? sources_[t.source].get() : nullptr;
    };
    int readErr = 0;
    int err =
        WalkAviFrames(*this, frames, format, sourceOf, [&](const AviFrameBytes& b, bool key, bool real) {
            if (b.from) {
                const int r = writer.WriteVideoSampleFrom(*b.from, b.at, int(b.size), key ? 1 : 0);
                if (r == kErrAviStreamRead) readErr = kFlvErrRead;
                if (r != 0) return false;
            } else if (writer.WriteVideoSamples(1, b.data.data(), int(b.data.size()), key ? 1 : 0) != 0) {
                return false;
            }
            if (real && FlvProgressStop(process, ++done, frames.size())) {
                stopped = true;
                return false;
            }
            return true;
        });
    if (stopped) err = kErrSilent;
    if (readErr) err = readErr;
    writer.Close();
    if (err == 0 && writer.LastCloseResult() != 0) err = kFlvErrTagWrite;
    if (err != 0 && err != kErrSilent) RemoveQuietly(path);
    return Fail(err);
}

}  // namespace vt
