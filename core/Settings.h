#pragma once
// The settings file beside the program and the name of the registry key under
// which settings live. Qt-free.
#include <optional>
#include <string>

namespace vt {

// Reads and writes one initialisation file through the profile functions.
class CIniCreate {
  public:
    virtual ~CIniCreate() = default;
    // Stores the path and deletes an existing file there; false when an
    // existing file could not be deleted.
    virtual bool CreateNew(const std::string& path);
    // The value as decimal text through WriteString.
    virtual bool WriteInt(const std::string& section, const std::string& key, int value);
    virtual bool WriteString(const std::string& section, const std::string& key, const std::string& text);
    virtual void SetFile(const std::string& path);
    virtual int GetInt(const std::string& section, const std::string& key, int defaultValue);
    // Read with a buffer of 520 characters: at most 519 come back.
    virtual std::string GetString(const std::string& section, const std::string& key,
                                  const std::string& defaultValue);

    const std::string& File() const { return file_; }

  private:
    std::string file_;
};

inline constexpr const char* kSettingsFileName = "Setting.ini";
inline constexpr const char* kDefaultRegistryKeyName = "PARVEX";

// GetAppFolder() + "Setting.ini"; an installed program without one reads
// <sysconfdir>/vantorel/Setting.ini when that exists (see InstallPaths.h).
std::string GetSettingsFilePath();

// [SAVE] RegPos of the settings file (at most 519 characters); "PARVEX" when
// the file, the section or the key is missing, or the value is empty (an
// empty name would put the settings directly under "Software").
std::string GetRegistryKeyName();
// The same for a given settings file.
std::string GetRegistryKeyName(const std::string& settingsFile);

// What the program remembers between runs, in the user's registry store
// under Software\<registry key name>\Vantorel: the main window's place, the
// last folder of each file dialog, and whether outputs are verified.
std::string ProgramSettingsKey();

struct WindowPlace {
    int left = 0;
    int top = 0;
};
// The stored place of the main window's frame; nullopt when none is stored.
std::optional<WindowPlace> ReadWindowPlace();
void WriteWindowPlace(const WindowPlace& place);

// Whether the operation pages check each output after a successful run (the
// page's "Verify the output"); off when nothing is stored.
bool ReadVerifyOutput();
void WriteVerifyOutput(bool on);

// The last folder chosen in the file dialog named `dialogKey`; empty when none.
std::string ReadLastFolder(const std::string& dialogKey);
void WriteLastFolder(const std::string& dialogKey, const std::string& folder);

}  // namespace vt
