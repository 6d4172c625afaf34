#include <gtest/gtest.h>

#include "ops/PageTable.h"

namespace vt {
namespace {

TEST(PageTable, PagesAreNumberedInOrderWithKindTemplateAndColour) {
    auto pages = Pages();
    ASSERT_EQ(pages.size(), 13u);
    for (size_t i = 0; i < pages.size(); ++i) {
        EXPECT_EQ(pages[i].pageNumber, int(i));
        EXPECT_EQ(pages[i].templateId, TemplateOfKind(pages[i].kind));
        EXPECT_EQ(GetPageColor(int(i)), pages[i].color);
    }
    EXPECT_EQ(pages[8].className, "CWMVLinkerDlg");
    EXPECT_EQ(pages[11].className, "CFLvLinkerDlg");
}

TEST(PageTable, PageColourOfEveryNumber) {
    const ColorRef expected[] = {0x8080FF, 0x8080FF, 0x8080FF, 0x8080FF, 0x80FFFF, 0x80FFFF, 0xBFFF80,
                                 0xBFFF80, 0xBFFF80, 0xBFFF80, 0xFF8080, 0xFF8080, 0xFF8080};
    for (int n = 0; n < 13; ++n) EXPECT_EQ(GetPageColor(n), expected[n]) << n;
    EXPECT_EQ(GetPageColor(-1), 0u);
    EXPECT_EQ(GetPageColor(13), 0u);
}

TEST(PageTable, OperationSelectorContents) {
    struct Case {
        int format;
        std::vector<std::pair<unsigned, int>> items;
    } cases[] = {
        {kFormatAvi, {{10091, 0}, {10093, 1}, {10095, 2}, {10097, 3}}},
        {kFormatWav, {{10099, 4}, {10101, 5}}},
        {kFormatWmv, {{10091, 6}, {10093, 7}, {10095, 8}, {10097, 9}}},
        {kFormatWma, {{10099, 8}, {10101, 9}}},
        {kFormatFlv, {{10091, 10}, {10095, 11}, {10097, 12}}},
        {5, {}},
        {-1, {}},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<unsigned, int>> got;
        for (const OperationItem& item : OperationItems(c.format))
            got.emplace_back(item.stringId, item.pageNumber);
        EXPECT_EQ(got, c.items) << "format " << c.format;
    }
}

TEST(PageTable, PageOfFormatAndOperation) {
    struct Case {
        const char* format;
        const char* op;
        int page;
    } cases[] = {
        {"avi", "separate", 0},  {"avi", "union", 1},   {"avi", "join", 2},      {"avi", "extract", 3},
        {"wav", "join", 4},      {"wav", "extract", 5}, {"wav", "separate", -1}, {"wav", "union", -1},
        {"WMV", "separate", 6},  {"wmv", "union", 7},   {"wmv", "join", 8},      {"wmv", "extract", 9},
        {"wma", "join", 8},      {"wma", "extract", 9}, {"wma", "separate", -1}, {"wma", "union", -1},
        {"flv", "separate", 10}, {"flv", "join", 11},   {"flv", "extract", 12},  {"flv", "union", -1},
    };
    for (const Case& c : cases) {
        auto format = ParseFormatName(c.format);
        auto op = ParseOperationName(c.op);
        ASSERT_TRUE(format && op) << c.format << " " << c.op;
        EXPECT_EQ(FindPageNumber(*format, *op), c.page) << c.format << " " << c.op;
    }
}

TEST(PageTable, NamesAndExtensions) {
    EXPECT_EQ(FormatFromExtension(".AVI"), kFormatAvi);
    EXPECT_EQ(FormatFromExtension(".wma"), kFormatWma);
    EXPECT_EQ(FormatFromExtension(".mp3"), std::nullopt);
    EXPECT_EQ(FormatFromExtension(""), std::nullopt);
    EXPECT_EQ(FormatFromExtension("avi"), std::nullopt);
    EXPECT_EQ(ParseFormatName("mp4"), std::nullopt);
    EXPECT_EQ(ParseOperationName("cut"), std::nullopt);
    auto items = FormatItems();
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[3].text, "WMA");
    EXPECT_EQ(items[3].data, 3);
}

}  // namespace
}  // namespace vt
