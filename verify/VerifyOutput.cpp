// Verified outputs: the packets of an operation's output read back and
// compared with the inputs' packets that the operation meant to copy.
#include "verify/VerifyOutput.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "core/Strings.h"
#include "flv/FlvCodecs.h"
#include "flv/FlvFile.h"
#include "media/avi/DecMovie.h"
#include "media/avi/EncAVI.h"
#include "media/wm/DecCompWMV.h"
#include "pages/avi/AviOperations.h"
#include "pages/wm/WmOperations.h"
#include "platform/ByteIO.h"

namespace vt {

namespace {

std::string T(const std::string& ja, const std::string& en) {
    return SelectByLanguage(ja, en);
}
std::string N(int64_t n) {
    return std::to_string(n);
}

// ---------------------------------------------------------------- digests

uint64_t Mix(uint64_t k) {
    k ^= k >> 33;
    k *= 0xff51afd7ed558ccdull;
    k ^= k >> 33;
    k *= 0xc4ceb9fe1a85ec53ull;
    k ^= k >> 33;
    return k;
}

// A 64-bit hash of a packet's bytes (not for adversaries: it tells copies
// from damaged copies).
uint64_t Hash64(std::span<const uint8_t> bytes) {
    const uint8_t* p = bytes.data();
    size_t n = bytes.size();
    uint64_t h = Mix(uint64_t(n) ^ 0x9E3779B97F4A7C15ull);
    while (n >= 8) {
        uint64_t k;
        std::memcpy(&k, p, 8);
        h = (h ^ Mix(k)) * 0x9E3779B97F4A7C15ull;
        h ^= h >> 29;
        p += 8;
        n -= 8;
    }
    uint64_t tail = 0;
    for (size_t i = 0; i < n; ++i) tail |= uint64_t(p[i]) << (8 * i);
    return Mix(h ^ Mix(tail + n));
}

struct Digest {
    uint64_t hash = 0;
    uint32_t size = 0;
    bool key = false;
};

Digest DigestOf(std::span<const uint8_t> bytes, bool key) {
    return {Hash64(bytes), uint32_t(std::min<size_t>(bytes.size(), 0xFFFFFFFFu)), key};
}

// ---------------------------------------------------------------- sources of packets

// One packet: its bytes (valid until the next call) and its key flag.
struct Unit {
    std::span<const uint8_t> data;
    bool key = true;
};

class UnitSource {
  public:
    virtual ~UnitSource() = default;
    // 1: a packet in `u`; 0: the end; -1: a read failed (`error` says what).
    virtual int Next(Unit& u) = 0;
    std::string error;
};

using UnitFactory = std::function<std::unique_ptr<UnitSource>(std::string& error)>;

// The sources of several files one after the other; each is made (its file
// opened) when it is reached, so one file is open at a time.
class ChainSource final : public UnitSource {
  public:
    explicit ChainSource(std::vector<UnitFactory> parts) : parts_(std::move(parts)) {}
    int Next(Unit& u) override {
        for (;;) {
            if (!current_) {
                if (next_ >= parts_.size()) return 0;
                current_ = parts_[next_++](error);
                if (!current_) {
                    if (!error.empty()) return -1;
                    continue;  // a part with nothing to give
                }
            }
            const int r = current_->Next(u);
            if (r < 0) error = current_->error;
            if (r != 0) return r;
            current_.reset();
        }
    }

  private:
    std::vector<UnitFactory> parts_;
    size_t next_ = 0;
    std::unique_ptr<UnitSource> current_;
};

class EmptySource final : public UnitSource {
  public:
    int Next(Unit&) override { return 0; }
};

std::string CannotRead(const std::string& path) {
    return T("読めません: ", "cannot be read: ") + path;
}

// Video frames [first, last] of an AVI reader, with their key flags.
class AviFrames final : public UnitSource {
  public:
    AviFrames(std::unique_ptr<CDecAVI> reader, std::string path, int first, int last)
        : reader_(std::move(reader)), path_(std::move(path)), pos_(first), last_(last) {}
    int Next(Unit& u) override {
        if (pos_ > last_) return 0;
        int samples = 0, bytes = 0;
        if (reader_->ReadVideoSample(pos_, &samples, buffer_, &bytes)) {
            error = CannotRead(path_);
            return -1;
        }
        u.data = std::span<const uint8_t>(buffer_.GetData(), bytes > 0 ? size_t(bytes) : 0);
        u.key = reader_->IsKeyFrame(pos_) != 0;
        pos_ += std::max(samples, 1);
        return 1;
    }

  private:
    std::unique_ptr<CDecAVI> reader_;
    std::string path_;
    int pos_, last_;
    CMemBuffBase<unsigned char> buffer_;
};

// Samples [first, end) of an audio stream, one read a packet: one chunk of
// audio stored a frame a chunk, up to 1 MiB of audio of a fixed sample size.
class AviAudioReads final : public UnitSource {
  public:
    AviAudioReads(std::unique_ptr<CDecAVIAudio> reader, std::string path, int first, int end)
        : reader_(std::move(reader)), path_(std::move(path)), pos_(first), end_(end) {
        AviStreamInfo si;
        if (Stream() && Stream()->Info(si) == kAviOk) sampleSize_ = si.dwSampleSize;
    }
    int Next(Unit& u) override {
        const auto& stream = Stream();
        if (!stream || pos_ >= end_) return 0;
        int32_t bytes = 0, samples = 0;
        int64_t capacity = 1 << 20;
        if (sampleSize_) {
            capacity = std::min<int64_t>(capacity, (int64_t(end_) - pos_) * sampleSize_);
            capacity = std::max<int64_t>(capacity, sampleSize_);
        } else {
            if (stream->Read(pos_, kAviStreamReadConvenient, nullptr, 0, &bytes, &samples) != kAviOk) {
                error = CannotRead(path_);
                return -1;
            }
            capacity = std::max(bytes, 1);
        }
        buffer_.resize(size_t(capacity));
        if (stream->Read(pos_, kAviStreamReadConvenient, buffer_.data(), int32_t(capacity), &bytes,
                         &samples) != kAviOk) {
            error = CannotRead(path_);
            return -1;
        }
        if (bytes < 1 || samples <= 0) return 0;
        pos_ += samples;
        u.data = std::span<const uint8_t>(buffer_.data(), size_t(bytes));
        u.key = true;
        return 1;
    }

