#include "ops/PageTable.h"

#include <array>
#include <cctype>
#include <string>

#include "platform/AsciiText.h"

namespace vt {
namespace {

constexpr std::array<PageInfo, kPageCount> kPages = {{
    {0, "CAVICutterDlg", PageKind::Cutter, 104, kColorAvi},
    {1, "CAVICreatorDlg", PageKind::Creator, 103, kColorAvi},
    {2, "CAVILinkerDlg", PageKind::Linker, 105, kColorAvi},
    {3, "CAVIExtract", PageKind::Extract, 106, kColorAvi},
    {4, "CWAVLinkerDlg", PageKind::Linker, 105, kColorWav},
    {5, "CWAVExtract", PageKind::Extract, 106, kColorWav},
    {6, "CWMVCutterDlg", PageKind::Cutter, 104, kColorWm},
    {7, "CWMVCreatorDlg", PageKind::Creator, 103, kColorWm},
    {8, "CWMVLinkerDlg", PageKind::Linker, 105, kColorWm},
    {9, "CWMVExtract", PageKind::Extract, 106, kColorWm},
    {10, "CFLVCutterDlg", PageKind::Cutter, 104, kColorFlv},
    {11, "CFLvLinkerDlg", PageKind::Linker, 105, kColorFlv},
    {12, "CFLVExtract", PageKind::Extract, 106, kColorFlv},
}};

constexpr std::array<FormatItem, 5> kFormats = {{
    {"AVI", kFormatAvi},
    {"WAV", kFormatWav},
    {"WMV", kFormatWmv},
    {"WMA", kFormatWma},
    {"FLV", kFormatFlv},
}};

constexpr OperationItem kAviOps[] = {
    {10091, 0, Operation::Separate},
    {10093, 1, Operation::Union},
    {10095, 2, Operation::Join},
    {10097, 3, Operation::Extract},
};
constexpr OperationItem kWavOps[] = {{10099, 4, Operation::Join}, {10101, 5, Operation::Extract}};
constexpr OperationItem kWmvOps[] = {
    {10091, 6, Operation::Separate},
    {10093, 7, Operation::Union},
    {10095, 8, Operation::Join},
    {10097, 9, Operation::Extract},
};
constexpr OperationItem kWmaOps[] = {{10099, 8, Operation::Join}, {10101, 9, Operation::Extract}};
constexpr OperationItem kFlvOps[] = {
    {10091, 10, Operation::Separate},
    {10095, 11, Operation::Join},
    {10097, 12, Operation::Extract},
};

}  // namespace

std::span<const PageInfo> Pages() {
    return kPages;
}

const PageInfo* FindPage(int pageNumber) {
    if (pageNumber < 0 || pageNumber >= kPageCount) return nullptr;
    return &kPages[size_t(pageNumber)];
}

int TemplateOfKind(PageKind kind) {
    switch (kind) {
        case PageKind::Creator:
            return 103;
        case PageKind::Cutter:
            return 104;
        case PageKind::Linker:
            return 105;
        case PageKind::Extract:
            return 106;
    }
    return 0;
}

ColorRef GetPageColor(int pageNumber) {
    const PageInfo* page = FindPage(pageNumber);
    return page ? page->color : 0;
}

std::span<const FormatItem> FormatItems() {
    return kFormats;
}

std::span<const OperationItem> OperationItems(int formatData) {
    switch (formatData) {
        case kFormatAvi:
            return kAviOps;
        case kFormatWav:
            return kWavOps;
        case kFormatWmv:
            return kWmvOps;
        case kFormatWma:
            return kWmaOps;
        case kFormatFlv:
            return kFlvOps;
        default:
            return {};
    }
}

int FindPageNumber(int formatData, Operation operation) {
    for (const OperationItem& item : OperationItems(formatData))
        if (item.operation == operation) return item.pageNumber;
    return -1;
}

std::optional<int> ParseFormatName(std::string_view name) {
    std::string lower = ToLowerAscii(name);
    for (const FormatItem& f : kFormats)
        if (ToLowerAscii(f.text) == lower) return f.data;
    return std::nullopt;
}

std::optional<int> FormatFromExtension(std::string_view extWithDot) {
    if (extWithDot.size() < 2 || extWithDot[0] != '.') return std::nullopt;
    return ParseFormatName(extWithDot.substr(1));
}

std::optional<Operation> ParseOperationName(std::string_view name) {
    for (Operation op : {Operation::Separate, Operation::Union, Operation::Join, Operation::Extract})
        if (OperationName(op) == name) return op;
    return std::nullopt;
}

std::string_view OperationName(Operation operation) {
    switch (operation) {
        case Operation::Separate:
            return "separate";
        case Operation::Union:
            return "union";
        case Operation::Join:
            return "join";
        case Operation::Extract:
            return "extract";
    }
    return {};
}

}  // namespace vt
