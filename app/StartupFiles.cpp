#include "app/StartupFiles.h"

#include <QTimer>
#include <filesystem>
#include <system_error>

#include "app/BaseDialog.h"

namespace vt::gui {

std::vector<std::string> StartupFiles(int argc, const char* const* argv) {
    std::vector<std::string> files;
    for (int i = 1; i < argc && argv[i]; ++i) {
        const std::string arg = argv[i];
        if (arg.empty()) continue;
        std::error_code ec;
        std::filesystem::path full = std::filesystem::absolute(arg, ec);
        files.push_back(ec ? arg : full.string());
    }
    return files;
}

void QueueStartupFiles(CBaseDialog& window, std::vector<std::string> files) {
    if (files.empty()) return;
    QTimer::singleShot(0, &window, [&window, files = std::move(files)] {
        for (const std::string& f : files) window.SetInputFile(f);
    });
}

}  // namespace vt::gui
