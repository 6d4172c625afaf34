#pragma once
// Vocabulary of our ASF (Windows Media container) layer: GUIDs, result codes,
// media types, sample buffers and the attribute types the header information
// uses. Qt-free.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vt {

class ByteIO;

// Results of the ASF layer, in the HRESULT style: 0 success, 1 "success,
// stop", negative failure. Its own type: an ASF result becomes an error-table
// code only through ErrorFromAsf (media/wm/WmErrors.h).
namespace asf {
enum Result : int32_t {
    kOk = 0,
    kFalse = 1,
    kFail = int32_t(0x80004005u),
    kInvalidArg = int32_t(0x80070057u),
    kOutOfMemory = int32_t(0x8007000Eu),
    kUnexpected = int32_t(0x8000FFFFu),
    kFileNotFound = int32_t(0x80070002u),
    kInvalidData = int32_t(0x8007000Du),  // the file is damaged or not ASF
    kHandleEof = int32_t(0x80070026u),    // the file ends early
    kWriteFault = int32_t(0x8007001Du),
    kNotFound = int32_t(0x80070490u),
    kInvalidStream = int32_t(0xC00D0BBDu),   // no such stream number
    kInvalidRequest = int32_t(0xC00D002Bu),  // call out of order
};
constexpr bool Failed(Result hr) {
    return hr < 0;
}
constexpr bool Succeeded(Result hr) {
    return hr >= 0;
}
}  // namespace asf
using AsfResult = asf::Result;

struct Guid {
    uint32_t d1 = 0;
    uint16_t d2 = 0, d3 = 0;
    std::array<uint8_t, 8> d4{};

    friend bool operator==(const Guid&, const Guid&) = default;
    bool IsNull() const { return *this == Guid{}; }

    // The 16-byte little-endian form used in files.
    static Guid FromBytes(const uint8_t* p);
    void ToBytes(uint8_t* p) const;
    bool Read(ByteIO& io);
    bool Write(ByteIO& io) const;
    std::string ToString() const;  // "75B22630-668E-11CF-A6D9-00AA0062CE6C"
};

