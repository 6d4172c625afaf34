#include "platform/Registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/AsciiText.h"
#include "platform/Profile.h"

namespace vt {
namespace {

constexpr std::string_view kHeader = "VANTOREL-REGISTRY 1";
constexpr uint64_t kMaxStoreBytes = 16u << 20;
constexpr size_t kMaxValueBytes = 1u << 20;
constexpr size_t kMaxKeyPart = 255;
constexpr size_t kMaxValueName = 16383;

std::string_view RootName(RegRoot root) {
    switch (root) {
        case RegRoot::CurrentUser:
            break;
    }
    return "HKEY_CURRENT_USER";
}

// "ROOT\part\part", or nullopt for an invalid sub-key.
std::optional<std::string> FullPath(RegRoot root, std::string_view subKey) {
    std::string path(RootName(root));
    if (subKey.empty()) return path;
    size_t pos = 0;
    while (true) {
        size_t sep = subKey.find('\\', pos);
        std::string_view part =
            subKey.substr(pos, sep == std::string_view::npos ? std::string_view::npos : sep - pos);
        if (part.empty() || part.size() > kMaxKeyPart) return std::nullopt;
        path += '\\';
        path += part;
        if (sep == std::string_view::npos) break;
        pos = sep + 1;
    }
    return path;
}

bool NeedsEscape(unsigned char c, bool keyPath) {
    if (c <= 0x20 || c == 0x7F || c == '%' || c == '=' || c == '[' || c == ']') return true;
    return !keyPath && c == '\\';
}

std::string Escape(std::string_view s, bool keyPath) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (NeedsEscape(c, keyPath)) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += char(c);
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> Unescape(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        if (i + 2 >= s.size()) return std::nullopt;
        int hi = HexDigit(s[i + 1]), lo = HexDigit(s[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += char(hi * 16 + lo);
        i += 2;
    }
    return out;
}

std::optional<std::vector<uint8_t>> HexBytes(std::string_view s) {
    if (s.size() % 2 != 0 || s.size() / 2 > kMaxValueBytes) return std::nullopt;
    std::vector<uint8_t> out(s.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) {
        int hi = HexDigit(s[2 * i]), lo = HexDigit(s[2 * i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out[i] = uint8_t(hi * 16 + lo);
    }
    return out;
}

struct Key {
    std::string path;
    std::vector<std::pair<std::string, RegValue>> values;
};

struct Model {
    std::vector<Key> keys;

    Key* Find(std::string_view path) {
        for (Key& k : keys)
            if (EqualsIgnoreAsciiCase(k.path, path)) return &k;
        return nullptr;
    }
    const Key* Find(std::string_view path) const { return const_cast<Model*>(this)->Find(path); }

    Key& Create(const std::string& path) {
        // Parents first, as the registry has them.
        for (size_t sep = path.find('\\'); sep != std::string::npos; sep = path.find('\\', sep + 1))
            if (!Find(std::string_view(path).substr(0, sep))) keys.push_back(Key{path.substr(0, sep), {}});
        if (Key* k = Find(path)) return *k;
        keys.push_back(Key{path, {}});
        return keys.back();
    }
};

std::optional<Model> Parse(const std::string& text) {
    Model m;
    size_t pos = 0;
    bool first = true;
    Key* current = nullptr;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        std::string_view line(text.data() + pos, nl - pos);
        pos = nl + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (first) {
            if (line != kHeader) return std::nullopt;  // not our store
            first = false;
            continue;
        }
        if (line.empty()) continue;
        if (line.front() == '[' && line.back() == ']') {
            auto path = Unescape(line.substr(1, line.size() - 2));
            current = path && !path->empty() ? &m.Create(*path) : nullptr;
            continue;
        }
        if (!current) continue;
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        auto name = Unescape(line.substr(0, eq));
        std::string_view data = line.substr(eq + 1);
        RegValue v;
        if (data.substr(0, 6) == "dword:") {
            auto bytes = HexBytes(data.substr(6));
            if (!bytes || bytes->size() != 4) continue;
            v.type = RegType::Dword;
            v.data = std::move(*bytes);
        } else if (data.substr(0, 4) == "hex:") {
            auto bytes = HexBytes(data.substr(4));
            if (!bytes) continue;
            v.type = RegType::Binary;
            v.data = std::move(*bytes);
        } else {
            continue;  // a type we do not know: dropped
        }
        if (!name) continue;
        bool replaced = false;
        for (auto& [n, old] : current->values)
            if (EqualsIgnoreAsciiCase(n, *name)) {
                old = v;
                replaced = true;
            }
        if (!replaced) current->values.emplace_back(std::move(*name), std::move(v));
    }
    if (first && !text.empty()) return std::nullopt;
    return m;
}

std::string Render(const Model& m) {
    static const char* hex = "0123456789abcdef";
    std::string out(kHeader);
    out += '\n';
    for (const Key& k : m.keys) {
        out += '[' + Escape(k.path, true) + "]\n";
        for (const auto& [name, v] : k.values) {
            out += Escape(name, false);
            out += v.type == RegType::Dword ? "=dword:" : "=hex:";
            for (uint8_t b : v.data) {
                out += hex[b >> 4];
                out += hex[b & 15];
            }
            out += '\n';
        }
    }
    return out;
}

// Missing store: an empty model. Unreadable or foreign: nullopt.
std::optional<Model> Load(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        if (ec) return std::nullopt;
        return Model{};
    }
    auto text = ReadSmallFile(file.string(), kMaxStoreBytes);
    if (!text) return std::nullopt;
    return Parse(*text);
}

// Holds the store's write lock for its lifetime.
class WriteLock {
  public:
    explicit WriteLock(const std::filesystem::path& file) {
        std::string lock = file.string() + ".lock";
        fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            while (::flock(fd_, LOCK_EX) != 0) {
                if (errno != EINTR) {
                    ::close(fd_);
                    fd_ = -1;
                    break;
                }
            }
        }
    }
    ~WriteLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

template <typename Change>
bool Modify(const std::filesystem::path& file, Change change) {
    if (file.empty()) return false;
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    if (ec) return false;
    WriteLock lock(file);
    if (!lock.Held()) return false;
    auto model = Load(file);
    if (!model) return false;  // never overwrite a store we could not read
    change(*model);
    return ReplaceFileAtomically(file.string(), Render(*model));
}

RegistryStore DefaultStore() {
    return RegistryStore(RegistryStore::DefaultPath());
}

}  // namespace

std::filesystem::path RegistryStore::DefaultPath() {
    std::filesystem::path base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || *home != '/') return {};
        base = std::filesystem::path(home) / ".config";
    }
    return base / "vantorel" / "registry";
}