  private:
    const std::shared_ptr<AviStream>& Stream() const { return reader_->GetAudioStream(); }
    std::unique_ptr<CDecAVIAudio> reader_;
    std::string path_;
    int pos_, end_;
    uint32_t sampleSize_ = 0;
    std::vector<uint8_t> buffer_;
};

// ---------------------------------------------------------------- comparison

enum class Kind { Video, Audio, Other };

struct StreamCheck {
    std::string label;  // "video", "audio", "stream 2 (video)"
    Kind kind = Kind::Other;
    bool keyFlags = false;  // compare the key flags
    bool blocks = false;    // the units are 64 KiB blocks of the data bytes
};

constexpr size_t kBlockBytes = 64 * 1024;

// Digests of a source's packets, or of 64 KiB blocks of its bytes.
class Digester {
  public:
    Digester(UnitSource& source, bool blocks) : source_(source), blocks_(blocks) {}
    int Next(Digest& d) {
        if (!blocks_) {
            Unit u;
            const int r = source_.Next(u);
            if (r == 1) d = DigestOf(u.data, u.key);
            return r;
        }
        while (pending_.size() - used_ < kBlockBytes && !ended_) {
            Unit u;
            const int r = source_.Next(u);
            if (r < 0) return -1;
            if (r == 0) {
                ended_ = true;
                break;
            }
            if (used_ > 0) {
                pending_.erase(pending_.begin(), pending_.begin() + long(used_));
                used_ = 0;
            }
            pending_.insert(pending_.end(), u.data.begin(), u.data.end());
        }
        const size_t n = std::min(pending_.size() - used_, kBlockBytes);
        if (n == 0) return 0;
        d = DigestOf(std::span<const uint8_t>(pending_.data() + used_, n), true);
        used_ += n;
        return 1;
    }
    const std::string& Error() const { return source_.error; }

  private:
    UnitSource& source_;
    bool blocks_;
    std::vector<uint8_t> pending_;
    size_t used_ = 0;
    bool ended_ = false;
};

// The words of a difference between packet `number` (from 1) of the inputs
// (`want`, null when they have no more) and of the output (`got`, null when
// it has no more). Empty when they are the same.
std::string Differs(const StreamCheck& c, int64_t number, const Digest* want, const Digest* got,
                    int64_t byteOffset) {
    if (c.blocks) {
        // Blocks are 64 KiB but the last: a shorter block is where the data ends.
        if (!got || (want && got->size < want->size)) {
            const std::string at = N(byteOffset + (got ? got->size : 0));
            return c.label +
                   T("のデータ: 出力は " + at + " バイトで終わっていますが、入力にはまだ続きがあります",
                     " data: the output ends at byte " + at + "; the inputs' data goes on");
        }
        if (!want || got->size > want->size) {
            const std::string at = N(byteOffset + (want ? want->size : 0));
            return c.label +
                   T("のデータ: 入力は " + at + " バイトで終わりますが、出力にはまだ続きがあります",
                     " data: the output goes on after byte " + at + ", where the inputs' data ends");
        }
        if (want->hash != got->hash)
            return c.label + T("のデータ: " + N(byteOffset) + " から " + N(byteOffset + got->size - 1) +
                                   " バイト目までの内容が違います",
                               " data: the bytes " + N(byteOffset) + " to " + N(byteOffset + got->size - 1) +
                                   " differ");
        return {};
    }
    const std::string packet = c.label + T(" パケット " + N(number), " packet " + N(number));
    if (!got)
        return packet +
               T(" がありません (出力の" + c.label + "は " + N(number - 1) + " パケットで終わっています)",
                 " is missing (the output ends after " + N(number - 1) + " " + c.label +
                     " packets; the inputs have more)");
    if (!want)
        return packet + T(" は余分です (入力の" + c.label + "は " + N(number - 1) + " パケットです)",
                          " is extra (the inputs have only " + N(number - 1) + " " + c.label + " packets)");
    if (want->size != got->size || want->hash != got->hash)
        return packet +
               T(": 内容が違います (入力 " + N(want->size) + " バイト、出力 " + N(got->size) + " バイト)",
                 ": the bytes differ (input " + N(want->size) + " bytes, output " + N(got->size) + " bytes)");
    if (c.keyFlags && want->key != got->key)
        return packet +
               T(std::string(": キーフレームのフラグが違います (入力 ") + (want->key ? "キー" : "非キー") +
                     "、出力 " + (got->key ? "キー" : "非キー") + ")",
                 std::string(": the key-frame flag differs (input: ") +
                     (want->key ? "key frame" : "not a key frame") +
                     ", output: " + (got->key ? "key frame" : "not a key frame") + ")");
    return {};
}

class Checker {
  public:
    explicit Checker(const VerifyPump& pump) : pump_(pump) { result_.ok = true; }

