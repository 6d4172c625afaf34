#include "flv/FlvCodecs.h"

#include <algorithm>
#include <cmath>

namespace vt {

bool ParseAvcConfig(std::span<const uint8_t> r, AvcConfig& out) {
    out = AvcConfig();
    if (r.size() < 7 || r[0] != 1) return false;
    out.lengthSize = (r[4] & 3) + 1;
    if (out.lengthSize == 3) return false;
    size_t pos = 5;
    auto readSets = [&](size_t count, std::vector<std::vector<uint8_t>>& sets) {
        for (size_t i = 0; i < count; ++i) {
            if (pos + 2 > r.size()) return false;
            size_t len = size_t(r[pos] << 8 | r[pos + 1]);
            pos += 2;
            if (len == 0 || pos + len > r.size()) return false;
            sets.emplace_back(r.begin() + pos, r.begin() + pos + len);
            pos += len;
        }
        return true;
    };
    if (!readSets(r[pos++] & 0x1F, out.sps)) return false;
    if (pos >= r.size()) return false;
    size_t ppsCount = r[pos++];
    return readSets(ppsCount, out.pps);
}

bool AppendAnnexB(std::span<const uint8_t> data, int lengthSize, std::vector<uint8_t>& out) {
    static const uint8_t startCode[4] = {0, 0, 0, 1};
    size_t pos = 0;
    bool any = false;
    while (pos + size_t(lengthSize) <= data.size()) {
        uint64_t len = 0;
        for (int i = 0; i < lengthSize; ++i) len = (len << 8) | data[pos + i];
        pos += size_t(lengthSize);
        if (len == 0) continue;
        if (len > data.size() - pos) break;
        out.insert(out.end(), startCode, startCode + 4);
        out.insert(out.end(), data.begin() + pos, data.begin() + pos + size_t(len));
        pos += size_t(len);
        any = true;
    }
    return any;
}

void AppendParameterSets(const AvcConfig& config, std::vector<uint8_t>& out) {
    static const uint8_t startCode[4] = {0, 0, 0, 1};
    for (const auto* sets : {&config.sps, &config.pps})
        for (const auto& s : *sets) {
            out.insert(out.end(), startCode, startCode + 4);
            out.insert(out.end(), s.begin(), s.end());
        }
}

namespace {

// Reads bits most significant first; reads past the end give zeros and set `bad`.
class BitReader {
  public:
    explicit BitReader(std::span<const uint8_t> d) : d_(d) {}
    uint32_t Bits(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            size_t byte = pos_ >> 3;
            uint32_t bit = 0;
            if (byte < d_.size())
                bit = (d_[byte] >> (7 - (pos_ & 7))) & 1;
            else
                bad = true;
            v = (v << 1) | bit;
            ++pos_;
        }
        return v;
    }
    uint32_t Ue() {
        int zeros = 0;
        while (Bits(1) == 0) {
            if (bad || ++zeros > 31) {
                bad = true;
                return 0;
            }
        }
        return zeros ? ((1u << zeros) - 1) + Bits(zeros) : 0;
    }
    int32_t Se() {
        uint32_t k = Ue();
        return (k & 1) ? int32_t((k + 1) / 2) : -int32_t(k / 2);
    }
    bool bad = false;

  private:
    std::span<const uint8_t> d_;
    size_t pos_ = 0;
};

}  // namespace

