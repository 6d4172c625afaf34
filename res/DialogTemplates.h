#pragma once
// The dialog templates of the program's windows as plain data: each control's
// id, kind, template text and rectangle in dialog units. The window layer turns
// them into widgets; nothing here depends on a toolkit.
#include <span>
#include <string_view>

namespace vt {

enum class CtrlKind {
    GroupBox,
    Static,        // left-aligned text
    StaticRight,   // right-aligned text
    Edit,          // editable edit box
    ReadOnlyEdit,  // read-only, border, auto-scroll
    PushButton,
    OwnerDrawButton,  // drawn by its control class
    ComboDropList,    // drop-down list, vertical scroll
    ListBox,          // border, both scroll bars, not sorted
    ProgressBar,      // smooth, border, range 0 to 100
};

inline constexpr int kNoCtrlId = -1;  // labels that nothing addresses

struct CtrlTemplate {
    int id;
    CtrlKind kind;
    std::string_view text;
    int x, y, w, h;
    bool disabled = false;
    bool hidden = false;
};

struct DialogTemplate {
    int id;
    int width, height;  // dialog units
    int fontPoints;     // the dialog font's size
    bool child;         // page (child) or top-level window
    std::span<const CtrlTemplate> controls;
};

// Template ids.
inline constexpr int kTemplateMain = 102;
inline constexpr int kTemplateCreator = 103;
inline constexpr int kTemplateCutter = 104;
inline constexpr int kTemplateLinker = 105;
inline constexpr int kTemplateExtract = 106;

// The template of that id, or nullptr.
const DialogTemplate* FindDialogTemplate(int id);

}  // namespace vt