    // Compares one stream's packets; false at the first difference (or a stop).
    bool Compare(UnitSource& expected, UnitSource& actual, const StreamCheck& c) {
        if (!result_.ok) return false;
        Digester want(expected, c.blocks), got(actual, c.blocks);
        int64_t number = 0, offset = 0;
        for (;;) {
            if (!Tick()) return false;
            Digest w, g;
            const int rw = want.Next(w);
            if (rw < 0)
                return Fail(T("入力を比べられません: ", "the inputs cannot be compared: ") + want.Error());
            const int rg = got.Next(g);
            if (rg < 0)
                return Fail(T("出力を比べられません: ", "the output cannot be compared: ") + got.Error());
            if (rw == 0 && rg == 0) break;
            ++number;
            const std::string d = Differs(c, number, rw ? &w : nullptr, rg ? &g : nullptr, offset);
            if (!d.empty()) return Fail(d);
            offset += g.size;
        }
        Count(c, number, offset);
        return true;
    }

    void Count(const StreamCheck& c, int64_t packets, int64_t bytes) {
        if (c.blocks) {
            result_.audioBytes = std::max<int64_t>(result_.audioBytes, 0) + bytes;
            return;
        }
        (c.kind == Kind::Video   ? result_.videoPackets
         : c.kind == Kind::Audio ? result_.audioPackets
                                 : result_.otherPackets) += packets;
    }

    // False when the pump asks to stop (the result then says so).
    bool Tick() {
        if (!pump_ || (ticks_++ & 63) != 0) return true;
        if (pump_()) return true;
        result_.ok = false;
        result_.stopped = true;
        result_.difference = T("確認を中止しました", "the check was stopped");
        return false;
    }

    bool Fail(std::string difference) {
        if (result_.ok) {
            result_.ok = false;
            result_.difference = std::move(difference);
        }
        return false;
    }

    VerifyResult& Result() { return result_; }

