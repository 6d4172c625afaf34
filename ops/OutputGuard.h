#pragma once
// Safety rules around an operation's output file, shared by the window's
// pages and the command line. Qt-free.
#include <string>
#include <vector>

namespace vt {

// True when `output` names the same file as one of `inputs`: the same
// canonical path (symbolic links and "." / ".." resolved, also for paths that
// do not exist yet) or, when both exist, the same file on disk (hard links).
// Empty paths never match.
bool OutputNamesAnInput(const std::string& output, const std::vector<std::string>& inputs);

// Removes an existing output file before an operation writes it: clears its
// read-only state and deletes it. 0 when there was nothing to delete or the
// deletion worked, 1 when it failed. A directory is never removed (1).
int DeleteExistingOutput(const std::string& path);

}  // namespace vt
