#include "ops/OutputGuard.h"

#include <filesystem>
#include <system_error>

namespace vt {
namespace fs = std::filesystem;

namespace {
fs::path Canonical(const std::string& p) {
    std::error_code ec;
    fs::path c = fs::weakly_canonical(fs::absolute(fs::path(p), ec), ec);
    if (ec) return fs::absolute(fs::path(p)).lexically_normal();
    return c;
}
}  // namespace

bool OutputNamesAnInput(const std::string& output, const std::vector<std::string>& inputs) {
    if (output.empty()) return false;
    const fs::path out = Canonical(output);
    std::error_code ec;
    const bool outExists = fs::exists(fs::path(output), ec);
    for (const std::string& in : inputs) {
        if (in.empty()) continue;
        if (Canonical(in) == out) return true;
        if (outExists && fs::exists(fs::path(in), ec) && fs::equivalent(fs::path(in), fs::path(output), ec) &&
            !ec)
            return true;
    }
    return false;
}

int DeleteExistingOutput(const std::string& path) {
    if (path.empty()) return 0;
    std::error_code ec;
    const fs::path p(path);
    const fs::file_status st = fs::symlink_status(p, ec);
    if (ec || !fs::exists(st)) return 0;
    if (fs::is_directory(st)) return 1;
    if (fs::is_regular_file(st)) fs::permissions(p, fs::perms::owner_write, fs::perm_options::add, ec);
    ec.clear();
    if (!fs::remove(p, ec) || ec) return 1;
    return 0;
}

}  // namespace vt
