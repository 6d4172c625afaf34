#include "app/Settings.h"

#include <filesystem>

#include "app/InstallPaths.h"
#include "platform/Profile.h"
#include "ui/ShellHelpers.h"

namespace vt {

bool CIniCreate::CreateNew(const std::string& path) {
    file_ = path;
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return !ec;
}

bool CIniCreate::WriteInt(const std::string& section, const std::string& key, int value) {
    return WriteString(section, key, std::to_string(value));
}

bool CIniCreate::WriteString(const std::string& section, const std::string& key, const std::string& text) {
    return WritePrivateProfileString(section, key, text, file_);
}

void CIniCreate::SetFile(const std::string& path) {
    file_ = path;
}

int CIniCreate::GetInt(const std::string& section, const std::string& key, int defaultValue) {
    return GetPrivateProfileInt(section, key, defaultValue, file_);
}

std::string CIniCreate::GetString(const std::string& section, const std::string& key,
                                  const std::string& defaultValue) {
    return GetPrivateProfileString(section, key, defaultValue, file_, kProfileBufferChars);
}

std::string GetSettingsFilePath() {
    return FindSettingsFile(GetAppFolder());
}

std::string GetRegistryKeyName(const std::string& settingsFile) {
    CIniCreate ini;
    ini.SetFile(settingsFile);
    std::string name = ini.GetString("SAVE", "RegPos", kDefaultRegistryKeyName);
    if (name.empty()) return kDefaultRegistryKeyName;
    return name;
}

std::string GetRegistryKeyName() {
    return GetRegistryKeyName(GetSettingsFilePath());
}

}  // namespace vt