bool AvcSpsSize(std::span<const uint8_t> nal, uint32_t& width, uint32_t& height) {
    // Drop the NAL header and the emulation prevention bytes.
    if (nal.size() < 4 || (nal[0] & 0x1F) != 7) return false;
    std::vector<uint8_t> rbsp;
    rbsp.reserve(nal.size());
    int zeros = 0;
    for (size_t i = 1; i < nal.size(); ++i) {
        if (zeros >= 2 && nal[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = nal[i] == 0 ? zeros + 1 : 0;
        rbsp.push_back(nal[i]);
    }
    BitReader b(rbsp);
    uint32_t profile = b.Bits(8);
    b.Bits(16);  // constraint flags, level
    b.Ue();      // sps id
    uint32_t chroma = 1;
    bool separateColour = false;
    switch (profile) {
        case 100:
        case 110:
        case 122:
        case 244:
        case 44:
        case 83:
        case 86:
        case 118:
        case 128:
        case 138:
        case 139:
        case 134:
        case 135: {
            chroma = b.Ue();
            if (chroma > 3) return false;
            if (chroma == 3) separateColour = b.Bits(1);
            b.Ue();
            b.Ue();
            b.Bits(1);
            if (b.Bits(1)) {
                for (int i = 0; i < (chroma == 3 ? 12 : 8) && !b.bad; ++i) {
                    if (!b.Bits(1)) continue;
                    int size = i < 6 ? 16 : 64, last = 8, next = 8;
                    for (int j = 0; j < size && !b.bad; ++j) {
                        if (next != 0) next = (last + b.Se() + 256) % 256;
                        last = next == 0 ? last : next;
                    }
                }
            }
            break;
        }
        default:
            break;
    }
    b.Ue();  // log2_max_frame_num - 4
    uint32_t pocType = b.Ue();
    if (pocType == 0) {
        b.Ue();
    } else if (pocType == 1) {
        b.Bits(1);
        b.Se();
        b.Se();
        uint32_t cycle = b.Ue();
        if (cycle > 255) return false;
        for (uint32_t i = 0; i < cycle && !b.bad; ++i) b.Se();
    }
    b.Ue();     // max_num_ref_frames
    b.Bits(1);  // gaps allowed
    uint32_t wMbs = b.Ue() + 1, hMaps = b.Ue() + 1;
    uint32_t frameMbsOnly = b.Bits(1);
    if (!frameMbsOnly) b.Bits(1);
    b.Bits(1);
    uint32_t cl = 0, cr = 0, ct = 0, cb = 0;
    if (b.Bits(1)) {
        cl = b.Ue();
        cr = b.Ue();
        ct = b.Ue();
        cb = b.Ue();
    }
    if (b.bad || wMbs > 1024 || hMaps > 1024) return false;
    uint32_t cropX = (chroma == 0 || separateColour) ? 1 : (chroma == 3 ? 1 : 2);
    uint32_t cropY = ((chroma == 1 && !separateColour) ? 2 : 1) * (2 - frameMbsOnly);
    uint64_t w = uint64_t(wMbs) * 16, h = uint64_t(hMaps) * 16 * (2 - frameMbsOnly);
    uint64_t cw = uint64_t(cl + cr) * cropX, ch = uint64_t(ct + cb) * cropY;
    if (cw >= w || ch >= h) return false;
    width = uint32_t(w - cw);
    height = uint32_t(h - ch);
    return true;
}

bool H263PictureSize(std::span<const uint8_t> f, uint32_t& width, uint32_t& height) {
    BitReader b(f);
    if (b.Bits(17) != 1) return false;
    b.Bits(5);  // version
    b.Bits(8);  // temporal reference
    static const uint16_t fixed[][2] = {{352, 288}, {176, 144}, {128, 96}, {320, 240}, {160, 120}};
    uint32_t code = b.Bits(3);
    uint32_t w, h;
    switch (code) {
        case 0:
            w = b.Bits(8);
            h = b.Bits(8);
            break;
        case 1:
            w = b.Bits(16);
            h = b.Bits(16);
            break;
        case 7:
            return false;
        default:
            w = fixed[code - 2][0];
            h = fixed[code - 2][1];
            break;
    }
    if (b.bad || w == 0 || h == 0) return false;
    width = w;
    height = h;
    return true;
}

bool Vp6PictureSize(std::span<const uint8_t> f, uint32_t& width, uint32_t& height) {
    // Only key frames carry the size: bit 7 of the first byte is clear.
    if (f.size() < 6 || (f[0] & 0x80)) return false;
    bool separated = f[0] & 1;
    bool filterHeader = f[1] & 0x06;
    size_t p = 2;
    if (separated || !filterHeader) p += 2;  // offset of the coefficient partition
    if (p + 2 > f.size()) return false;
    uint32_t rows = f[p], cols = f[p + 1];
    if (rows == 0 || cols == 0) return false;
    width = cols * 16;
    height = rows * 16;
    return true;
}

bool ScreenVideoSize(std::span<const uint8_t> f, uint32_t& width, uint32_t& height) {
    if (f.size() < 4) return false;
    width = uint32_t((f[0] & 0x0F) << 8 | f[1]);
    height = uint32_t((f[2] & 0x0F) << 8 | f[3]);
    return width && height;
}

void FrameSteps::AddTime(uint32_t time) {
    if (have_ && time > last_) {
        const uint32_t step = time - last_;
        if (step < kTable) {
            if (table_.empty()) table_.assign(kTable, 0);
            ++table_[step];
        } else {
            large_.push_back(step);
        }
        ++count_;
    }
    last_ = time;
    have_ = true;
}

uint32_t FrameSteps::Median() const {
    if (count_ == 0) return 0;
    size_t k = count_ / 2;  // the place in the sorted steps
    for (uint32_t step = 0; step < table_.size(); ++step) {
        if (k < table_[step]) return step;
        k -= table_[step];
    }
    std::vector<uint32_t> sorted = large_;
    std::nth_element(sorted.begin(), sorted.begin() + ptrdiff_t(k), sorted.end());
    return sorted[k];
}

double FrameSteps::SumUpTo(double limit, size_t& n) const {
    // Whole milliseconds: the sum is exact in any order.
    double sum = 0;
    n = 0;
    for (uint32_t step = 0; step < table_.size() && step <= limit; ++step) {
        sum += double(step) * table_[step];
        n += table_[step];
    }
    for (uint32_t step : large_)
        if (step <= limit) {
            sum += step;
            ++n;
        }
    return sum;
}

FrameRate EstimateFrameRate(std::span<const uint32_t> times) {
    FrameSteps steps;
    for (uint32_t t : times) steps.AddTime(t);
    return EstimateFrameRate(steps);
}

FrameRate EstimateFrameRate(const FrameSteps& steps) {
    if (steps.Count() == 0) return {};
    const double median = steps.Median();
    // The mean of the regular steps: millisecond rounding (33, 33, 34) averages
    // out, while dropped frames (steps of two frames and more) are left aside.
    size_t n = 0;
    const double sum = steps.SumUpTo(median * 1.5, n);
    double fps = 1000.0 * double(n) / sum;
    static const FrameRate common[] = {
        {24000, 1001}, {24, 1}, {25, 1}, {30000, 1001}, {30, 1}, {50, 1}, {60000, 1001}, {60, 1}, {15, 1},
        {12, 1},       {10, 1}, {8, 1},  {5, 1},        {20, 1}, {48, 1}, {120, 1},      {1, 1},  {2, 1},
    };
    const FrameRate* best = nullptr;
    for (const FrameRate& c : common)
        if (std::fabs(fps - c.Fps()) <= c.Fps() * 0.004 &&
            (!best || std::fabs(fps - c.Fps()) < std::fabs(fps - best->Fps())))
            best = &c;
    if (best) return *best;
    if (fps < 0.001) return {1, 1000};
    return {uint32_t(std::lround(fps * 1000)), 1000};
}

uint64_t FrameSlot(uint64_t ms, const FrameRate& fr) {
    uint64_t den = uint64_t(fr.scale) * 1000;
    return (ms * fr.rate + den / 2) / den;
}

// ------------------------------------------------------------------ MPEG audio

bool ParseMpegAudioHeader(std::span<const uint8_t> h, MpegAudioHeader& out) {
    if (h.size() < 4 || h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return false;
    const int version = (h[1] >> 3) & 3;      // 0: MPEG 2.5, 2: MPEG 2, 3: MPEG 1
    const int layer = 4 - ((h[1] >> 1) & 3);  // 1, 2 or 3 (4: reserved)
    const int bitrateIndex = h[2] >> 4, rateIndex = (h[2] >> 2) & 3, padding = (h[2] >> 1) & 1;
    if (version == 1 || layer == 4 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return false;
    static const uint16_t kbps[5][15] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // MPEG 1 layer I
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // MPEG 1 layer II
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // MPEG 1 layer III
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // MPEG 2/2.5 layer I
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // MPEG 2/2.5 layers II, III
    };
    static const uint32_t rates[3] = {44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const uint32_t bitrate =
        1000u * (mpeg1 ? kbps[layer - 1][bitrateIndex] : kbps[layer == 1 ? 3 : 4][bitrateIndex]);
    const uint32_t rate = rates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    MpegAudioHeader m;
    m.sampleRate = rate;
    if (layer == 1) {
        m.samplesPerFrame = 384;
        m.frameSize = (12 * bitrate / rate + padding) * 4;
    } else {
        m.samplesPerFrame = (layer == 3 && !mpeg1) ? 576 : 1152;
        m.frameSize = m.samplesPerFrame / 8 * bitrate / rate + padding;
    }
    out = m;
    return true;
}

// ------------------------------------------------------------------ AAC

namespace {

constexpr uint32_t kAacRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                    22050, 16000, 12000, 11025, 8000,  7350};

int AacObjectType(BitReader& b) {
    int type = int(b.Bits(5));
    return type == 31 ? 32 + int(b.Bits(6)) : type;
}

uint32_t AacRate(BitReader& b, int& index) {
    index = int(b.Bits(4));
    if (index == 15) return b.Bits(24);
    return index < 13 ? kAacRates[index] : 0;
}

}  // namespace

bool ParseAacConfig(std::span<const uint8_t> config, AacConfig& out) {
    BitReader b(config);
    AacConfig c;
    c.objectType = AacObjectType(b);
    c.rate = AacRate(b, c.rateIndex);
    c.channelConfig = int(b.Bits(4));
    // Explicit HE-AAC (SBR) and HE-AAC v2 (PS): the rate read so far is the
    // core's; the output rate and then the core's object type follow.
    if (c.objectType == 5 || c.objectType == 29) {
        c.sbr = true;
        int extensionIndex = 0;
        AacRate(b, extensionIndex);
        c.objectType = AacObjectType(b);
    }
    if (b.bad || c.objectType == 0) return false;
    out = c;
    return true;
}

bool AdtsCanCarry(const AacConfig& c, std::string* why) {
    std::string reason;
    if (c.objectType < 1 || c.objectType > 4) {
        reason = "The audio is AAC of object type " + std::to_string(c.objectType) +
                 " (not Main, LC, SSR or LTP), which an ADTS .aac stream cannot carry.";
    } else if (c.rateIndex > 12) {
        reason = "The AAC audio's sampling rate (" + std::to_string(c.rate) +
                 " Hz) is not one that an ADTS header can name.";
    } else if (c.channelConfig == 0 || c.channelConfig > 7) {
        reason = "The AAC audio describes its channels in a way (channel configuration " +
                 std::to_string(c.channelConfig) + ") that this program cannot write into an ADTS header.";
    }
    if (why) *why = reason;
    return reason.empty();
}

void MakeAdtsHeader(const AacConfig& c, uint32_t payload, uint8_t h[kAdtsHeaderSize]) {
    const uint32_t length = payload + kAdtsHeaderSize;
    const uint32_t profile = uint32_t(c.objectType - 1) & 3;
    const uint32_t index = uint32_t(c.rateIndex) & 0x0F;
    const uint32_t channels = uint32_t(c.channelConfig) & 7;
    h[0] = 0xFF;
    h[1] = 0xF1;  // MPEG-4, layer 0, no CRC
    h[2] = uint8_t((profile << 6) | (index << 2) | (channels >> 2));
    h[3] = uint8_t(((channels & 3) << 6) | ((length >> 11) & 3));
    h[4] = uint8_t(length >> 3);
    h[5] = uint8_t(((length & 7) << 5) | 0x1F);  // buffer fullness 0x7FF: variable rate
    h[6] = 0xFC;                                 // one raw data block
}

}  // namespace vt
