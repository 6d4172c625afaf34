#include "core/Settings.h"

#include <filesystem>

#include "core/InstallPaths.h"
#include "core/ShellHelpers.h"
#include "platform/Profile.h"
#include "platform/Registry.h"

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

std::string ProgramSettingsKey() {
    return "Software\\" + GetRegistryKeyName() + "\\Vantorel";
}

namespace {
constexpr uint32_t kPlaceStored = 1;
}

std::optional<WindowPlace> ReadWindowPlace() {
    const std::string key = ProgramSettingsKey() + "\\Window";
    if (ReadRegDword(RegRoot::CurrentUser, key, "Stored", 0) != kPlaceStored) return std::nullopt;
    WindowPlace p;
    p.left = int32_t(ReadRegDword(RegRoot::CurrentUser, key, "Left", 0));
    p.top = int32_t(ReadRegDword(RegRoot::CurrentUser, key, "Top", 0));
    return p;
}

void WriteWindowPlace(const WindowPlace& place) {
    const std::string key = ProgramSettingsKey() + "\\Window";
    WriteRegDword(RegRoot::CurrentUser, key, "Left", uint32_t(int32_t(place.left)));
    WriteRegDword(RegRoot::CurrentUser, key, "Top", uint32_t(int32_t(place.top)));
    WriteRegDword(RegRoot::CurrentUser, key, "Stored", kPlaceStored);
}

bool ReadVerifyOutput() {
    return ReadRegDword(RegRoot::CurrentUser, ProgramSettingsKey(), "VerifyOutput", 0) != 0;
}

void WriteVerifyOutput(bool on) {
    WriteRegDword(RegRoot::CurrentUser, ProgramSettingsKey(), "VerifyOutput", on ? 1 : 0);
}

std::string ReadLastFolder(const std::string& dialogKey) {
    if (dialogKey.empty()) return {};
    const auto bytes = ReadRegBinary(RegRoot::CurrentUser, ProgramSettingsKey() + "\\Folders", dialogKey);
    if (!bytes) return {};
    return std::string(bytes->begin(), bytes->end());
}

void WriteLastFolder(const std::string& dialogKey, const std::string& folder) {
    if (dialogKey.empty() || folder.empty() || folder.size() > kRegReadLimit) return;
    WriteRegBinary(RegRoot::CurrentUser, ProgramSettingsKey() + "\\Folders", dialogKey, folder.data(),
                   folder.size());
}

}  // namespace vt
