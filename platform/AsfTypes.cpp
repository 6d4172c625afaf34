#include "platform/AsfTypes.h"

#include <algorithm>
#include <cstdio>

#include "platform/ByteIO.h"

namespace vt {

std::span<const uint8_t> AsfSampleBuffer::Bytes() const {
    if (pieces_.size() == 1) return pieces_[0];
    if (view_.size() != length_) {
        std::vector<uint8_t>& whole = assembly_ ? *assembly_ : own_;
        whole.resize(length_);
        size_t at = 0;
        for (const auto& piece : pieces_) {
            const size_t n = std::min(piece.size(), length_ - at);
            std::copy_n(piece.data(), n, whole.data() + at);
            at += n;
        }
        view_ = whole;
    }
    return view_;
}

Guid Guid::FromBytes(const uint8_t* p) {
    Guid g;
    g.d1 = GetU32LE(p);
    g.d2 = GetU16LE(p + 4);
    g.d3 = GetU16LE(p + 6);
    for (int i = 0; i < 8; ++i) g.d4[i] = p[8 + i];
    return g;
}

void Guid::ToBytes(uint8_t* p) const {
    PutU32LE(p, d1);
    PutU16LE(p + 4, d2);
    PutU16LE(p + 6, d3);
    for (int i = 0; i < 8; ++i) p[8 + i] = d4[i];
}

bool Guid::Read(ByteIO& io) {
    uint8_t b[16];
    if (!io.ReadExact(b, 16)) return false;
    *this = FromBytes(b);
    return true;
}

bool Guid::Write(ByteIO& io) const {
    uint8_t b[16];
    ToBytes(b);
    return io.Write(b, 16);
}

std::string Guid::ToString() const {
    char s[40];
    std::snprintf(s, sizeof s, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", d1, d2, d3, d4[0], d4[1],
                  d4[2], d4[3], d4[4], d4[5], d4[6], d4[7]);
    return s;
}

std::u16string Utf8ToUtf16(std::string_view s) {
    std::u16string out;
    size_t i = 0;
    while (i < s.size()) {
        uint32_t c = uint8_t(s[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + size_t(extra) >= s.size()) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        if (extra > 0) {
            c &= (0x3F >> extra);
            bool bad = false;
            for (int k = 1; k <= extra; ++k) {
                uint8_t cc = uint8_t(s[i + k]);
                if ((cc & 0xC0) != 0x80) {
                    bad = true;
                    break;
                }
                c = (c << 6) | (cc & 0x3F);
            }
            if (bad) {
                out.push_back(0xFFFD);
                ++i;
                continue;
            }
        }
        i += size_t(extra) + 1;
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(char16_t(0xD800 + (c >> 10)));
            out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(char16_t(c));
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(char(c));
        } else if (c < 0x800) {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(char(0xE0 | (c >> 12)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (c >> 18)));
            out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::vector<uint8_t> Utf16Value(std::u16string_view s) {
    std::vector<uint8_t> v((s.size() + 1) * 2, 0);
    for (size_t i = 0; i < s.size(); ++i) PutU16LE(&v[i * 2], uint16_t(s[i]));
    return v;
}

std::u16string Utf16FromValue(const std::vector<uint8_t>& bytes) {
    std::u16string s;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char16_t c = char16_t(GetU16LE(&bytes[i]));
        if (c == 0) break;
        s.push_back(c);
    }
    return s;
}

}  // namespace vt