  private:
    const VerifyPump& pump_;
    VerifyResult result_;
    uint64_t ticks_ = 0;
};

std::string VideoLabel() {
    return T("映像", "video");
}
std::string AudioLabel() {
    return T("音声", "audio");
}

// ---------------------------------------------------------------- AVI

template <class Reader>
std::unique_ptr<Reader> OpenAvi(const std::string& path, std::string& error) {
    auto r = std::make_unique<Reader>();
    if (r->Open(path) != 0) {
        error = CannotRead(path);
        return nullptr;
    }
    return r;
}

// Every frame of an AVI file's video stream.
UnitFactory AllFrames(const std::string& path) {
    return [path](std::string& error) -> std::unique_ptr<UnitSource> {
        auto r = OpenAvi<CDecAVI>(path, error);
        if (!r) return nullptr;
        const auto& v = r->GetVideoStream();
        const int first = v->Start(), last = v->Start() + v->Length() - 1;
        return std::make_unique<AviFrames>(std::move(r), path, first, last);
    };
}

// The whole audio stream the stream save copies (the last one of the file).
UnitFactory AllAudio(const std::string& path) {
    return [path](std::string& error) -> std::unique_ptr<UnitSource> {
        auto r = OpenAvi<CDecWAV>(path, error);
        if (!r) return nullptr;
        const auto& a = r->GetAudioStream();
        const int first = a->Start(), end = a->Start() + a->Length();
        return std::make_unique<AviAudioReads>(std::move(r), path, first, end);
    };
}

// The audio samples CEncAVIAudio::CopyAudio copies of [first, end).
UnitFactory CopiedAudio(std::unique_ptr<CDecAVIAudio> reader, const std::string& path, int first, int end) {
    auto shared = std::make_shared<std::unique_ptr<CDecAVIAudio>>(std::move(reader));
    return [shared, path, first, end](std::string&) mutable -> std::unique_ptr<UnitSource> {
        auto r = std::move(*shared);
        const auto& a = r->GetAudioStream();
        if (!a) return nullptr;
        int f = first, e = std::min(end, a->Length());
        AlignToAudioFrames(*a, f, e);
        return std::make_unique<AviAudioReads>(std::move(r), path, f, e);
    };
}

// The sample size of an AVI file's (last) audio stream; -1 when it has none.
int64_t AudioSampleSize(const std::string& path, bool wavReader) {
    std::unique_ptr<CDecAVIAudio> r =
        wavReader ? std::make_unique<CDecWAV>() : std::make_unique<CDecAVIAudio>();
    if (r->Open(path) != 0 || !r->GetAudioStream()) return -1;
    AviStreamInfo si;
    if (r->GetAudioStream()->Info(si) != kAviOk) return -1;
    return si.dwSampleSize;
}

// Audio is compared packet by packet when every part of it, in the inputs
// and in the output, is stored one frame a chunk; else as its data bytes.
bool AudioInBlocks(const std::vector<std::pair<std::string, bool>>& inputs, const std::string& output,
                   bool outputIsWav) {
    if (outputIsWav || AudioSampleSize(output, false) != 0) return true;
    for (const auto& [path, wav] : inputs)
        if (AudioSampleSize(path, wav) > 0) return true;
    return false;
}

void CompareAvi(const OpJob& job, int format, Checker& check) {
    const bool wavOutput =
        format == kFormatWav || (job.operation == Operation::Separate && job.stream == SeparateStream::Audio);
    std::vector<UnitFactory> video, audio;
    std::vector<std::pair<std::string, bool>> audioInputs;  // for the comparison's unit
    std::string error;
    switch (job.operation) {
        case Operation::Separate:
            if (job.stream == SeparateStream::Video) {
                video.push_back(AllFrames(job.inputs.at(0)));
            } else {
                audio.push_back(AllAudio(job.inputs.at(0)));
                audioInputs.push_back({job.inputs.at(0), true});
            }
            break;
        case Operation::Union:
            video.push_back(AllFrames(job.inputs.at(0)));
            audio.push_back(AllAudio(job.inputs.at(1)));
            audioInputs.push_back({job.inputs.at(1), true});
            break;
        case Operation::Join:
            if (format == kFormatWav) {
                // Each file's whole audio, moved onto whole frames.
                for (const std::string& f : job.inputs) {
                    audio.push_back([f](std::string& e) -> std::unique_ptr<UnitSource> {
                        auto r = OpenAvi<CDecWAV>(f, e);
                        if (!r) return nullptr;
                        const auto& a = r->GetAudioStream();
                        int first = a->Start(), end = a->Start() + a->Length();
                        if (first < end) AlignToAudioFrames(*a, first, end);
                        return std::make_unique<AviAudioReads>(std::move(r), f, first, end);
                    });
                }
                break;
            }
            {
                // The output has audio when the first file has an audio stream with a format.
                auto first = OpenAvi<CDecAVIAudio>(job.inputs.at(0), error);
                if (!first) break;
                const bool withAudio = first->HasAudio() && first->GetAudioFormat();
                for (const std::string& f : job.inputs) {
                    video.push_back([f](std::string& e) -> std::unique_ptr<UnitSource> {
                        auto r = OpenAvi<CDecAVIAudio>(f, e);
                        if (!r) return nullptr;
                        const int from = r->GetVideoStart(), last = r->GetLength() - 1;
                        return std::make_unique<AviFrames>(std::move(r), f, from, last);
                    });
                    if (!withAudio) continue;
                    audioInputs.push_back({f, false});
                    audio.push_back([f](std::string& e) -> std::unique_ptr<UnitSource> {
                        auto r = OpenAvi<CDecAVIAudio>(f, e);
                        if (!r || !r->HasAudio()) return nullptr;
                        const int from =
                            AviVideoToAudioSample(r->GetVideoStart(), *r->GetVideoInfo(), *r->GetAudioInfo());
                        const int end = r->GetAudioLength();
                        std::string none;
                        return CopiedAudio(std::move(r), f, from, end)(none);
                    });
                }
            }
            break;
        case Operation::Extract:
            if (format == kFormatWav) {
                const std::string& f = job.inputs.at(0);
                auto r = OpenAvi<CDecWAV>(f, error);
                if (!r) break;
                // As WavExtraction: the times in the stream's own samples,
                // then moved onto whole frames, up to the stream's end.
                const WaveFormatEx* fmt = r->GetAudioFormat();
                uint32_t rate = fmt ? fmt->nAvgBytesPerSec : 0, scale = fmt ? fmt->nBlockAlign : 0;
                AviStreamInfo si;
                const auto& a = r->GetAudioStream();
                if (a->Info(si) == kAviOk && si.dwRate && si.dwScale) {
                    rate = si.dwRate;
                    scale = si.dwScale;
                }
                TimeFields endTime = job.end.value_or(TimeFields{});
                if (!job.end) {
                    SectionRange range;
                    if (ReadWavRange(f, range) == 0) endTime = range.end;
                }
                uint32_t start = WavTimeToSample(job.start, rate, scale);
                uint32_t end = WavTimeToSample(endTime, rate, scale);
                const int64_t streamEnd = int64_t(a->Start()) + a->Length();
                int first = int(std::min<int64_t>(start, 0x7FFFFFFF));
                int last = int(std::min<int64_t>(end, streamEnd));
                if (start <= 0x7FFFFFFFu && first < last) AlignToAudioFrames(*a, first, last);
                auto shared = std::make_shared<std::unique_ptr<CDecWAV>>(std::move(r));
                audio.push_back([shared, f, first, last](std::string&) -> std::unique_ptr<UnitSource> {
                    return std::make_unique<AviAudioReads>(std::move(*shared), f, first, last);
                });
                break;
            }
            {
                const std::string& f = job.inputs.at(0);
                auto r = OpenAvi<CDecAVIAudio>(f, error);
                if (!r) break;
                // As ExtractAviSection: the end frame clamped, the start on its key frame.
                const double rate = r->GetFrameRate();
                TimeFields endTime = job.end.value_or(TimeFields{});
                if (!job.end) {
                    SectionRange range;
                    if (ReadAviRange(f, range) == 0) endTime = range.end;
                }
                int end = TimeToFrame(endTime, rate);
                if (end >= r->GetLength() - 1) end = r->GetLength() - 1;
                int start = TimeToFrame(job.start, rate);
                if (start <= end) start = AviKeyFrameStart(*r, start, end);
                const bool withAudio = r->HasAudio() && r->GetAudioFormat();
                if (withAudio) {
                    audioInputs.push_back({f, false});
                    auto ar = OpenAvi<CDecAVIAudio>(f, error);
                    if (!ar) break;
                    const int32_t from = AviVideoToAudioSample(start, *r->GetVideoInfo(), *r->GetAudioInfo());
                    const int32_t to =
                        AviVideoToAudioSample(int64_t(end) + 1, *r->GetVideoInfo(), *r->GetAudioInfo());
                    audio.push_back(CopiedAudio(std::move(ar), f, from, to));
                }
                auto shared = std::make_shared<std::unique_ptr<CDecAVIAudio>>(std::move(r));
                video.push_back([shared, f, start, end](std::string&) -> std::unique_ptr<UnitSource> {
                    return std::make_unique<AviFrames>(std::move(*shared), f, start, end);
                });
            }
            break;
    }
    if (!error.empty()) {
        check.Fail(error);
        return;
    }

    // The output, read back.
    const std::string& out = job.output;
    std::string outError;
    if (!wavOutput) {
        auto outVideo = OpenAvi<CDecAVIAudio>(out, outError);
        if (!outVideo) {
            check.Fail(outError);
            return;
        }
        const int first = outVideo->GetVideoStart(), last = outVideo->GetLength() - 1;
        AviFrames actual(std::move(outVideo), out, first, last);
        ChainSource expected(std::move(video));
        if (!check.Compare(expected, actual, {VideoLabel(), Kind::Video, true, false})) return;
    }
    std::unique_ptr<UnitSource> actualAudio;
    {
        std::unique_ptr<CDecAVIAudio> r = wavOutput
                                              ? std::unique_ptr<CDecAVIAudio>(std::make_unique<CDecWAV>())
                                              : std::make_unique<CDecAVIAudio>();
        if (r->Open(out) != 0) {
            check.Fail(CannotRead(out));
            return;
        }
        if (r->GetAudioStream()) {
            const int first = r->GetAudioStream()->Start();
            const int end = first + r->GetAudioStream()->Length();
            actualAudio = std::make_unique<AviAudioReads>(std::move(r), out, first, end);
        } else {
            actualAudio = std::make_unique<EmptySource>();
        }
    }
    const bool blocks =
        format == kFormatWav || (!audio.empty() && AudioInBlocks(audioInputs, out, wavOutput));
    ChainSource expected(std::move(audio));
    check.Compare(expected, *actualAudio, {AudioLabel(), Kind::Audio, false, blocks});
}

// ---------------------------------------------------------------- Windows Media

// The samples of one run of a reader, handed to `onSample`; false from it ends the run.
using WmSampleFn = std::function<bool(uint16_t stream, uint32_t flags, std::span<const uint8_t> data)>;

AsfResult WmTrampoline(uint16_t streamNumber, uint64_t, uint64_t, uint32_t flags,
                       const AsfSampleBuffer* sample, void*, void* user) {
    auto& fn = *static_cast<WmSampleFn*>(user);
    const std::span<const uint8_t> data =
        sample ? std::span<const uint8_t>(sample->Data(), sample->Length()) : std::span<const uint8_t>();
    return fn(streamNumber, flags, data) ? asf::kOk : asf::kFalse;
}

// Runs the reader over `path` in [rangeStart, rangeEnd]; the stream types by number come back.
bool RunWm(const std::string& path, uint64_t rangeStart, uint64_t rangeEnd, WmSampleFn fn,
           std::map<uint16_t, Kind>* kinds = nullptr) {
    CDecCompWMV reader;
    reader.SetDiagnosticSink([](const std::string&) {});
    if (reader.Open(path, rangeStart, rangeEnd) != 0) return false;
    if (kinds) {
        const auto& types = reader.StreamTypes();
        const auto& numbers = reader.StreamNumbers();
        for (size_t i = 0; i < types.size() && i < numbers.size(); ++i)
            (*kinds)[numbers[i]] = types[i] == kMediaTypeVideo   ? Kind::Video
                                   : types[i] == kMediaTypeAudio ? Kind::Audio
                                                                 : Kind::Other;
    }
    reader.SetSampleCallback(&WmTrampoline, &fn);
    return reader.Run() == 0;
}

// The last stream of a type in a file (as the separation and the union pick it); -1 when none.
int LastWmStream(const std::string& path, Kind kind) {
    std::map<uint16_t, Kind> kinds;
    CDecCompWMV reader;
    reader.SetDiagnosticSink([](const std::string&) {});
    if (reader.Open(path, 0, 0) != 0) return -2;
    const auto& types = reader.StreamTypes();
    const auto& numbers = reader.StreamNumbers();
    int last = -1;
    const Guid wanted = kind == Kind::Video ? kMediaTypeVideo : kMediaTypeAudio;
    for (size_t i = 0; i < types.size() && i < numbers.size(); ++i)
        if (types[i] == wanted) last = numbers[i];
    return last;
}

void CompareWm(const OpJob& job, Checker& check) {
    constexpr uint64_t kNoEnd = std::numeric_limits<uint64_t>::max();
    struct Source {
        std::string path;
        uint64_t start = 0, end = kNoEnd;
        std::map<uint16_t, uint16_t>
            streams;  // input stream number -> output stream number; empty: all, same
    };
    std::vector<Source> sources;
    switch (job.operation) {
        case Operation::Separate: {
            const int n = LastWmStream(job.inputs.at(0),
                                       job.stream == SeparateStream::Video ? Kind::Video : Kind::Audio);
            if (n < 0) return (void)check.Fail(CannotRead(job.inputs.at(0)));
            sources.push_back({job.inputs.at(0), 0, kNoEnd, {{uint16_t(n), uint16_t(1)}}});
            break;
        }
        case Operation::Union: {
            const int v = LastWmStream(job.inputs.at(0), Kind::Video);
            const int a = LastWmStream(job.inputs.at(1), Kind::Audio);
            if (v < 0) return (void)check.Fail(CannotRead(job.inputs.at(0)));
            if (a < 0) return (void)check.Fail(CannotRead(job.inputs.at(1)));
            sources.push_back({job.inputs.at(0), 0, kNoEnd, {{uint16_t(v), uint16_t(1)}}});
            sources.push_back({job.inputs.at(1), 0, kNoEnd, {{uint16_t(a), uint16_t(2)}}});
            break;
        }
        case Operation::Join:
            for (const std::string& f : job.inputs) sources.push_back({f, 0, kNoEnd, {}});
            break;
        case Operation::Extract: {
            // As CWmExtraction::Extract: the start on the video key frame, a
            // range that ends before it begins stays empty.
            const uint64_t asked = WmRangeTime(job.start);
            const uint64_t rangeEnd = job.end ? WmRangeTime(*job.end) : 0;
            int code = 0;
            const bool empty = rangeEnd != 0 && rangeEnd < asked;
            const uint64_t start = empty ? asked : WmKeyFrameStart(job.inputs.at(0), asked, &code);
            if (code != 0) return (void)check.Fail(CannotRead(job.inputs.at(0)));
            sources.push_back({job.inputs.at(0), start, rangeEnd, {}});
            break;
        }
    }

    // The inputs' digests by output stream number, in order.
    std::map<uint16_t, std::vector<Digest>> expected;
    std::map<uint16_t, Kind> kinds;
    for (const Source& s : sources) {
        std::map<uint16_t, Kind> inputKinds;
        const bool ok = RunWm(
            s.path, s.start, s.end,
            [&](uint16_t stream, uint32_t flags, std::span<const uint8_t> data) {
                uint16_t out = stream;
                if (!s.streams.empty()) {
                    const auto it = s.streams.find(stream);
                    if (it == s.streams.end()) return true;
                    out = it->second;
                }
                expected[out].push_back(DigestOf(data, (flags & kSampleCleanPoint) != 0));
                return check.Tick();
            },
            &inputKinds);
        if (check.Result().stopped) return;
        if (!ok) return (void)check.Fail(CannotRead(s.path));
        for (const auto& [number, kind] : inputKinds) {
            if (s.streams.empty())
                kinds.emplace(number, kind);
            else if (const auto it = s.streams.find(number); it != s.streams.end())
                kinds.emplace(it->second, kind);
        }
    }

    auto checkOf = [&](uint16_t number) {
        const auto it = kinds.find(number);
        const Kind kind = it == kinds.end() ? Kind::Other : it->second;
        const std::string type = kind == Kind::Video   ? VideoLabel()
                                 : kind == Kind::Audio ? AudioLabel()
                                                       : T("その他", "other");
        return StreamCheck{
            T("ストリーム " + N(number) + " (" + type + ")", "stream " + N(number) + " (" + type + ")"), kind,
            true, false};
    };
    std::map<uint16_t, int64_t> seen;
    const bool ok =
        RunWm(job.output, 0, kNoEnd, [&](uint16_t stream, uint32_t flags, std::span<const uint8_t> data) {
            const std::vector<Digest>& want = expected[stream];
            const int64_t number = ++seen[stream];
            const Digest got = DigestOf(data, (flags & kSampleCleanPoint) != 0);
            const std::string d =
                Differs(checkOf(stream), number,
                        size_t(number) <= want.size() ? &want[size_t(number - 1)] : nullptr, &got, 0);
            if (!d.empty()) return check.Fail(d);
            return check.Tick();
        });
    if (!check.Result().ok) return;
    if (!ok) return (void)check.Fail(CannotRead(job.output));
    for (const auto& [stream, want] : expected) {
        const int64_t got = seen[stream];
        if (size_t(got) < want.size())
            return (void)check.Fail(Differs(checkOf(stream), got + 1, &want[size_t(got)], nullptr, 0));
        check.Count(checkOf(stream), got, 0);
    }
}

// ---------------------------------------------------------------- FLV

uint32_t FlvMs(const TimeFields& t) {
    return uint32_t(std::clamp<int64_t>(ToMilliseconds(t), 0, std::numeric_limits<uint32_t>::max()));
}

// The media tags of one type of an FLV file, in order: their data and key flags.
class FlvTags final : public UnitSource {
  public:
    FlvTags(std::shared_ptr<CFlvFile> file, uint8_t type, std::string path)
        : file_(std::move(file)), type_(type), path_(std::move(path)) {}
    int Next(Unit& u) override {
        const auto& tags = file_->Tags();
        while (i_ < tags.size() && !(tags[i_].type == type_ && tags[i_].IsMediaFrame())) ++i_;
        if (i_ >= tags.size()) return 0;
        const FlvTag& t = tags[i_++];
        if (!file_->ReadTagData(t, data_)) {
            error = CannotRead(path_);
            return -1;
        }
        u.data = data_;
        u.key = t.type != kFlvTagVideo || t.IsKeyFrame();
        return 1;
    }

