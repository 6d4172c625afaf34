#pragma once
// Initialisation ("profile") files: the private-profile string and integer
// reads and the string write, with the rules the program's settings file has
// always followed. Also the two small file helpers that the settings stores
// share: a bounded read of a small file and an atomic replace. Qt-free.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vt {

// The buffer of a profile read, in characters, including the terminating one:
// a value is cut to kProfileBufferChars - 1 = 519 characters.
inline constexpr size_t kProfileBufferChars = 520;

// Larger files are not read at all (treated as unreadable).
inline constexpr uint64_t kMaxSettingsFileBytes = 4u << 20;

// The text of `key` in `section` of the file.
// - Section and key names match ignoring ASCII case; the first section of that
//   name is the one searched, and in it the first line of that key.
// - Lines are trimmed of blanks (space, tab, CR); "[name]" opens a section (blanks
//   inside the brackets are trimmed); "key=value" gives a key, both sides
//   trimmed; a line without "=" is a key with an empty value; lines starting
//   with ';' are comments; lines before the first section belong to none.
// - A value enclosed in one pair of matching quotes (" or ') loses them.
// - A missing file, an unreadable one, a missing section or key gives the
//   default with its trailing blanks removed; a key with an empty value gives
//   the empty text.
// - The result is cut to bufferChars - 1 characters (Unicode code points; a
//   buffer of 0 gives the empty text).
// - UTF-8 files (with or without BOM) and UTF-16LE files with BOM are read.
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, const std::string& file,
                                    size_t bufferChars = kProfileBufferChars);

// The value read as above, as an integer: leading blanks, an optional sign and
// decimal digits up to the first other character (no digits gives 0), clamped
// to the int range; a missing or empty value gives the default.
int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                         const std::string& file);

// Sets `key` in `section` to `value` (creating the file, the section or the key
// as needed; an existing key keeps its place). No value deletes the key; the
// file is replaced atomically (through a symbolic link, its target is
// replaced; a new file gets mode 0644). False when the file cannot be read or written,
// or when a name is empty or any text contains a line break (which would
// corrupt the file).
bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::optional<std::string_view> value, const std::string& file);

// Reads a whole file of at most maxBytes bytes. nullopt when it is missing,
// unreadable or larger.
std::optional<std::string> ReadSmallFile(const std::string& path, uint64_t maxBytes);

// Replaces the file's content atomically: a temporary file in the same folder
// is written, synced and renamed over the path, so a crash leaves either the
// old or the new content. The folder must exist. An existing file keeps its
// permission bits; a new one gets newFileMode.
bool ReplaceFileAtomically(const std::string& path, std::string_view content, unsigned newFileMode = 0600);

}  // namespace vt
