#include "core/InstallPaths.h"

#include <filesystem>
#include <system_error>

#include "core/Settings.h"

// The install folders relative to the prefix, from the build's install rules.
#ifndef VT_INSTALL_BINDIR
#define VT_INSTALL_BINDIR "bin"
#endif
#ifndef VT_INSTALL_DOCDIR
#define VT_INSTALL_DOCDIR "share/doc/vantorel"
#endif
#ifndef VT_INSTALL_SYSCONFDIR
#define VT_INSTALL_SYSCONFDIR "etc"
#endif

namespace vt {
namespace {

bool IsFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

std::string WithSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

bool StartsWith(const std::string& s, const std::string& head) {
    return s.compare(0, head.size(), head) == 0;
}

}  // namespace

std::string InstallPrefixOf(const std::string& appFolder) {
    const std::string bin = WithSlash(VT_INSTALL_BINDIR);
    if (bin.front() == '/' || appFolder.size() <= bin.size() || appFolder.front() != '/') return {};
    const size_t cut = appFolder.size() - bin.size();
    if (appFolder.compare(cut, bin.size(), bin) != 0 || appFolder[cut - 1] != '/') return {};
    return appFolder.substr(0, cut);
}

std::string SysconfDirOf(const std::string& prefix) {
    const std::string etc = VT_INSTALL_SYSCONFDIR;
    if (etc.front() == '/') return WithSlash(etc);
    if (etc == "etc") {
        if (prefix == "/" || prefix == "/usr/") return "/etc/";
        if (StartsWith(prefix, "/opt/")) return "/etc" + prefix;
    }
    return prefix + WithSlash(etc);
}

std::string FindHelpFile(const std::string& appFolder, const std::string& name) {
    const std::string beside = appFolder + name;
    if (IsFile(beside)) return beside;
    const std::string prefix = InstallPrefixOf(appFolder);
    if (!prefix.empty()) {
        const std::string doc =
            std::string(VT_INSTALL_DOCDIR).front() == '/' ? VT_INSTALL_DOCDIR : prefix + VT_INSTALL_DOCDIR;
        const std::string installed = WithSlash(doc) + name;
        if (IsFile(installed)) return installed;
    }
    return beside;
}

std::string FindSettingsFile(const std::string& appFolder) {
    const std::string beside = appFolder + kSettingsFileName;
    if (IsFile(beside)) return beside;
    const std::string prefix = InstallPrefixOf(appFolder);
    if (!prefix.empty()) {
        const std::string installed = SysconfDirOf(prefix) + "vantorel/" + kSettingsFileName;
        if (IsFile(installed)) return installed;
    }
    return beside;
}

}  // namespace vt