bool RegistryStore::KeyExists(RegRoot root, std::string_view subKey) const {
    auto path = FullPath(root, subKey);
    if (!path) return false;
    if (subKey.empty()) return true;
    auto model = Load(file_);
    return model && model->Find(*path) != nullptr;
}

bool RegistryStore::CreateKey(RegRoot root, std::string_view subKey) {
    auto path = FullPath(root, subKey);
    if (!path) return false;
    return Modify(file_, [&](Model& m) { m.Create(*path); });
}

bool RegistryStore::SetValue(RegRoot root, std::string_view subKey, std::string_view name,
                             const RegValue& value) {
    auto path = FullPath(root, subKey);
    if (!path || name.size() > kMaxValueName || value.data.size() > kMaxValueBytes) return false;
    if (value.type == RegType::Dword && value.data.size() != 4) return false;
    return Modify(file_, [&](Model& m) {
        Key& k = m.Create(*path);
        for (auto& [n, v] : k.values)
            if (EqualsIgnoreAsciiCase(n, name)) {
                v = value;
                return;
            }
        k.values.emplace_back(std::string(name), value);
    });
}

std::optional<RegValue> RegistryStore::GetValue(RegRoot root, std::string_view subKey,
                                                std::string_view name) const {
    auto path = FullPath(root, subKey);
    if (!path) return std::nullopt;
    auto model = Load(file_);
    if (!model) return std::nullopt;
    const Key* k = model->Find(*path);
    if (!k) return std::nullopt;
    for (const auto& [n, v] : k->values)
        if (EqualsIgnoreAsciiCase(n, name)) return v;
    return std::nullopt;
}

bool WriteRegBinary(RegistryStore& store, RegRoot root, std::string_view subKey, std::string_view name,
                    const void* data, size_t size) {
    if (size > 0 && data == nullptr) return false;
    RegValue v;
    v.type = RegType::Binary;
    if (size > 0) v.data.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    return store.SetValue(root, subKey, name, v);
}

std::optional<std::vector<uint8_t>> ReadRegBinary(const RegistryStore& store, RegRoot root,
                                                  std::string_view subKey, std::string_view name,
                                                  size_t* size) {
    if (size) *size = 0;
    auto v = store.GetValue(root, subKey, name);
    if (!v || v->data.size() > kRegReadLimit) return std::nullopt;
    if (size) *size = v->data.size();
    return std::move(v->data);
}

void WriteRegDword(RegistryStore& store, RegRoot root, std::string_view subKey, std::string_view name,
                   uint32_t value) {
    RegValue v;
    v.type = RegType::Dword;
    v.data = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    store.SetValue(root, subKey, name, v);
}

uint32_t ReadRegDword(const RegistryStore& store, RegRoot root, std::string_view subKey,
                      std::string_view name, uint32_t defaultValue) {
    auto v = store.GetValue(root, subKey, name);
    if (!v || v->type != RegType::Dword || v->data.size() != 4) return defaultValue;
    return uint32_t(v->data[0]) | uint32_t(v->data[1]) << 8 | uint32_t(v->data[2]) << 16 |
           uint32_t(v->data[3]) << 24;
}

bool WriteRegBinary(RegRoot root, std::string_view subKey, std::string_view name, const void* data,
                    size_t size) {
    RegistryStore store = DefaultStore();
    return WriteRegBinary(store, root, subKey, name, data, size);
}

std::optional<std::vector<uint8_t>> ReadRegBinary(RegRoot root, std::string_view subKey,
                                                  std::string_view name, size_t* size) {
    return ReadRegBinary(DefaultStore(), root, subKey, name, size);
}

void WriteRegDword(RegRoot root, std::string_view subKey, std::string_view name, uint32_t value) {
    RegistryStore store = DefaultStore();
    WriteRegDword(store, root, subKey, name, value);
}

uint32_t ReadRegDword(RegRoot root, std::string_view subKey, std::string_view name, uint32_t defaultValue) {
    return ReadRegDword(DefaultStore(), root, subKey, name, defaultValue);
}

}  // namespace vt
