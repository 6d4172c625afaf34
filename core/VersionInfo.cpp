#include "core/VersionInfo.h"

#include <cstring>
#include <vector>

#include "platform/ByteIO.h"

namespace vt {
namespace {

// Signature and key checks of a candidate block that starts at `p` with at
// least kVersionBlockSize bytes available.
bool LooksLikeVersionBlock(const uint8_t* p) {
    if (GetU16LE(p) < kVersionBlockSize) return false;
    if (GetU16LE(p + 2) != kFixedInfoSize) return false;
    if (GetU16LE(p + 4) != 0) return false;
    for (size_t i = 0; i <= kVersionKeyLength; ++i) {  // key and terminator
        const uint16_t want = i < kVersionKeyLength ? uint16_t(kVersionKey[i]) : 0;
        if (GetU16LE(p + 6 + 2 * i) != want) return false;
    }
    return GetU32LE(p + kFixedInfoOffset) == kFixedInfoSignature;
}

}  // namespace

std::string FormatVersionText(FileVersion v) {
    return std::to_string(v.major) + "." + std::to_string(v.minor) + std::to_string(v.patch);
}

std::string VersionTextFromBlock(std::span<const uint8_t> block) {
    if (block.size() < 2) return {};
    const size_t length = GetU16LE(block.data());
    if (length == 0) return {};
    // The fixed information must be complete inside the announced block and
    // inside what we really have; a short block gives no version at all
    // rather than bytes from beyond its end.
    if (length < kVersionBlockSize || block.size() < kVersionBlockSize) return {};
    const uint8_t* f = block.data() + kFixedInfoOffset;
    const uint32_t ms = GetU32LE(f + 8);
    const uint32_t ls = GetU32LE(f + 12);
    return FormatVersionText({uint16_t(ms >> 16), uint16_t(ms), uint16_t(ls >> 16), uint16_t(ls)});
}

std::string GetFileVersionText(const std::string& path) {
    FileIO file;
    if (!file.Open(path, FileIO::Mode::Read, 64 * 1024)) return {};
    constexpr size_t kChunk = 64 * 1024;
    // window = the unchecked tail of the previous piece + the next piece; every
    // start position is checked exactly once, so a block that straddles two
    // pieces is still found.
    std::vector<uint8_t> window;
    window.reserve(kChunk + kVersionBlockSize);
    std::vector<uint8_t> piece(kChunk);
    for (;;) {
        const size_t got = file.Read(piece.data(), piece.size());
        if (got == 0) break;
        window.insert(window.end(), piece.begin(), piece.begin() + std::ptrdiff_t(got));
        if (window.size() >= kVersionBlockSize) {
            const size_t last = window.size() - kVersionBlockSize;
            for (size_t s = 0; s <= last; ++s) {
                // Quick test on the key's first character before the full check.
                if (window[s + 6] != 'V' || window[s + 7] != 0) continue;
                if (LooksLikeVersionBlock(window.data() + s))
                    return VersionTextFromBlock(
                        std::span<const uint8_t>(window.data() + s, kVersionBlockSize));
            }
            window.erase(window.begin(), window.begin() + std::ptrdiff_t(last + 1));
        }
    }
    return {};
}

}  // namespace vt
