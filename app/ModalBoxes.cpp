#include "app/ModalBoxes.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <filesystem>

#include "core/Settings.h"
#include "ui/WindowPlacement.h"

namespace vt::gui {
namespace {

ModalBoxHook& BoxHook() {
    static ModalBoxHook hook;
    return hook;
}

FileDialogHook& DialogHook() {
    static FileDialogHook hook;
    return hook;
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(' ');
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

}  // namespace

// The dialog itself (or the tests' answer).
static std::vector<std::string> ShowFileDialog(const FileDialogRequest& r);

int ShowModalBox(const ModalBox& box) {
    if (BoxHook()) return BoxHook()(box);
    QMessageBox mb(box.owner);
    // Over the main window wherever the window manager put it.
    CentreOnShow(&mb, box.owner);
    mb.setWindowTitle(Q(box.caption));
    mb.setText(Q(box.text));
    switch (box.icon) {
        case BoxIcon::Error:
            mb.setIcon(QMessageBox::Critical);
            break;
        case BoxIcon::Question:
            mb.setIcon(QMessageBox::Question);
            break;
        case BoxIcon::Information:
            mb.setIcon(QMessageBox::Information);
            break;
        case BoxIcon::None:
            break;
    }
    if (box.buttons == BoxButtons::OkCancel) {
        mb.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        mb.setDefaultButton(box.cancelIsDefault ? QMessageBox::Cancel : QMessageBox::Ok);
    } else {
        mb.setStandardButtons(QMessageBox::Ok);
    }
    return mb.exec() == QMessageBox::Ok ? kIdOk : kIdCancel;
}

ModalBoxHook SetModalBoxHook(ModalBoxHook hook) {
    ModalBoxHook old = std::move(BoxHook());
    BoxHook() = std::move(hook);
    return old;
}

std::vector<std::string> ConvertFilter(const std::string& filter) {
    std::vector<std::string> parts;
    std::string::size_type pos = 0;
    while (pos < filter.size()) {
        auto bar = filter.find('|', pos);
        if (bar == std::string::npos) bar = filter.size();
        parts.push_back(filter.substr(pos, bar - pos));
        pos = bar + 1;
    }
    std::vector<std::string> out;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string patterns;
        std::string one;
        auto flush = [&] {
            const std::string t = Trim(one);
            if (!t.empty()) patterns += (patterns.empty() ? "" : " ") + t;
            one.clear();
        };
        for (char c : parts[i + 1]) {
            if (c == ';')
                flush();
            else
                one += c;
        }
        flush();
        if (patterns.empty()) continue;
        out.push_back(Trim(parts[i]) + " (" + patterns + ")");
    }
    return out;
}

std::vector<std::string> RunFileDialog(const FileDialogRequest& request) {
    FileDialogRequest r = request;
    if (r.initialFolder.empty()) r.initialFolder = ReadLastFolder(r.folderKey);
    std::vector<std::string> chosen = ShowFileDialog(r);
    if (!chosen.empty()) {
        const std::string folder = std::filesystem::path(chosen.front()).parent_path().string();
        WriteLastFolder(r.folderKey, folder);
    }
    return chosen;
}

static std::vector<std::string> ShowFileDialog(const FileDialogRequest& r) {
    if (DialogHook()) return DialogHook()(r);
    QFileDialog dlg(nullptr);
    dlg.setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(r.save ? QFileDialog::AnyFile
                           : (r.multiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile));
    // The texts carry their own pattern description ("AVI (*.AVI)").
    dlg.setOption(QFileDialog::HideNameFilterDetails, true);
    QStringList filters;
    for (const auto& f : ConvertFilter(r.filter)) filters << Q(f);
    if (!filters.isEmpty()) dlg.setNameFilters(filters);
    std::string ext = r.defaultExt;
    if (!ext.empty() && ext.front() == '.') ext.erase(0, 1);
    if (!ext.empty()) dlg.setDefaultSuffix(Q(ext));
    if (!r.initialFolder.empty() && std::filesystem::is_directory(r.initialFolder))
        dlg.setDirectory(Q(r.initialFolder));
    if (!r.initialFile.empty()) dlg.selectFile(Q(r.initialFile));
    std::vector<std::string> chosen;
    if (dlg.exec() != QDialog::Accepted) return chosen;
    for (const QString& f : dlg.selectedFiles()) chosen.push_back(f.toStdString());
    return chosen;
}

FileDialogHook SetFileDialogHook(FileDialogHook hook) {
    FileDialogHook old = std::move(DialogHook());
    DialogHook() = std::move(hook);
    return old;
}

}  // namespace vt::gui
