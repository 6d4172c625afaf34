#include "core/ShellHelpers.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <thread>

#include "platform/AsciiText.h"

extern char** environ;

namespace vt {
namespace {

PathPieces Split(const std::string& path, bool windows) {
    PathPieces p;
    size_t start = 0;
    if (windows && path.size() >= 2 && path[1] == ':') {
        p.drive = path.substr(0, 2);
        start = 2;
    }
    auto isSep = [windows](char c) { return c == '/' || (windows && c == '\\'); };
    size_t lastSep = std::string::npos;
    for (size_t i = start; i < path.size(); ++i)
        if (isSep(path[i])) lastSep = i;
    size_t nameStart = start;
    if (lastSep != std::string::npos) {
        p.folder = path.substr(start, lastSep + 1 - start);
        nameStart = lastSep + 1;
    }
    std::string name = path.substr(nameStart);
    size_t dot = name.rfind('.');
    if (dot == std::string::npos) {
        p.title = name;
    } else {
        p.title = name.substr(0, dot);
        p.ext = name.substr(dot);
    }
    return p;
}

}  // namespace

PathPieces SplitPathWindows(const std::string& path) {
    return Split(path, true);
}

PathPieces SplitPath(const std::string& path) {
#ifdef _WIN32
    return Split(path, true);
#else
    return Split(path, false);
#endif
}

std::string GetPathDrive(const std::string& path) {
    return SplitPath(path).drive;
}
std::string GetPathFolder(const std::string& path) {
    return SplitPath(path).folder;
}
std::string GetPathTitle(const std::string& path) {
    return SplitPath(path).title;
}

std::string GetPathNoExt(const std::string& path) {
    PathPieces p = SplitPath(path);
    return p.drive + p.folder + p.title;
}

std::string GetExtLower(const std::string& path) {
    return ToLowerAscii(SplitPath(path).ext);
}

std::string GetModuleFilePath() {
    std::error_code ec;
    auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    std::string s = p.string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

std::string GetAppFolder() {
    std::string self = GetModuleFilePath();
    return GetPathDrive(self) + GetPathFolder(self);
}

void ShellOpenAsync(const std::string& target) {
    std::thread([text = target]() {
        // Below normal priority, as a helper of the window should be.
        ::setpriority(PRIO_PROCESS, 0, 5);
        const char* argv[] = {"xdg-open", text.c_str(), nullptr};
        pid_t pid = 0;
        if (::posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv), environ) ==
            0) {
            int status = 0;
            ::waitpid(pid, &status, 0);
        }
    }).detach();
}

}  // namespace vt
