#pragma once
// The header of a WAV file as written (RIFF or RF64), read from its first
// bytes only: the WAV tests of outputs past 4 GiB read no more than that.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/common/TestSupport.h"

namespace vt::test {

struct WavHead {
    std::string form;         // "RIFF", "RF64" or what the file begins with
    uint32_t riffSize32 = 0;  // the 32-bit RIFF size
    std::string firstChunk;   // the chunk after 'WAVE' ("ds64", "JUNK", "fmt ")
    uint64_t ds64Riff = 0, ds64Data = 0, ds64Samples = 0;
    uint16_t blockAlign = 0;  // of 'fmt '
    bool hasFact = false;
    uint32_t fact = 0;
    uint64_t dataPos = 0;  // 0: no 'data' chunk
    uint32_t dataSize32 = 0;
    uint64_t fileSize = 0;
};

inline WavHead ReadWavHead(const std::filesystem::path& p) {
    WavHead h;
    std::error_code ec;
    h.fileSize = std::filesystem::file_size(p, ec);
    std::vector<uint8_t> b(4096);
    std::ifstream in(p, std::ios::binary);
    in.read(reinterpret_cast<char*>(b.data()), std::streamsize(b.size()));
    b.resize(size_t(in.gcount()));
    auto u32 = [&](size_t o) {
        uint32_t v = 0;
        if (o + 4 <= b.size()) std::memcpy(&v, b.data() + o, 4);
        return v;
    };
    auto u64 = [&](size_t o) { return uint64_t(u32(o)) | (uint64_t(u32(o + 4)) << 32); };
    if (b.size() < 12) return h;
    h.form.assign(reinterpret_cast<const char*>(b.data()), 4);
    h.riffSize32 = u32(4);
    for (size_t o = 12; o + 8 <= b.size();) {
        const std::string id(reinterpret_cast<const char*>(b.data() + o), 4);
        const uint32_t size = u32(o + 4);
        if (o == 12) h.firstChunk = id;
        if (id == "ds64") {
            h.ds64Riff = u64(o + 8);
            h.ds64Data = u64(o + 16);
            h.ds64Samples = u64(o + 24);
        } else if (id == "fmt ") {
            h.blockAlign = uint16_t(u32(o + 20));
        } else if (id == "fact") {
            h.hasFact = true;
            h.fact = u32(o + 8);
        } else if (id == "data") {
            h.dataPos = o + 8;
            h.dataSize32 = size;
            break;
        }
        o += 8 + uint64_t(size) + (size & 1);
    }
    return h;
}

// The MD5 of `size` bytes of a file from `pos` (all the rest when size < 0).
inline std::string Md5Of(const std::filesystem::path& p, uint64_t pos, int64_t size = -1) {
    std::string cmd = "tail -c +" + std::to_string(pos + 1) + " " + Q(p);
    if (size >= 0) cmd += " | head -c " + std::to_string(size);
    return Run(cmd + " | md5sum | cut -d' ' -f1").out;
}

// The MD5 of the data of plain WAV files one after another (44-byte headers as ffmpeg writes them
// with -bitexact, or any header: the data position is looked up).
inline std::string DataMd5(const std::vector<std::filesystem::path>& files) {
    std::string cmd = "{";
    for (const auto& f : files) {
        const WavHead h = ReadWavHead(f);
        cmd += " tail -c +" + std::to_string(h.dataPos + 1) + " " + Q(f) + " | head -c " +
               std::to_string(h.dataSize32) + ";";
    }
    return Run(cmd + " } | md5sum | cut -d' ' -f1").out;
}

}  // namespace vt::test
