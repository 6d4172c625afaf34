#include "platform/Profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>

#include "platform/AsciiText.h"
#include "platform/ByteIO.h"

namespace vt {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// The file's text as UTF-8.
std::string DecodeText(std::string raw) {
    if (raw.size() >= 3 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) return raw.substr(3);
    if (raw.size() >= 2 && uint8_t(raw[0]) == 0xFF && uint8_t(raw[1]) == 0xFE) {
        std::string out;
        out.reserve(raw.size());
        for (size_t i = 2; i + 1 < raw.size(); i += 2) {
            uint32_t u = uint8_t(raw[i]) | (uint32_t(uint8_t(raw[i + 1])) << 8);
            if (u >= 0xD800 && u < 0xDC00 && i + 3 < raw.size()) {
                uint32_t lo = uint8_t(raw[i + 2]) | (uint32_t(uint8_t(raw[i + 3])) << 8);
                if (lo >= 0xDC00 && lo < 0xE000) {
                    u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
                    i += 2;
                } else {
                    u = 0xFFFD;
                }
            } else if (u >= 0xD800 && u < 0xE000) {
                u = 0xFFFD;
            }
            AppendUtf8(out, u);
        }
        return out;
    }
    return raw;
}

// At most maxChars code points of s (never splitting a UTF-8 sequence).
std::string CutChars(std::string_view s, size_t maxChars) {
    size_t chars = 0, i = 0;
    while (i < s.size()) {
        if (chars == maxChars) break;
        ++i;
        while (i < s.size() && (uint8_t(s[i]) & 0xC0) == 0x80) ++i;
        ++chars;
    }
    return std::string(s.substr(0, i));
}

struct Line {
    std::string_view text;  // trimmed
    enum Kind { Other, Section, Key } kind = Other;
    std::string_view name;   // section or key name
    std::string_view value;  // key value (trimmed)
};

Line Classify(std::string_view raw) {
    Line l;
    l.text = Trim(raw);
    if (l.text.empty() || l.text.front() == ';') return l;
    if (l.text.front() == '[') {
        size_t close = l.text.rfind(']');
        if (close == std::string_view::npos) return l;  // not a header: ignored
        l.kind = Line::Section;
        l.name = Trim(l.text.substr(1, close - 1));
        return l;
    }
    l.kind = Line::Key;
    size_t eq = l.text.find('=');
    if (eq == std::string_view::npos) {
        l.name = l.text;
    } else {
        l.name = Trim(l.text.substr(0, eq));
        l.value = Trim(l.text.substr(eq + 1));
    }
    return l;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos) nl = text.size();
        lines.push_back(text.substr(pos, nl - pos));
        pos = nl + 1;
    }
    return lines;
}

// The raw value of the key, or nullopt when the section or key is missing.
std::optional<std::string> FindValue(const std::string& text, std::string_view section,
                                     std::string_view key) {
    bool inSection = false, seenSection = false;
    for (std::string_view raw : SplitLines(text)) {
        Line l = Classify(raw);
        if (l.kind == Line::Section) {
            if (inSection) return std::nullopt;  // only the first section of that name counts
            inSection = !seenSection && EqualsIgnoreAsciiCase(l.name, section);
            seenSection = seenSection || inSection;
        } else if (l.kind == Line::Key && inSection && EqualsIgnoreAsciiCase(l.name, key)) {
            return std::string(l.value);
        }
    }
    return std::nullopt;
}

std::optional<std::string> LoadProfile(const std::string& file) {
    auto raw = ReadSmallFile(file, kMaxSettingsFileBytes);
    if (!raw) return std::nullopt;
    return DecodeText(std::move(*raw));
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

std::optional<std::string> ReadSmallFile(const std::string& path, uint64_t maxBytes) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
    FileIO io;
    if (!io.Open(path, FileIO::Mode::Read, 64 * 1024)) return std::nullopt;
    uint64_t size = io.Size();
    if (size > maxBytes) return std::nullopt;
    std::vector<uint8_t> bytes;
    if (!io.ReadBytes(bytes, size)) return std::nullopt;
    return std::string(bytes.begin(), bytes.end());
}

