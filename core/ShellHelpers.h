#pragma once
// Shell helpers: opening a document or web address without blocking, the
// program's own path, and the pieces of a path. Qt-free.
#include <string>

namespace vt {

struct PathPieces {
    std::string drive;   // "C:" (Windows-style paths only)
    std::string folder;  // from the first separator after the drive to the last one, inclusive
    std::string title;   // file name without folder and extension
    std::string ext;     // extension with its dot
};

// Splits the way the platform does: on Windows drive letters and both slashes,
// elsewhere '/' only and never a drive.
PathPieces SplitPath(const std::string& path);
// The Windows rules, whatever the platform (drive, '\' and '/').
PathPieces SplitPathWindows(const std::string& path);

std::string GetPathDrive(const std::string& path);
std::string GetPathFolder(const std::string& path);
std::string GetPathTitle(const std::string& path);
// Drive + folder + title: the path without its extension.
std::string GetPathNoExt(const std::string& path);
// The extension with its dot, ASCII letters lowered; empty when there is none.
std::string GetExtLower(const std::string& path);

// The running program's real full path.
std::string GetModuleFilePath();
// Drive + folder of the program file, ending with a separator.
std::string GetAppFolder();

// Opens a file or an address with the desktop's default handler on a
// short-lived low-priority thread; returns at once, reports nothing.
void ShellOpenAsync(const std::string& target);

}  // namespace vt
