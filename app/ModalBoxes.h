#pragma once
// The program's modal boxes and file dialogs in one place, each with a hook so
// that tests can answer them instead of a user.
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace vt::gui {

enum class BoxIcon { None, Error, Question, Information };
enum class BoxButtons { Ok, OkCancel };
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

struct ModalBox {
    QWidget* owner = nullptr;
    std::string text;
    std::string caption;
    BoxIcon icon = BoxIcon::None;
    BoxButtons buttons = BoxButtons::Ok;
    bool cancelIsDefault = false;  // OkCancel: Cancel is the default button
};

// Shows the box modally; returns kIdOk or kIdCancel.
int ShowModalBox(const ModalBox& box);

using ModalBoxHook = std::function<int(const ModalBox&)>;
// Replaces the real box; returns the previous hook (empty = the real box).
ModalBoxHook SetModalBoxHook(ModalBoxHook hook);

struct FileDialogRequest {
    bool save = false;         // save dialog (else open)
    bool multiSelect = false;  // open dialog with several files
    std::string initialFile;   // initial file name (may be empty)
    std::string filter;        // "text|pattern|text|pattern|"
    std::string defaultExt;    // with its dot: ".avi"
    // Names the dialog whose last folder is remembered between runs (empty:
    // nothing remembered). RunFileDialog fills initialFolder from it.
    std::string folderKey;
    std::string initialFolder;  // where the dialog opens when initialFile names no folder
};

// The chosen full paths in the dialog's order; empty after Cancel. The folder
// of a choice is remembered under the request's folderKey.
std::vector<std::string> RunFileDialog(const FileDialogRequest& request);

using FileDialogHook = std::function<std::vector<std::string>(const FileDialogRequest&)>;
FileDialogHook SetFileDialogHook(FileDialogHook hook);

// "AVI (*.AVI)|*.avi|WAV-Audio  (*.wav;*.avi)|*.wav; *.avi|" as the toolkit's
// name filters: one entry per pair, the pattern list in parentheses at the end
// ("AVI (*.AVI) (*.avi)"), ';' separators turned into blanks. A trailing text
// without a pattern is dropped.
std::vector<std::string> ConvertFilter(const std::string& filter);

}  // namespace vt::gui
