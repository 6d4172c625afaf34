// How a save copies tags: runs of large tags copied from file to file with
// only the changed headers written over them, runs of small tags read and
// rewritten in memory. Whatever the source's writer put in its headers and
// size fields, the output has clean ones, the data as stored and the times
// as edited.
#include <gtest/gtest.h>

#include "core/ErrorCodes.h"
#include "tests/flv/FlvTestUtil.h"

using namespace vt;
using namespace vt::test;

namespace {

struct SourceTag {
    uint8_t type;
    uint32_t time;
    std::vector<uint8_t> data;
};

// How the source's writer wrote its headers and size fields.
struct Writer {
    uint8_t sizeField = 0;     // 0: the whole tag's size, 1: the data size, 2: zero
    uint8_t streamId = 0;      // the header's stream id (0 in a clean file)
    bool lastSizeCut = false;  // the file ends right after the last tag's data
};

std::vector<uint8_t> Data(uint8_t head, size_t n, uint32_t seed) {
    std::vector<uint8_t> d(n);
    d[0] = head;
    for (size_t i = 1; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        d[i] = uint8_t(seed >> 16);
    }
    return d;
}

// Video (H.263, a key frame every 10th) of `videoSize` bytes and MP3 sound of
// `audioSize` bytes in turn, 40 ms apart; `bigAt` makes one frame `bigSize`.
std::vector<SourceTag> Tags(size_t count, size_t videoSize, size_t audioSize, size_t bigAt = SIZE_MAX,
                            size_t bigSize = 0) {
    std::vector<SourceTag> tags;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t t = uint32_t(i / 2 * 40);
        if (i % 2 == 0)
            tags.push_back({kFlvTagVideo, t,
                            Data(i % 20 == 0 ? 0x12 : 0x22, i == bigAt ? bigSize : videoSize, uint32_t(i))});
        else
            tags.push_back({kFlvTagAudio, t, Data(0x2F, audioSize, uint32_t(i))});
    }
    return tags;
}

std::vector<uint8_t> Build(const std::vector<SourceTag>& tags, const Writer& w) {
    std::vector<uint8_t> b = {'F', 'L', 'V', 1, 5, 0, 0, 0, 9, 0, 0, 0, 0};
    for (const auto& t : tags) {
        const uint32_t n = uint32_t(t.data.size());
        uint8_t h[11] = {t.type, 0, 0, 0, 0, 0, 0, uint8_t(t.time >> 24), 0, w.streamId, 0};
        PutU24BE(h + 1, n);
        PutU24BE(h + 4, t.time & 0xFFFFFF);
        b.insert(b.end(), h, h + 11);
        b.insert(b.end(), t.data.begin(), t.data.end());
        uint8_t s[4];
        PutU32BE(s, w.sizeField == 0 ? n + 11 : w.sizeField == 1 ? n : 0);
        b.insert(b.end(), s, s + 4);
    }
    if (w.lastSizeCut) b.resize(b.size() - 4);
    return b;
}

// Checks the whole output: a header, onMetaData, then `want` tag by tag with
// clean headers (stream id 0) and size fields, and nothing behind.
void ExpectFile(const std::vector<uint8_t>& out, const std::vector<SourceTag>& want) {
    ASSERT_GE(out.size(), 13u + 15u);
    ASSERT_EQ(GetU32BE(&out[9]), 0u);
    size_t pos = 13;
    ASSERT_EQ(out[pos], kFlvTagScript);
    pos += 11 + GetU24BE(&out[pos + 1]);
    ASSERT_EQ(GetU32BE(&out[pos]), pos - 13);
    pos += 4;
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE("tag " + std::to_string(i));
        const auto& w = want[i];
        ASSERT_LE(pos + 11 + w.data.size() + 4, out.size());
        EXPECT_EQ(out[pos], w.type);
        ASSERT_EQ(GetU24BE(&out[pos + 1]), w.data.size());
        EXPECT_EQ(GetU24BE(&out[pos + 4]) | (uint32_t(out[pos + 7]) << 24), w.time);
        EXPECT_EQ(GetU24BE(&out[pos + 8]), 0u);  // stream id
        EXPECT_TRUE(std::equal(w.data.begin(), w.data.end(), out.begin() + ptrdiff_t(pos + 11)));
        pos += 11 + w.data.size();
        EXPECT_EQ(GetU32BE(&out[pos]), 11 + w.data.size());
        pos += 4;
    }
    EXPECT_EQ(pos, out.size());
}

}  // namespace