  private:
    std::shared_ptr<CFlvFile> file_;
    uint8_t type_;
    std::string path_;
    size_t i_ = 0;
    std::vector<uint8_t> data_;
};

// The video frames of an FLV file as its separation writes them into an AVI
// file (see FlvAvi.cpp): without the tag's leading bytes, AVC as start codes
// with the parameter sets before key frames. Empty frames are left out.
class FlvAviFrames final : public UnitSource {
  public:
    FlvAviFrames(std::shared_ptr<CFlvFile> file, std::string path)
        : file_(std::move(file)), path_(std::move(path)) {
        ParseAvcConfig(file_->VideoConfig(), avc_);
    }
    int Next(Unit& u) override {
        const auto& tags = file_->Tags();
        for (; i_ < tags.size(); ++i_) {
            const FlvTag& t = tags[i_];
            if (t.type != kFlvTagVideo) continue;
            if (t.VideoCodec() == kFlvVideoAvc && t.IsSequenceHeader()) {
                // A new decoder configuration applies to the frames after it.
                AvcConfig fresh;
                if (file_->ReadTagData(t, data_) && data_.size() > 5 &&
                    ParseAvcConfig(std::span<const uint8_t>(data_).subspan(5), fresh))
                    avc_ = fresh;
                continue;
            }
            if (!t.IsMediaFrame()) continue;
            if (!file_->ReadTagData(t, data_)) {
                error = CannotRead(path_);
                return -1;
            }
            const bool key = t.FrameType() == 1;
            std::span<const uint8_t> payload(data_);
            frame_.clear();
            switch (t.VideoCodec()) {
                case kFlvVideoAvc:
                    if (key) AppendParameterSets(avc_, frame_);
                    if (payload.size() < 5) return Fail();
                    if (!AppendAnnexB(payload.subspan(5), avc_.lengthSize, frame_) && !key) frame_.clear();
                    payload = frame_;
                    break;
                case kFlvVideoVp6:
                case kFlvVideoVp6Alpha:
                    payload = payload.subspan(std::min<size_t>(2, payload.size()));
                    break;
                default:
                    payload = payload.subspan(std::min<size_t>(1, payload.size()));
                    break;
            }
            if (payload.empty() && !key) continue;
            ++i_;
            u.data = payload;
            u.key = key;
            return 1;
        }
        return 0;
    }

