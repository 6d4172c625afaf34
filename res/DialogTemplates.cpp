#include "res/DialogTemplates.h"

#include <array>

namespace vt {
namespace {

using K = CtrlKind;

// Main window: title row, the two selectors and the page area.
constexpr CtrlTemplate kMain[] = {
    {1070, K::ComboDropList, "", 0, 16, 48, 111},
    {1072, K::ComboDropList, "", 48, 16, 278, 125},
    {1000, K::OwnerDrawButton, "", 0, 0, 263, 16},
    {1004, K::OwnerDrawButton, "About...", 263, 0, 16, 16},
    {1003, K::OwnerDrawButton, "Help", 279, 0, 16, 16},
    {1001, K::OwnerDrawButton, "Min", 295, 0, 16, 16},
    {1002, K::OwnerDrawButton, "Close", 311, 0, 16, 16},
    {1005, K::Static, "", 0, 56, 327, 168, false, true},
};

// Union: video source, audio source, output.
constexpr CtrlTemplate kCreator[] = {
    {1041, K::GroupBox, "Input Src(Drag && Drop OK)", 6, 2, 312, 81},
    {1051, K::Static, "Video Src[AVI]", 16, 14, 70, 8},
    {1052, K::ReadOnlyEdit, "", 19, 26, 259, 14},
    {1053, K::PushButton, "...(&V)", 280, 26, 30, 14},
    {1054, K::Static, "Audio Src[AVI or WAV]", 16, 47, 94, 8},
    {1055, K::ReadOnlyEdit, "", 19, 60, 259, 14},
    {1056, K::PushButton, "...(&A)", 280, 60, 30, 14},
    {1057, K::GroupBox, "Output Dst[AVI]", 6, 89, 312, 48},
    {1058, K::ReadOnlyEdit, "", 19, 109, 259, 14},
    {1059, K::PushButton, "...(&O)", 280, 109, 30, 14},
    {1063, K::PushButton, "Comb(&C)", 262, 144, 56, 44},
    {1064, K::PushButton, "Stop(&S)", 202, 144, 56, 44, true},
    {1067, K::GroupBox, "Progress", 6, 141, 192, 46},
    {1065, K::Static, "Info", 12, 154, 180, 9},
    {1066, K::ProgressBar, "", 12, 170, 180, 11},
};

// Separation: one input, two start buttons.
constexpr CtrlTemplate kCutter[] = {
    {1041, K::GroupBox, "Input Src(Drag && Drop OK)", 6, 2, 312, 81},
    {1051, K::Static, "Movie Src[AVI]", 16, 14, 66, 8},
    {1052, K::ReadOnlyEdit, "", 19, 26, 259, 14},
    {1053, K::PushButton, "...(&I)", 280, 26, 30, 14},
    {1057, K::GroupBox, "Output Dst[AVI or WAV]", 6, 89, 312, 48},
    {1058, K::ReadOnlyEdit, "", 19, 109, 259, 14},
    {1059, K::PushButton, "...(&O)", 280, 109, 30, 14},
    {1061, K::PushButton, "Video Cut", 262, 144, 56, 20},
    {1062, K::PushButton, "Audio Cut", 262, 168, 56, 20},
    {1064, K::PushButton, "Stop", 202, 144, 56, 44, true},
    {1067, K::GroupBox, "Progress", 6, 141, 192, 46},
    {1065, K::Static, "Info", 12, 154, 180, 9},
    {1066, K::ProgressBar, "", 12, 170, 180, 11},
};

// Connection: the file list with Add, Del and Reset.
constexpr CtrlTemplate kLinker[] = {
    {1041, K::GroupBox, "Input Src(Drag && Drop OK)", 6, 2, 312, 81},
    {1042, K::ListBox, "", 12, 16, 244, 64},
    {1071, K::PushButton, "Add", 261, 29, 50, 14},
    {1073, K::PushButton, "Del", 261, 47, 50, 14},
    {1072, K::PushButton, "Reset", 261, 65, 50, 14},
    {1057, K::GroupBox, "Output Dst[AVI]", 6, 89, 312, 48},
    {1058, K::ReadOnlyEdit, "", 19, 109, 259, 14},
    {1059, K::PushButton, "...(&O)", 280, 109, 30, 14},
    {1063, K::PushButton, "Link", 262, 144, 56, 44},
    {1064, K::PushButton, "Stop", 202, 144, 56, 44, true},
    {1067, K::GroupBox, "Progress", 6, 141, 192, 46},
    {1065, K::Static, "Info", 12, 154, 180, 9},
    {1066, K::ProgressBar, "", 12, 170, 180, 11},
};

// Section extraction: one input and the time range row.
constexpr CtrlTemplate kExtract[] = {
    {1041, K::GroupBox, "Input Src(Drag && Drop OK)", 6, 2, 312, 81},
    {1051, K::Static, "Movie Src[AVI]", 16, 14, 128, 8},
    {1052, K::ReadOnlyEdit, "", 19, 26, 259, 14},
    {1053, K::PushButton, "...(&I)", 280, 26, 30, 14},
    {1089, K::StaticRight, "Extraction range", 7, 55, 54, 8},
    {1081, K::Edit, "", 64, 52, 18, 14},
    {1090, K::Static, "H", 84, 55, 8, 8},
    {1082, K::Edit, "", 92, 52, 18, 14},
    {1092, K::Static, "M", 112, 55, 8, 8},
    {1083, K::Edit, "", 121, 52, 18, 14},
    {kNoCtrlId, K::Static, ".", 142, 55, 4, 8},
    {1084, K::Edit, "", 147, 52, 18, 14},
    {1094, K::Static, "S", 168, 55, 8, 8},
    {kNoCtrlId, K::Static, "\xEF\xBD\x9E", 179, 55, 8, 8},  // "～"
    {1085, K::Edit, "", 189, 52, 18, 14},
    {1091, K::Static, "H", 209, 55, 8, 8},
    {1086, K::Edit, "", 217, 52, 18, 14},
    {1093, K::Static, "M", 237, 55, 8, 8},
    {1087, K::Edit, "", 246, 52, 18, 14},
    {kNoCtrlId, K::Static, ".", 267, 55, 4, 8},
    {1088, K::Edit, "", 272, 52, 18, 14},
    {1095, K::Static, "S", 293, 55, 8, 8},
    {1057, K::GroupBox, "Output Dst[AVI]", 6, 89, 312, 48},
    {1058, K::ReadOnlyEdit, "", 19, 109, 259, 14},
    {1059, K::PushButton, "...(&O)", 280, 109, 30, 14},
    {1063, K::PushButton, "Extra", 262, 144, 56, 44},
    {1064, K::PushButton, "Stop", 202, 144, 56, 44, true},
    {1067, K::GroupBox, "Progress", 6, 141, 192, 46},
    {1065, K::Static, "Info", 12, 154, 180, 9},
    {1066, K::ProgressBar, "", 12, 170, 180, 11},
};

constexpr std::array kTemplates = {
    DialogTemplate{kTemplateMain, 327, 224, 9, false, kMain},
    DialogTemplate{kTemplateCreator, 324, 194, 9, true, kCreator},
    DialogTemplate{kTemplateCutter, 324, 194, 9, true, kCutter},
    DialogTemplate{kTemplateLinker, 324, 194, 9, true, kLinker},
    DialogTemplate{kTemplateExtract, 324, 194, 9, true, kExtract},
};

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
    for (const auto& t : kTemplates)
        if (t.id == id) return &t;
    return nullptr;
}

}  // namespace vt
