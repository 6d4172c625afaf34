#pragma once
// The thirteen operation pages as data: page numbers, classes, kinds,
// templates and colours, and what the two selectors of the main window offer.
// Shared by the window (which builds its pages and selectors from it) and by
// the command line (which picks the page of a format and an operation). Qt-free.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace vt {

// COLORREF: 0x00BBGGRR.
using ColorRef = uint32_t;

inline constexpr ColorRef kColorAvi = 0x8080FF;
inline constexpr ColorRef kColorWav = 0x80FFFF;
inline constexpr ColorRef kColorWm = 0xBFFF80;  // WMV and WMA
inline constexpr ColorRef kColorFlv = 0xFF8080;

// The operation kind of a page; it fixes the page's dialog template.
enum class PageKind { Creator, Cutter, Linker, Extract };

// The four operations, as the command line names them.
enum class Operation { Separate, Union, Join, Extract };

// Item data of the format selector.
enum FormatData : int { kFormatAvi = 0, kFormatWav = 1, kFormatWmv = 2, kFormatWma = 3, kFormatFlv = 4 };

inline constexpr int kPageCount = 13;

struct PageInfo {
    int pageNumber;
    std::string_view className;
    PageKind kind;
    int templateId;  // 103 union, 104 separation, 105 connection, 106 extraction
    ColorRef color;
};

struct FormatItem {
    std::string_view text;  // "AVI", "WAV", "WMV", "WMA", "FLV"
    int data;               // 0 to 4
};

struct OperationItem {
    unsigned stringId;  // Japanese id of the operation text's string pair (English = id + 1)
    int pageNumber;     // the item's data
    Operation operation;
};

// All thirteen pages in page-number order (creation order).
std::span<const PageInfo> Pages();
// The page of that number, or nullptr.
const PageInfo* FindPage(int pageNumber);

// The template id of a kind: 103, 104, 105 or 106.
int TemplateOfKind(PageKind kind);

// Page colour of a page number; 0 for a number outside 0 to 12.
ColorRef GetPageColor(int pageNumber);

// The format selector's items, in the order they are added.
std::span<const FormatItem> FormatItems();

// The operation selector's items for a format's item data, in order; empty
// for data outside 0 to 4.
std::span<const OperationItem> OperationItems(int formatData);

// The page that the format (item data) offers for the operation, or -1 when
// the format has no such operation (for example WAV separation).
int FindPageNumber(int formatData, Operation operation);

// Format names as the command line takes them ("avi", "WAV", ...; ASCII case
// ignored) and the format of a file extension (".avi", ".WMA"; with its dot).
std::optional<int> ParseFormatName(std::string_view name);
std::optional<int> FormatFromExtension(std::string_view extWithDot);

// "separate", "union", "join", "extract" and back.
std::optional<Operation> ParseOperationName(std::string_view name);
std::string_view OperationName(Operation operation);

}  // namespace vt
