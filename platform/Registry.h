#pragma once
// A small per-user registry: keys named by backslash paths below a root, each
// holding typed values (REG_DWORD and REG_BINARY). It lives in one file,
// $XDG_CONFIG_HOME/vantorel/registry (or ~/.config/vantorel/registry), which
// is replaced atomically on every write, so a crash never leaves a half
// written store. Key and value names match ignoring ASCII case. Qt-free.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vt {

// Predefined roots. Every root lives in the per-user store.
enum class RegRoot { CurrentUser };

enum class RegType : uint32_t { Binary = 3, Dword = 4 };

// The most bytes a binary read takes; a larger value is not read.
inline constexpr size_t kRegReadLimit = 4096;

struct RegValue {
    RegType type = RegType::Binary;
    std::vector<uint8_t> data;  // a DWORD is 4 bytes, little-endian
};

// One store file. Every operation loads the file afresh (other processes may
// have changed it); writes hold an exclusive lock on "<file>.lock" for the
// read-modify-replace.
class RegistryStore {
  public:
    explicit RegistryStore(std::filesystem::path file) : file_(std::move(file)) {}

    // The user's store: $XDG_CONFIG_HOME (when set and absolute) or $HOME/.config,
    // then "vantorel/registry". Empty when neither gives a folder.
    static std::filesystem::path DefaultPath();

    const std::filesystem::path& File() const { return file_; }

    // True when the key exists (RegOpenKey). A sub-key is a backslash path;
    // an empty sub-key is the root itself. Empty path parts are invalid.
    bool KeyExists(RegRoot root, std::string_view subKey) const;
    // Creates the key and its parents (RegCreateKey); false on an invalid path
    // or when the store cannot be written.
    bool CreateKey(RegRoot root, std::string_view subKey);
    // Sets a value, creating the key; false when the path is invalid or the
    // store cannot be written.
    bool SetValue(RegRoot root, std::string_view subKey, std::string_view name, const RegValue& value);
    // The value, or nullopt when the key or value is missing or the store is
    // unreadable.
    std::optional<RegValue> GetValue(RegRoot root, std::string_view subKey, std::string_view name) const;

  private:
    std::filesystem::path file_;
};

// The program's registry functions on the user's store (RegistryStore::DefaultPath()).

// Writes the bytes as REG_BINARY under the key (created when missing). True
// when the value was stored; false when the key cannot be created or the
// store cannot be written.
bool WriteRegBinary(RegRoot root, std::string_view subKey, std::string_view name, const void* data,
                    size_t size);
// The value's bytes (of whatever type; the value is read as raw bytes), or
// nullopt when the key or value is missing or the value is larger than
// kRegReadLimit bytes. `size` (when not null) gets the byte count, 0 on failure.
std::optional<std::vector<uint8_t>> ReadRegBinary(RegRoot root, std::string_view subKey,
                                                  std::string_view name, size_t* size = nullptr);
// Writes a REG_DWORD; failures are ignored.
void WriteRegDword(RegRoot root, std::string_view subKey, std::string_view name, uint32_t value);
// The REG_DWORD value, or the default when the key or value is missing, the
// value has another type or the store is unreadable.
uint32_t ReadRegDword(RegRoot root, std::string_view subKey, std::string_view name, uint32_t defaultValue);

// The same on a given store (for tests and tools).
bool WriteRegBinary(RegistryStore& store, RegRoot root, std::string_view subKey, std::string_view name,
                    const void* data, size_t size);
std::optional<std::vector<uint8_t>> ReadRegBinary(const RegistryStore& store, RegRoot root,
                                                  std::string_view subKey, std::string_view name,
                                                  size_t* size = nullptr);
void WriteRegDword(RegistryStore& store, RegRoot root, std::string_view subKey, std::string_view name,
                   uint32_t value);
uint32_t ReadRegDword(const RegistryStore& store, RegRoot root, std::string_view subKey,
                      std::string_view name, uint32_t defaultValue);

}  // namespace vt