  private:
    int Fail() {
        error = CannotRead(path_);
        return -1;
    }
    std::shared_ptr<CFlvFile> file_;
    std::string path_;
    size_t i_ = 0;
    AvcConfig avc_;
    std::vector<uint8_t> data_, frame_;
};

// The frames of an AVI file's video without the empty ones, which are counted.
class NonEmptyFrames final : public UnitSource {
  public:
    NonEmptyFrames(std::unique_ptr<UnitSource> frames, int64_t& skipped)
        : frames_(std::move(frames)), skipped_(skipped) {}
    int Next(Unit& u) override {
        for (;;) {
            const int r = frames_->Next(u);
            if (r < 0) error = frames_->error;
            if (r != 1 || !u.data.empty() || u.key) return r;
            ++skipped_;
        }
    }

  private:
    std::unique_ptr<UnitSource> frames_;
    int64_t& skipped_;
};

// The audio of an FLV file as its separation writes it: MP3 frames as
// stored behind the tag's first byte, or AAC frames each behind the ADTS
// header of the configuration in force.
class FlvAudioFrames final : public UnitSource {
  public:
    FlvAudioFrames(std::shared_ptr<CFlvFile> file, std::string path, bool aac)
        : file_(std::move(file)), path_(std::move(path)), aac_(aac) {
        if (aac_) ParseAacConfig(file_->AudioConfig(), config_);
    }
    int Next(Unit& u) override {
        const auto& tags = file_->Tags();
        for (; i_ < tags.size(); ++i_) {
            const FlvTag& t = tags[i_];
            if (t.type != kFlvTagAudio || t.noFrame) continue;
            if (!file_->ReadTagData(t, data_)) {
                error = CannotRead(path_);
                return -1;
            }
            if (aac_ && t.IsSequenceHeader()) {
                if (data_.size() >= 2) ParseAacConfig(std::span<const uint8_t>(data_).subspan(2), config_);
                continue;
            }
            ++i_;
            frame_.clear();
            if (aac_) {
                uint8_t h[kAdtsHeaderSize];
                const size_t payload = data_.size() >= 2 ? data_.size() - 2 : 0;
                MakeAdtsHeader(config_, uint32_t(payload), h);
                frame_.assign(h, h + kAdtsHeaderSize);
                frame_.insert(frame_.end(), data_.end() - long(payload), data_.end());
            } else {
                frame_.assign(data_.begin() + (data_.empty() ? 0 : 1), data_.end());
            }
            u.data = frame_;
            u.key = true;
            return 1;
        }
        return 0;
    }

