#pragma once
// The program's pictures (compiled in from res/ui.qrc) by their resource ids,
// and the string ids of the controls.
#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace vt {

// Title-row bitmaps, 16 x 16, key colour 0x808080.
inline constexpr unsigned IDB_CLOSE = 134;
inline constexpr unsigned IDB_TITLE = 135;
inline constexpr unsigned IDB_MIN = 136;
inline constexpr unsigned IDB_HELP = 138;
inline constexpr unsigned IDB_ABOUT = 139;
// Icons, 32 x 32.
inline constexpr unsigned IDI_PROGRAM = 128;
inline constexpr unsigned IDI_OK = 41001;
// The system icon size.
inline constexpr int kIconSize = 32;

// String pairs of the controls (res/strings/ui.inc).
inline constexpr unsigned IDS_ABOUT_CAPTION = 44001;  // "Version"
inline constexpr unsigned IDS_ABOUT_OK = 44003;       // "OK"
inline constexpr unsigned IDS_ABOUT_NOTICE = 44005;   // the maker's notice
inline constexpr unsigned IDS_ABOUT_ADDRESS = 44007;  // the maker's web page

// Makes the compiled-in pictures reachable; safe to call any number of times.
void EnsureUiResources();
// Bitmap resource `id` at its own size; a null image when there is none.
QImage LoadBitmapResource(unsigned id);
// Icon resource `id` as a pixmap of size x size; a null pixmap when there is none.
QPixmap LoadIconResource(unsigned id, int size = kIconSize);
// Icon resource `id` with all its sizes, for window icons.
QIcon LoadIconSet(unsigned id);

}  // namespace vt