// GUID of a FOURCC-style media subtype: XXXXXXXX-0000-0010-8000-00AA00389B71.
constexpr Guid FourCCGuid(uint32_t fcc) {
    return Guid{fcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

namespace asfguid {
// Top-level objects.
constexpr Guid kHeader{0x75B22630, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}};
constexpr Guid kData{0x75B22636, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}};
constexpr Guid kSimpleIndex{0x33000890, 0xE5B1, 0x11CF, {0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB}};
// Header objects.
constexpr Guid kFileProperties{0x8CABDCA1, 0xA947, 0x11CF, {0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
constexpr Guid kStreamProperties{
    0xB7DC0791, 0xA9B7, 0x11CF, {0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
constexpr Guid kHeaderExtension{0x5FBF03B5, 0xA92E, 0x11CF, {0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
constexpr Guid kCodecList{0x86D15240, 0x311D, 0x11D0, {0xA3, 0xA4, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6}};
constexpr Guid kScriptCommand{0x1EFB1A30, 0x0B62, 0x11D0, {0xA3, 0x9B, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6}};
constexpr Guid kMarker{0xF487CD01, 0xA951, 0x11CF, {0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
constexpr Guid kContentDescription{
    0x75B22633, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}};
constexpr Guid kExtendedContentDescription{
    0xD2D0A440, 0xE307, 0x11D2, {0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50}};
constexpr Guid kStreamBitrateProperties{
    0x7BF875CE, 0x468D, 0x11D1, {0x8D, 0x82, 0x00, 0x60, 0x97, 0xC9, 0xA2, 0xB2}};
constexpr Guid kPadding{0x1806D474, 0xCADF, 0x4509, {0xA4, 0xBA, 0x9A, 0xAB, 0xCB, 0x96, 0xAA, 0xE8}};
// Objects inside the header extension.
constexpr Guid kExtendedStreamProperties{
    0x14E6A5CB, 0xC672, 0x4332, {0x83, 0x99, 0xA9, 0x69, 0x52, 0x06, 0x5B, 0x5A}};
constexpr Guid kMetadata{0xC5F8CBEA, 0x5BAF, 0x4877, {0x84, 0x67, 0xAA, 0x8C, 0x44, 0xFA, 0x4C, 0xCA}};
constexpr Guid kMetadataLibrary{0x44231C94, 0x9498, 0x49D1, {0xA1, 0x41, 0x1D, 0x13, 0x4E, 0x45, 0x70, 0x54}};
constexpr Guid kLanguageList{0x7C4346A9, 0xEFE0, 0x4BFC, {0xB2, 0x29, 0x39, 0x3E, 0xDE, 0x41, 0x5C, 0x85}};
// Objects that name streams: which of them exclude each other, share a
// bandwidth, or come first when bandwidth runs short.
constexpr Guid kMutualExclusion{0xD6E229DC, 0x35DA, 0x11D1, {0x90, 0x34, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xBE}};
constexpr Guid kAdvancedMutualExclusion{
    0xA08649CF, 0x4775, 0x4670, {0x8A, 0x16, 0xD0, 0xB0, 0xA5, 0xDB, 0x5C, 0x1E}};
constexpr Guid kGroupMutualExclusion{
    0xD1465A40, 0x5A79, 0x4338, {0xB7, 0x1B, 0xE3, 0x6B, 0x8F, 0xD6, 0xC2, 0x49}};
constexpr Guid kStreamPrioritization{
    0xD4FED15B, 0x88D3, 0x454F, {0x81, 0xF0, 0xED, 0x5C, 0x45, 0x99, 0x9E, 0x24}};
constexpr Guid kBandwidthSharing{
    0xA69609E6, 0x517B, 0x11D2, {0xB6, 0xAF, 0x00, 0xC0, 0x4F, 0xD9, 0x08, 0xE9}};
// Reserved fields.
constexpr Guid kReserved1{0xABD3D211, 0xA9BA, 0x11CF, {0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
constexpr Guid kReserved2{0x86D15241, 0x311D, 0x11D0, {0xA3, 0xA4, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6}};
constexpr Guid kReserved3{0x4B1ACBE3, 0x100B, 0x11D0, {0xA3, 0x9B, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6}};
// Stream types and error correction types.
constexpr Guid kAudioMedia{0xF8699E40, 0x5B4D, 0x11CF, {0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B}};
constexpr Guid kVideoMedia{0xBC19EFC0, 0x5B4D, 0x11CF, {0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B}};
constexpr Guid kCommandMedia{0x59DACFC0, 0x59E6, 0x11D0, {0xA3, 0xAC, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6}};
constexpr Guid kNoErrorCorrection{
    0x20FB5700, 0x5B55, 0x11CF, {0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B}};
constexpr Guid kAudioSpread{0xBFC3CD50, 0x618F, 0x11CF, {0x8B, 0xB2, 0x00, 0xAA, 0x00, 0xB4, 0xE2, 0x20}};
// Payload extension systems.
constexpr Guid kPayloadExtSampleDuration{
    0xC6BD9450, 0x867F, 0x4907, {0x83, 0xA3, 0xC7, 0x79, 0x21, 0xB7, 0x33, 0xAD}};
}  // namespace asfguid

// Major types and format types of the media types a profile describes.
constexpr Guid kMediaTypeVideo = FourCCGuid(0x73646976);   // 'vids'
constexpr Guid kMediaTypeAudio = FourCCGuid(0x73647561);   // 'auds'
constexpr Guid kMediaTypeScript = FourCCGuid(0x73636D64);  // 'scmd'
constexpr Guid kFormatVideoInfo{0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
constexpr Guid kFormatWaveFormatEx{
    0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};

// A stream's media type: major type, subtype, sample traits and the format
// block (WAVEFORMATEX for audio, VIDEOINFOHEADER for video, the stream's own
// type-specific data otherwise).
struct AsfMediaType {
    Guid majorType;
    Guid subtype;
    bool fixedSizeSamples = false;
    bool temporalCompression = false;
    uint32_t sampleSize = 0;
    Guid formatType;
    std::vector<uint8_t> format;
};
constexpr size_t kVideoInfoHeaderSize = 48;  // VIDEOINFOHEADER before its BITMAPINFOHEADER
constexpr size_t kVideoInfoBitRateOffset = 32;
constexpr size_t kWaveFormatAvgBytesOffset = 8;

// Sample flags as readers report them and writers take them.
constexpr uint32_t kSampleCleanPoint = 0x1;
constexpr uint32_t kSampleDiscontinuity = 0x2;
constexpr uint32_t kSampleDataLoss = 0x4;

// Bytes that are not cleared when they are allocated: for buffers that are
// always written before they are read. Resize drops the contents; Grow keeps
// them (the memory may move, without ever being held twice when the system
// can remap it).
class UninitBytes {
  public:
    void Resize(size_t n) {
        if (n == size_) return;
        bytes_.reset(n ? Allocate(nullptr, n) : nullptr);
        size_ = n;
    }
    void Grow(size_t n) {
        if (n <= size_) return;
        uint8_t* moved = Allocate(bytes_.get(), n);
        (void)bytes_.release();  // realloc has taken it over
        bytes_.reset(moved);
        size_ = n;
    }
    uint8_t* data() { return bytes_.get(); }
    const uint8_t* data() const { return bytes_.get(); }
    size_t size() const { return size_; }

  private:
    struct Free {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    static uint8_t* Allocate(uint8_t* old, size_t n) {
        void* p = std::realloc(old, n);
        if (!p) throw std::bad_alloc();
        return static_cast<uint8_t*>(p);
    }
    std::unique_ptr<uint8_t, Free> bytes_;
    size_t size_ = 0;
};

// A block of memory a reader reads packets into and lends the bytes of its
// samples from. Shared: whoever holds a reference keeps the block's bytes as
// they are, past the step that delivered them; the reader reads into a block
// again only once nobody else holds it.
using AsfLentBlock = std::shared_ptr<const UninitBytes>;

// One compressed sample (a whole media object): its own bytes, a view of
// bytes someone else holds (valid only during the call that receives them),
// or pieces lent from a reader's blocks (the payloads the object came in).
class AsfSampleBuffer {
  public:
    AsfSampleBuffer() : pieces_(&view_, 1) {}
    explicit AsfSampleBuffer(std::vector<uint8_t> bytes)
        : own_(std::move(bytes)), view_(own_), pieces_(&view_, 1), length_(view_.size()) {}
    explicit AsfSampleBuffer(std::span<const uint8_t> view)
        : view_(view), pieces_(&view_, 1), length_(view.size()) {}
    // A sample in `pieces`, of `length` bytes in all, that lie in the blocks
    // `owners`: a caller may keep the pieces' bytes as long as it holds
    // references to all the owners. `assembly` (or the buffer's own memory,
    // when null) takes the bytes in one piece when a caller asks for that.
    AsfSampleBuffer(std::span<const std::span<const uint8_t>> pieces, std::span<const AsfLentBlock> owners,
                    size_t length, std::vector<uint8_t>* assembly)
        : pieces_(pieces), owners_(owners), length_(length), assembly_(assembly) {}
    AsfSampleBuffer(const AsfSampleBuffer&) = delete;
    AsfSampleBuffer& operator=(const AsfSampleBuffer&) = delete;

    // The bytes in one piece: a sample in several pieces is copied whole
    // the first time they are asked for.
    const uint8_t* Data() const { return Bytes().data(); }
    size_t Length() const { return length_; }
    std::span<const uint8_t> Bytes() const;
    std::vector<uint8_t> ToVector() const {
        const auto b = Bytes();
        return {b.begin(), b.end()};
    }
    // The bytes as they lie, in order, without a copy.
    std::span<const std::span<const uint8_t>> Pieces() const { return pieces_; }
    // The blocks the pieces are lent from; none when the bytes are valid
    // only during the call that receives them.
    std::span<const AsfLentBlock> Owners() const { return owners_; }

  private:
    mutable std::vector<uint8_t> own_;
    mutable std::span<const uint8_t> view_;
    std::span<const std::span<const uint8_t>> pieces_;
    std::span<const AsfLentBlock> owners_;
    size_t length_ = 0;
    std::vector<uint8_t>* assembly_ = nullptr;
};

// Attribute value types, numbered as the Windows Media attribute API numbers them.
enum class AsfAttrType : uint16_t {
    Dword = 0,
    String = 1,
    Binary = 2,
    Bool = 3,
    Qword = 4,
    Word = 5,
    Guid = 6
};

// Codec description kinds, numbered as the Windows Media API numbers them.
enum class AsfCodecType : uint32_t { Audio = 0, Video = 1, Unknown = 0xFFFFFFFF };

// UTF-16 helpers: attribute strings are UTF-16LE bytes with a terminating null.
std::u16string Utf8ToUtf16(std::string_view s);
std::string Utf16ToUtf8(std::u16string_view s);
std::vector<uint8_t> Utf16Value(std::u16string_view s);            // bytes with the terminator
std::u16string Utf16FromValue(const std::vector<uint8_t>& bytes);  // stops at the first null

}  // namespace vt
