#include "mediainfo/JoinCheck.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "core/Strings.h"
#include "media/avi/DecMovie.h"
#include "ops/PageTable.h"

namespace vt {
namespace {

std::string T(const char* ja, const char* en) {
    return SelectByLanguage(ja, en);
}

std::string FourCC(uint32_t fcc) {
    if (fcc == 0) return "0";
    std::string s;
    for (int i = 0; i < 4; ++i) {
        const char c = char((fcc >> (8 * i)) & 0xFF);
        s += (c >= 0x20 && c < 0x7F) ? c : '.';
    }
    return s;
}

std::string Number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    std::string s = buf;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s;
}

// What a join takes from each file, as comparable words, per stream.
struct Item {
    std::string nameJa, nameEn, value;
};
struct Stream {
    bool present = false;
    std::vector<Item> items;
    void Add(const char* ja, const char* en, std::string value) {
        items.push_back({ja, en, std::move(value)});
    }
};
struct Traits {
    Stream video, audio;
};

void ReadAudio(Stream& s, const WaveFormatEx* f, bool whole) {
    if (!f) return;
    s.present = true;
    char tag[16];
    std::snprintf(tag, sizeof tag, "0x%04X", unsigned(f->wFormatTag));
    s.Add("音声形式", "audio format", tag);
    s.Add("チャンネル数", "channels", std::to_string(f->nChannels));
    s.Add("サンプリングレート", "sample rate", std::to_string(f->nSamplesPerSec) + " Hz");
    s.Add("ビット数", "bits", std::to_string(f->wBitsPerSample));
    s.Add("ブロックサイズ", "block align", std::to_string(f->nBlockAlign));
    if (whole) {
        s.Add("平均データレート", "bytes per second", std::to_string(f->nAvgBytesPerSec));
        s.Add("追加情報のサイズ", "extra format bytes", std::to_string(f->cbSize));
    }
}

std::optional<Traits> ReadAviTraits(const std::string& path) {
    CDecAVIAudio reader;
    if (reader.Open(path)) return std::nullopt;
    Traits t;
    if (reader.GetVideoStream()) {
        Stream& s = t.video;
        s.present = true;
        const AviStreamInfo& v = *reader.GetVideoInfo();
        void* block = nullptr;
        int size = 0;
        uint32_t compression = 0;
        int width = 0, height = 0;
        if (reader.ReadVideoFormat(&block, &size) == 0 && size >= int(sizeof(BitmapInfoHeader))) {
            BitmapInfoHeader bih;
            std::memcpy(&bih, block, sizeof bih);
            compression = bih.biCompression;
            width = bih.biWidth;
            height = std::abs(bih.biHeight);
        }
        std::free(block);
        s.Add("映像のハンドラ", "video handler", FourCC(v.fccHandler));
        s.Add("映像の圧縮形式", "video compression", FourCC(compression));
        s.Add("フレームサイズ", "frame size", std::to_string(width) + "\u00D7" + std::to_string(height));
        s.Add("フレームレート", "frame rate", v.dwScale ? Number(double(v.dwRate) / double(v.dwScale)) : "0");
    }
    if (reader.HasAudio()) ReadAudio(t.audio, reader.GetAudioFormat(), false);
    return t;
}

std::optional<Traits> ReadWavTraits(const std::string& path) {
    CDecWAV reader;
    if (reader.Open(path)) return std::nullopt;
    Traits t;
    ReadAudio(t.audio, reader.GetAudioFormat(), true);
    return t;
}

void Compare(const std::string& name, const Stream& first, const Stream& other, const char* ja,
             const char* en, std::vector<std::string>& out) {
    if (first.present != other.present) {
        out.push_back(other.present
                          ? SelectByLanguage(name + ": " + ja + "あり、最初のファイルは" + ja + "なし",
                                             name + ": has " + en + ", first file none")
                          : SelectByLanguage(name + ": " + ja + "なし、最初のファイルは" + ja + "あり",
                                             name + ": no " + en + ", first file has " + en));
        return;
    }
    for (size_t k = 0; k < first.items.size() && k < other.items.size(); ++k) {
        const Item& a = first.items[k];
        const Item& b = other.items[k];
        if (a.value == b.value) continue;
        out.push_back(
            SelectByLanguage(name + ": " + b.nameJa + " " + b.value + "、最初のファイルは " + a.value,
                             name + ": " + b.nameEn + " " + b.value + ", first file " + a.value));
    }
}

}  // namespace

std::vector<std::string> JoinDifferences(const std::vector<std::string>& files, int format) {
    std::vector<std::string> out;
    if (files.size() < 2 || (format != kFormatAvi && format != kFormatWav)) return out;
    auto read = [format](const std::string& f) {
        return format == kFormatAvi ? ReadAviTraits(f) : ReadWavTraits(f);
    };
    const std::optional<Traits> first = read(files[0]);
    if (!first) return out;
    for (size_t i = 1; i < files.size(); ++i) {
        const std::optional<Traits> other = read(files[i]);
        if (!other) continue;
        const std::string name = std::filesystem::path(files[i]).filename().string();
        Compare(name, first->video, other->video, "映像", "video", out);
        Compare(name, first->audio, other->audio, "音声", "audio", out);
    }
    return out;
}

std::string JoinAnywayQuestion(const std::vector<std::string>& differences) {
    std::string text =
        T("最初のファイルと形式の違うファイルがあります:\n", "Some files differ from the first file:\n");
    for (const std::string& d : differences) text += "  " + d + "\n";
    text += T("\n出力は最初のファイルの形式になり、正しく再生できないことがあります。\nこのまま連結しますか?",
              "\nThe output takes the first file's format and may not play correctly.\nJoin anyway?");
    return text;
}

}  // namespace vt
