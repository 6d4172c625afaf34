#include <gtest/gtest.h>

#include "flv/Amf0.h"

using namespace vt;

TEST(Amf0, EveryValueTypeSurvivesWriteAndRead) {
    AmfValue v = AmfValue::Ecma();
    v.Set("n", AmfValue::Num(1.5));
    v.Set("b", AmfValue::Bool(true));
    v.Set("s", AmfValue::Str("text"));
    v.Set("long", AmfValue::Str(std::string(70000, 'x')));
    AmfValue date;
    date.type = AmfValue::Type::Date;
    date.number = 1e12;
    date.timezone = -60;
    v.Set("d", date);
    AmfValue nul;
    nul.type = AmfValue::Type::Null;
    v.Set("null", nul);
    v.Set("undef", AmfValue());
    AmfValue obj = AmfValue::Obj();
    AmfValue arr = AmfValue::Array();
    arr.items = {AmfValue::Num(1), AmfValue::Str("two")};
    obj.Set("arr", arr);
    v.Set("obj", obj);

    MemoryIO out;
    ASSERT_TRUE(WriteAmfValue(out, v));
    EXPECT_EQ(out.Data().size(), AmfEncodedSize(v));

    MemoryIO in{std::span<const uint8_t>(out.Data())};
    AmfValue back;
    ASSERT_TRUE(ReadAmfValue(in, back));
    EXPECT_TRUE(in.AtEnd());
    ASSERT_EQ(back.props.size(), v.props.size());
    EXPECT_EQ(back.NumberOr("n", 0), 1.5);
    EXPECT_TRUE(back.Find("b")->boolean);
    EXPECT_EQ(back.Find("s")->text, "text");
    EXPECT_EQ(back.Find("long")->type, AmfValue::Type::LongString);
    EXPECT_EQ(back.Find("long")->text.size(), 70000u);
    EXPECT_EQ(back.Find("d")->number, 1e12);
    EXPECT_EQ(back.Find("d")->timezone, -60);
    EXPECT_EQ(back.Find("null")->type, AmfValue::Type::Null);
    EXPECT_EQ(back.Find("undef")->type, AmfValue::Type::Undefined);
    const AmfValue* a = back.Find("obj")->Find("arr");
    ASSERT_TRUE(a);
    ASSERT_EQ(a->items.size(), 2u);
    EXPECT_EQ(a->items[1].text, "two");
}

TEST(Amf0, MalformedInputIsRefused) {
    std::vector<uint8_t> deep;
    for (int i = 0; i < 100; ++i) deep.insert(deep.end(), {3, 0, 1, 'a'});  // objects inside objects
    deep.push_back(5);
    // A strict array of more nulls than values are allowed: a few bytes on
    // disk that would take a hundred times that in memory.
    std::vector<uint8_t> many = {10, 0x00, 0x05, 0x00, 0x00};  // 0x50000 items
    many.resize(many.size() + 0x50000, 5);
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"empty", {}},
        {"short number", {0, 1, 2}},
        {"string longer than the data", {2, 0xFF, 0xFF, 'a'}},
        {"long string longer than the data", {12, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}},
        {"strict array count lie", {10, 0xFF, 0xFF, 0xFF, 0xFF, 5}},
        {"object cut inside a property", {3, 0, 1, 'a'}},
        {"object cut inside a name", {3, 0, 5, 'a'}},
        {"unknown marker", {17}},
        {"nesting too deep", deep},
        {"too many values", many},
    };
    for (const auto& c : cases) {
        MemoryIO in{std::span<const uint8_t>(c.bytes)};
        AmfValue v;
        EXPECT_FALSE(ReadAmfValue(in, v)) << c.what;
        ByteReader reader(c.bytes);
        EXPECT_FALSE(ReadAmfValue(reader, v)) << c.what;
    }
}

// Metadata whose writer cut off the last end markers (an object inside an
// ECMA array, both unterminated at the end of the tag) keeps what it holds.
TEST(Amf0, EndMarkersCutOffAtTheEndOfTheData) {
    const std::vector<uint8_t> bytes = {8, 0, 0,   0, 2, 0, 1,   'd', 0,    0x40, 0x08, 0, 0, 0, 0, 0, 0,
                                        0, 1, 'k', 3, 0, 1, 't', 0,   0x3F, 0xF0, 0,    0, 0, 0, 0, 0};
    for (size_t cut : {size_t(0), size_t(3), size_t(6)}) {
        std::vector<uint8_t> b = bytes;
        if (cut >= 3) b.insert(b.end(), {0, 0, 9});  // the object's end only
        if (cut >= 6) b.insert(b.end(), {0, 0, 9});  // and the array's
        ByteReader reader(b);
        AmfValue v;
        ASSERT_TRUE(ReadAmfValue(reader, v)) << cut;
        EXPECT_EQ(v.NumberOr("d", 0), 3.0);
        const AmfValue* k = v.Find("k");
        ASSERT_NE(k, nullptr);
        EXPECT_EQ(k->NumberOr("t", 0), 1.0);
    }
}