  private:
    std::shared_ptr<CFlvFile> file_;
    std::string path_;
    bool aac_;
    size_t i_ = 0;
    AacConfig config_;
    std::vector<uint8_t> data_, frame_;
};

// A file's bytes as they are; with `adts`, one ADTS frame a packet (by the
// frame length of each header), else blocks of 1 MiB.
class FileBytes final : public UnitSource {
  public:
    FileBytes(std::string path, bool adts) : path_(std::move(path)), adts_(adts) {
        if (!io_.Open(path_, FileIO::Mode::Read)) error = CannotRead(path_);
    }
    int Next(Unit& u) override {
        if (!error.empty()) return -1;
        size_t want = 1 << 20;
        if (adts_) {
            uint8_t h[kAdtsHeaderSize];
            const size_t got = io_.Read(h, sizeof h);
            if (got == 0) return 0;
            buffer_.assign(h, h + got);
            const size_t length = got == sizeof h && h[0] == 0xFF && (h[1] & 0xF0) == 0xF0
                                      ? (size_t(h[3] & 0x03) << 11 | size_t(h[4]) << 3 | size_t(h[5]) >> 5)
                                      : 0;
            // Not a frame header: the rest of the file is one packet, which differs.
            want = length >= got ? length - got : (1 << 20);
            buffer_.resize(got + want);
            const size_t more = io_.Read(buffer_.data() + got, want);
            buffer_.resize(got + more);
        } else {
            buffer_.resize(want);
            buffer_.resize(io_.Read(buffer_.data(), want));
            if (buffer_.empty()) return 0;
        }
        u.data = buffer_;
        u.key = true;
        return 1;
    }