TEST(FlvCopy, OutputsHaveCleanHeadersWhateverTheSourceHolds) {
    struct Case {
        const char* what;
        std::vector<SourceTag> tags;
        Writer writer;
    } cases[] = {
        {"large tags as a save writes them", Tags(40, 20000, 300), {}},
        {"large tags, size fields without the header", Tags(40, 20000, 300), {1, 0, false}},
        {"large tags, size fields of 0", Tags(40, 20000, 300), {2, 0, false}},
        {"large tags with a stream id", Tags(40, 20000, 300), {0, 7, false}},
        {"large tags, the last size field cut off", Tags(41, 20000, 300), {0, 0, true}},
        {"small tags", Tags(400, 200, 100), {}},
        {"small tags with a stream id, the last size field cut off", Tags(400, 200, 100), {0, 3, true}},
        {"one very large tag among small ones", Tags(60, 500, 100, 30, 700000), {1, 0, false}},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto in = dir / "in.flv";
        WriteFile(in, Build(c.tags, c.writer));

        // As it is; with itself behind it; and a section of it.
        CFlvFile whole;
        ASSERT_EQ(whole.Open(in.string()), 0);
        ASSERT_EQ(whole.Tags().size(), c.tags.size());
        const auto out = dir / "out.flv";
        ASSERT_EQ(whole.SaveAs(out.string(), nullptr), 0);
        ExpectFile(ReadFile(out), c.tags);
        // The same bytes through the I/O class's plain copy (memory, no kernel copy).
        MemoryIO memory;
        ASSERT_EQ(whole.SaveAs(memory, nullptr), 0);
        EXPECT_EQ(memory.Data(), ReadFile(out));

        CFlvFile joined;
        ASSERT_EQ(joined.Open(in.string()), 0);
        ASSERT_EQ(joined.Add(&whole, true), 0);
        ASSERT_EQ(joined.SaveAs(out.string(), nullptr), 0);
        auto twice = c.tags;
        uint32_t shift = 0;  // the end of the last frame
        for (const auto& t : c.tags) shift = std::max(shift, t.time + 40);
        for (auto t : c.tags) twice.push_back({t.type, t.time + shift, t.data});
        ExpectFile(ReadFile(out), twice);
        // The same join with the second index moved over instead of copied;
        // the second file's object may go before the save.
        {
            CFlvFile moved;
            ASSERT_EQ(moved.Open(in.string()), 0);
            {
                CFlvFile second;
                ASSERT_EQ(second.Open(in.string()), 0);
                ASSERT_EQ(moved.Add(&second, true, true), 0);
                EXPECT_TRUE(second.Tags().empty());
            }
            MemoryIO joinedMoved;
            ASSERT_EQ(moved.SaveAs(joinedMoved, nullptr), 0);
            EXPECT_EQ(joinedMoved.Data(), ReadFile(out));
        }

        CFlvFile part;
        ASSERT_EQ(part.Open(in.string()), 0);
        ASSERT_EQ(part.Extract(400, 0), 0);  // from the key frame at 400 ms (tag 20) on
        ASSERT_EQ(part.SaveAs(out.string(), nullptr), 0);
        std::vector<SourceTag> section(c.tags.begin() + 20, c.tags.end());
        for (auto& t : section) t.time -= 400;
        ExpectFile(ReadFile(out), section);
    }
}

// A stop in the middle of a run keeps exactly the tags up to the stop, in
// both ways of copying.
TEST(FlvCopy, StopInsideARunKeepsTheTagsBeforeIt) {
    TempDir dir;
    for (const auto& tags : {Tags(40, 20000, 300), Tags(400, 200, 100)}) {
        const auto in = dir / "in.flv";
        WriteFile(in, Build(tags, {}));
        CFlvFile f;
        ASSERT_EQ(f.Open(in.string()), 0);
        for (int after : {1, 7, 33}) {
            SCOPED_TRACE(std::to_string(tags.size()) + " tags, stopped after " + std::to_string(after));
            RecordingProcess stop;
            stop.stopAfter = after;
            const auto out = dir / "out.flv";
            ASSERT_EQ(f.SaveAs(out.string(), &stop), kErrSilent);
            EXPECT_EQ(stop.calls.size(), size_t(after) + 1);
            ExpectFile(ReadFile(out), std::vector<SourceTag>(tags.begin(), tags.begin() + after));
        }
    }
}

// A source that lost its end after it was opened fails the save as a read
// error, and the save leaves nothing behind, in both ways of copying.
TEST(FlvCopy, SourceCutShortAfterOpeningIsAReadError) {
    TempDir dir;
    for (const auto& tags : {Tags(40, 20000, 300), Tags(400, 200, 100)}) {
        const auto in = dir / "in.flv";
        const auto bytes = Build(tags, {});
        WriteFile(in, bytes);
        CFlvFile f;
        ASSERT_EQ(f.Open(in.string()), 0);
        std::filesystem::resize_file(in, bytes.size() / 2);
        const auto out = dir / "out.flv";
        EXPECT_EQ(f.SaveAs(out.string(), nullptr), kFlvErrRead) << tags.size();
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

// Where Extract makes a section begin is what the page shows while the times
// are typed, from the index alone.
TEST(FlvCopy, SectionStartOfIsWhereExtractBegins) {
    for (const auto& fixture : {H264AacFixture(), H263Mp3Fixture(), Mp3OnlyFixture()}) {
        CFlvFile index;
        ASSERT_EQ(index.Open(fixture.string()), 0);
        const uint32_t d = index.Duration();
        const size_t whole = index.Tags().size();
        for (uint32_t start : {0u, 1u, 450u, 960u, 1001u, d / 2, d - 1, d, d + 5000}) {
            for (uint32_t end : {0u, start + 1, start + 700, d}) {
                CFlvFile f;
                ASSERT_EQ(f.Open(fixture.string()), 0);
                ASSERT_EQ(f.Extract(start, end), 0);
                EXPECT_EQ(index.SectionStartOf(start, end), f.SectionStart())
                    << fixture.filename() << " " << start << "-" << end;
            }
        }
        EXPECT_EQ(index.Tags().size(), whole);  // the index is left as it was
    }
}
