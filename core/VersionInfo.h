#pragma once
// The program's version block and its reader. Each of our executables carries
// one version block, laid out like a Windows VS_VERSIONINFO resource without
// children: a 6-byte header, the UTF-16 key "VS_VERSION_INFO", padding to a
// multiple of 4 and a 52-byte fixed-file-information record. The block is
// generated from the project version at build time (target vt_version_block)
// and found again in the file by its key and signature. Qt-free.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace vt {

struct FileVersion {
    uint16_t major = 0;
    uint16_t minor = 0;
    uint16_t patch = 0;
    uint16_t build = 0;
};

inline constexpr char16_t kVersionKey[] = u"VS_VERSION_INFO";
inline constexpr size_t kVersionKeyLength = 15;  // characters, without the terminator
// Header (6 bytes) + key with terminator in UTF-16, aligned up to 4.
inline constexpr size_t kFixedInfoOffset = (2 * kVersionKeyLength + 8 + 3) & ~size_t(3);
inline constexpr size_t kFixedInfoSize = 52;
inline constexpr size_t kVersionBlockSize = kFixedInfoOffset + kFixedInfoSize;
inline constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;

using VersionBlock = std::array<uint8_t, kVersionBlockSize>;

// The version block of `v` (file and product version alike).
constexpr VersionBlock MakeVersionBlock(FileVersion v) {
    VersionBlock b{};
    auto put16 = [&b](size_t at, uint16_t x) {
        b[at] = uint8_t(x);
        b[at + 1] = uint8_t(x >> 8);
    };
    auto put32 = [&b](size_t at, uint32_t x) {
        for (size_t i = 0; i < 4; ++i) b[at + i] = uint8_t(x >> (8 * i));
    };
    put16(0, uint16_t(kVersionBlockSize));  // whole block
    put16(2, uint16_t(kFixedInfoSize));     // value
    put16(4, 0);                            // binary value
    for (size_t i = 0; i < kVersionKeyLength; ++i) put16(6 + 2 * i, uint16_t(kVersionKey[i]));
    const uint32_t ms = (uint32_t(v.major) << 16) | v.minor;
    const uint32_t ls = (uint32_t(v.patch) << 16) | v.build;
    const size_t f = kFixedInfoOffset;
    put32(f + 0, kFixedInfoSignature);
    put32(f + 4, 0x00010000);  // record version 1.0
    put32(f + 8, ms);          // file version
    put32(f + 12, ls);
    put32(f + 16, ms);  // product version
    put32(f + 20, ls);
    put32(f + 24, 0x3F);  // flag mask
    put32(f + 28, 0);     // flags
    put32(f + 32, 0);     // operating system: unknown
    put32(f + 36, 1);     // file type: application
    // subtype and date stay 0
    return b;
}

// "major.minor" followed directly by the third number: 6.0.2.1 -> "6.02",
// 1.1.12.0 -> "1.112". The fourth number is not shown.
std::string FormatVersionText(FileVersion v);

// The version text of a block that starts at the first byte of `block`; empty
// when the block is too short, announces a zero length, or its fixed-file
// information does not lie complete inside both the announced length and the
// bytes given.
std::string VersionTextFromBlock(std::span<const uint8_t> block);

// The version text of the file at `path`, read from the first valid version
// block in it; empty when the file cannot be read or holds none. Reads the
// file in bounded pieces, whatever its size.
std::string GetFileVersionText(const std::string& path);

}  // namespace vt