bool ReplaceFileAtomically(const std::string& path, std::string_view content, unsigned newFileMode) {
    if (path.empty()) return false;
    mode_t mode = mode_t(newFileMode & 07777);
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return false;
        mode = st.st_mode & 07777;
    }
    std::string tmpl = path + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) return false;
    std::string tmp(name.data());
    bool ok = ::fchmod(fd, mode) == 0;
    const char* p = content.data();
    size_t left = content.size();
    while (ok && left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        left -= size_t(n);
    }
    if (ok && ::fsync(fd) != 0) ok = false;
    if (::close(fd) != 0) ok = false;
    if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    // Make the rename itself durable.
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) folder = std::filesystem::path(".");
    int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, const std::string& file,
                                    size_t bufferChars) {
    if (bufferChars == 0) return {};
    std::optional<std::string> value;
    if (auto text = LoadProfile(file)) value = FindValue(*text, section, key);
    if (!value) {
        std::string_view d = defaultValue;
        while (!d.empty() && (d.back() == ' ' || d.back() == '\t')) d.remove_suffix(1);
        return CutChars(d, bufferChars - 1);
    }
    std::string_view v = *value;
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return CutChars(v, bufferChars - 1);
}

int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                         const std::string& file) {
    std::string text = GetPrivateProfileString(section, key, "", file);
    if (text.empty()) return defaultValue;
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > (long long)INT_MAX + 1) v = (long long)INT_MAX + 1;
    }
    if (negative) v = -v;
    if (v > INT_MAX) v = INT_MAX;
    if (v < INT_MIN) v = INT_MIN;
    return int(v);
}

bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::optional<std::string_view> value, const std::string& file) {
    section = Trim(section);
    key = Trim(key);
    if (section.empty() || key.empty() || HasLineBreak(section) || HasLineBreak(key) ||
        (value && HasLineBreak(*value)) || key.find('=') != std::string_view::npos ||
        section.find(']') != std::string_view::npos)
        return false;
    if (file.empty()) return false;
    std::string text;
    std::error_code ec;
    // Through a link, the file it names is the one to replace.
    std::string target = file;
    if (std::filesystem::is_symlink(file, ec)) {
        auto resolved = std::filesystem::weakly_canonical(file, ec);
        if (ec) return false;
        target = resolved.string();
    }
    if (std::filesystem::exists(target, ec)) {
        auto loaded = LoadProfile(target);
        if (!loaded) return false;  // never replace a file we could not read
        text = std::move(*loaded);
    }
    std::vector<std::string_view> lines = SplitLines(text);
    std::vector<std::string> out;
    out.reserve(lines.size() + 2);
    std::string newLine = value ? std::string(key) + "=" + std::string(*value) : std::string();

    bool inSection = false, sectionFound = false, done = false;
    size_t insertAt = 0;  // after the last non-blank line of the section
    for (std::string_view raw : lines) {
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        Line l = Classify(raw);
        if (l.kind == Line::Section) {
            if (inSection) inSection = false;
            if (!sectionFound && EqualsIgnoreAsciiCase(l.name, section)) {
                inSection = sectionFound = true;
                out.emplace_back(raw);
                insertAt = out.size();
                continue;
            }
        } else if (inSection && !done && l.kind == Line::Key && EqualsIgnoreAsciiCase(l.name, key)) {
            if (value) out.push_back(newLine);
            done = true;
            continue;
        }
        out.emplace_back(raw);
        if (inSection && !l.text.empty()) insertAt = out.size();
    }
    if (!done && value) {
        if (sectionFound) {
            out.insert(out.begin() + long(insertAt), newLine);
        } else {
            std::string header(1, '[');
            header.append(section);
            header.push_back(']');
            out.push_back(std::move(header));
            out.push_back(newLine);
        }
    }
    std::string content;
    for (const std::string& l : out) content += l + "\n";
    return ReplaceFileAtomically(target, content, 0644);
}

}  // namespace vt