  private:
    std::string path_;
    bool adts_;
    FileIO io_;
    std::vector<uint8_t> buffer_;
};

void CompareFlv(const OpJob& job, Checker& check) {
    // The inputs as the operation saw them: opened, joined, limited to the section.
    std::vector<std::shared_ptr<CFlvFile>> files;
    for (const std::string& f : job.inputs) {
        auto file = std::make_shared<CFlvFile>();
        if (file->Open(f) != 0) return (void)check.Fail(CannotRead(f));
        files.push_back(std::move(file));
    }
    if (files.empty()) return (void)check.Fail(CannotRead(job.output));
    const std::shared_ptr<CFlvFile>& first = files.front();
    const std::string& in = job.inputs.front();
    if (job.operation == Operation::Join) {
        for (size_t i = 1; i < files.size(); ++i)
            if (first->Add(files[i].get(), true) != 0) return (void)check.Fail(CannotRead(job.inputs[i]));
    } else if (job.operation == Operation::Extract) {
        if (first->Extract(FlvMs(job.start), job.end ? FlvMs(*job.end) : 0) != 0)
            return (void)check.Fail(CannotRead(in));
    }

    if (job.operation == Operation::Separate && job.stream == SeparateStream::Video) {
        auto out = std::make_unique<CDecAVIAudio>();
        if (out->Open(job.output) != 0) return (void)check.Fail(CannotRead(job.output));
        const int from = out->GetVideoStart(), last = out->GetLength() - 1;
        int64_t skipped = 0;
        NonEmptyFrames actual(std::make_unique<AviFrames>(std::move(out), job.output, from, last), skipped);
        FlvAviFrames expected(first, in);
        if (!check.Compare(expected, actual, {VideoLabel(), Kind::Video, true, false})) return;
        check.Result().fillerFrames = skipped;
        // The separation writes no audio.
        auto withAudio = std::make_unique<CDecAVIAudio>();
        if (withAudio->Open(job.output) != 0) return (void)check.Fail(CannotRead(job.output));
        EmptySource none;
        std::unique_ptr<UnitSource> audio = std::make_unique<EmptySource>();
        if (const auto& a = withAudio->GetAudioStream()) {
            const int audioStart = a->Start(), audioEnd = a->Start() + a->Length();
            audio = std::make_unique<AviAudioReads>(std::move(withAudio), job.output, audioStart, audioEnd);
        }
        check.Compare(none, *audio, {AudioLabel(), Kind::Audio, false, false});
        return;
    }
    if (job.operation == Operation::Separate) {
        const auto& tags = first->Tags();
        const auto firstAudio = std::find_if(
            tags.begin(), tags.end(), [](const FlvTag& t) { return t.type == kFlvTagAudio && !t.noFrame; });
        const bool aac = firstAudio != tags.end() && firstAudio->SoundFormat() == kFlvSoundAac;
        FlvAudioFrames expected(first, in, aac);
        FileBytes actual(job.output, aac);
        check.Compare(expected, actual, {AudioLabel(), Kind::Audio, false, !aac});
        return;
    }
    auto out = std::make_shared<CFlvFile>();
    if (const int opened = out->Open(job.output)) {
        // A section past the last frame is a file with no tags: what was
        // meant, when the inputs give no frame there either.
        const auto& tags = first->Tags();
        const bool none =
            std::none_of(tags.begin(), tags.end(), [](const FlvTag& t) { return t.IsMediaFrame(); });
        if (opened != kFlvErrNoMedia || !none) check.Fail(CannotRead(job.output));
        return;
    }
    {
        FlvTags expected(first, kFlvTagVideo, in), actual(out, kFlvTagVideo, job.output);
        if (!check.Compare(expected, actual, {VideoLabel(), Kind::Video, true, false})) return;
    }
    FlvTags expected(first, kFlvTagAudio, in), actual(out, kFlvTagAudio, job.output);
    check.Compare(expected, actual, {AudioLabel(), Kind::Audio, false, false});
}

}  // namespace

std::string VerifyResult::Summary() const {
    if (!ok) return T("確認できませんでした: ", "not verified: ") + difference;
    std::string video = N(videoPackets), audio;
    if (audioBytes >= 0)
        audio = T("音声データ " + N(audioBytes) + " バイト", N(audioBytes) + " bytes of audio data");
    std::string text =
        audioBytes >= 0 ? T("確認しました: 映像 " + video + " パケットと" + audio + "が入力と同一です",
                            "verified: " + video + " video packets and " + audio + " identical to the inputs")
                        : T("確認しました: 映像 " + video + " パケットと音声 " + N(audioPackets) +
                                " パケットが入力と同一です",
                            "verified: " + video + " video and " + N(audioPackets) +
                                " audio packets identical to the inputs");
    if (otherPackets > 0)
        text += T(" (ほかのストリーム " + N(otherPackets) + " パケットも)",
                  " (and " + N(otherPackets) + " packets of other streams)");
    if (fillerFrames > 0)
        text += T(" (時間を保つための空のフレーム " + N(fillerFrames) + " 個は比べていません)",
                  " (" + N(fillerFrames) + " empty frames that keep the timing not compared)");
    return text;
}

VerifyResult VerifyOutput(const OpJob& job, int format, const VerifyPump& pump) {
    Checker check(pump);
    if (job.inputs.empty() || (job.operation == Operation::Union && job.inputs.size() < 2)) {
        check.Fail(T("入力ファイルがありません", "there are no input files"));
        return check.Result();
    }
    switch (format) {
        case kFormatAvi:
        case kFormatWav:
            CompareAvi(job, format, check);
            break;
        case kFormatWmv:
        case kFormatWma:
            CompareWm(job, check);
            break;
        case kFormatFlv:
            CompareFlv(job, check);
            break;
        default:
            check.Fail(T("この形式は確認できません", "this format cannot be checked"));
            break;
    }
    return check.Result();
}

}  // namespace vt
