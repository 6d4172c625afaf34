#include "media/wm/DecCompWMV.h"

#include <algorithm>
#include <cstdio>

#include "core/ErrorCodes.h"
#include "media/wm/WmErrors.h"
#include "platform/ByteIO.h"
#include "platform/Bytes.h"

namespace vt {

namespace {

struct StreamDescription {
    AsfMediaType mediaType;
    uint16_t streamNumber = 0;
    uint32_t bufferWindow = 0;
    bool vbr = false;
};

void ClearBitRate(AsfMediaType& mt) {
    if (mt.formatType == kFormatVideoInfo && mt.format.size() >= kVideoInfoBitRateOffset + 4)
        PutU32LE(&mt.format[kVideoInfoBitRateOffset], 0);
    else if (mt.formatType == kFormatWaveFormatEx && mt.format.size() >= kWaveFormatAvgBytesOffset + 4)
        PutU32LE(&mt.format[kWaveFormatAvgBytesOffset], 0);
}

bool MediaTypesMatch(AsfMediaType a, AsfMediaType b, bool ignoreBitRate) {
    if (a.majorType != b.majorType || a.subtype != b.subtype || a.fixedSizeSamples != b.fixedSizeSamples ||
        a.temporalCompression != b.temporalCompression || a.sampleSize != b.sampleSize ||
        a.formatType != b.formatType || a.format.size() != b.format.size())
        return false;
    if (ignoreBitRate) {
        ClearBitRate(a);
        ClearBitRate(b);
    }
    return a.format == b.format;
}

}  // namespace

AsfResult EnlargeBufferWindows(AsfProfile& profile) {
    std::vector<StreamDescription> list;
    for (uint32_t i = 0; i < profile.GetStreamCount(); ++i) {
        const AsfStreamConfig* s = profile.GetStream(i);
        if (!s) return asf::kUnexpected;
        list.push_back({s->GetMediaType(), s->StreamNumber(), s->BufferWindow(), s->vbr});
    }
    for (size_t i = 0; i < list.size(); ++i)
        for (size_t k = 0; k <= i; ++k)
            if (list[k].vbr == list[i].vbr &&
                MediaTypesMatch(list[i].mediaType, list[k].mediaType, list[i].vbr)) {
                uint64_t sum = uint64_t(list[i].bufferWindow) + list[k].bufferWindow;
                list[i].bufferWindow = uint32_t(std::min<uint64_t>(sum, 0xFFFFFFFF));
                break;
            }
    for (const auto& d : list) {
        if (d.streamNumber == 0) continue;
        std::optional<AsfStreamConfig> c = profile.GetStreamByNumber(d.streamNumber);
        if (!c) return asf::kInvalidStream;
        c->SetBufferWindow(d.bufferWindow);
        AsfResult hr = profile.ReconfigStream(*c);
        if (asf::Failed(hr)) return hr;
    }
    return asf::kOk;
}

AsfResult CWMVCopy::OnStreamSample(uint16_t streamNumber, uint64_t sampleTime, uint64_t sampleDuration,
                                   uint32_t flags, const AsfSampleBuffer& sample) {
    if (rangeEnd != 0 && sampleTime > rangeEnd) {
        // Past the range. Samples are stored by send time, so one of another
        // stream still inside the range may follow, at most a preroll later.
        return sampleTime - rangeEnd > lookahead ? asf::kFalse : asf::kOk;
    }
    AsfResult r = asf::kOk;
    if (sampleTime >= rangeStart && sampleCallback)
        r = sampleCallback(streamNumber, sampleTime - rangeStart, sampleDuration, flags, &sample, nullptr,
                           callbackUser);
    if (r < 0) {
        asyncResult = r;
        return r;
    }
    return r > 0 ? asf::kFalse : asf::kOk;
}

CDecCompWMV::~CDecCompWMV() {
    Close();
}

void CDecCompWMV::Diag(const char* format, AsfResult hr) const {
    char line[160];
    std::snprintf(line, sizeof line, format, unsigned(hr));
    if (diagnostics_) {
        diagnostics_(line);
    } else {
        std::printf("%s\n", line);
        std::fflush(stdout);
    }
}

int CDecCompWMV::Open(const std::string& path, uint64_t rangeStart, uint64_t rangeEnd) {
    Close();
    copy_.rangeStart = rangeStart;
    copy_.rangeEnd = rangeEnd;
    AsfResult hr = CreateReader(path);
    if (asf::Failed(hr)) {
        Diag("Could not create the Reader (hr=0x%08x).", hr);
        return ErrorFromAsf(hr, kErrWmOpen);
    }
    hr = ReadProfileInfo();
    if (asf::Failed(hr)) Diag("Could not update profile information (hr=0x%08x).", hr);
    return ErrorFromAsf(hr, kErrWmOpen);
}

AsfResult CDecCompWMV::CreateReader(const std::string& path) {
    Diag("Creating the Reader...");
    copy_.reader = std::make_unique<AsfReader>();
    copy_.readerHeaderInfo = &copy_.reader->HeaderInfo();
    copy_.asyncResult = asf::kOk;
    AsfResult hr = copy_.reader->Open(path);
    if (asf::Failed(hr)) return hr;
    Diag("Reader Callback: File is opened.");
    const AsfAttribute* d = copy_.readerHeaderInfo->GetAttributeByName(0, u"Duration");
    copy_.duration = d && d->value.size() == 8 ? ByteReader(d->value).U64LE() : 0;
    copy_.lookahead = std::min<uint64_t>(copy_.reader->Header().fileProperties.preroll, 3600000) * 10000;
    if (copy_.duration == 0) return asf::kInvalidArg;
    return asf::kOk;
}

AsfResult CDecCompWMV::ReadProfileInfo() {
    copy_.readerProfile = copy_.reader->Profile();
    if (!copy_.readerProfile) return asf::kUnexpected;
    const AsfProfile& p = *copy_.readerProfile;
    copy_.streamCount = p.GetStreamCount();
    copy_.streamTypes.clear();
    copy_.streamNumbers.clear();
    for (uint32_t i = 0; i < copy_.streamCount; ++i) {
        copy_.streamNumbers.push_back(p.GetStream(i)->StreamNumber());
        copy_.streamTypes.push_back(p.GetStream(i)->MajorType());
    }
    return EnlargeBufferWindows(*copy_.readerProfile);
}

void CDecCompWMV::SetSampleCallback(SampleCallback callback, void* user) {
    copy_.sampleCallback = callback;
    copy_.callbackUser = user;
}

AsfResult CDecCompWMV::CopyStreamAttributes(AsfHeaderInfo* destination, uint16_t streamNumber,
                                            uint16_t outputNumber) {
    if (!copy_.readerHeaderInfo) return asf::kUnexpected;
    const AsfHeaderInfo& src = *copy_.readerHeaderInfo;
    size_t count = src.GetAttributeCount(streamNumber);
    for (size_t i = 0; i < count; ++i) {
        const AsfAttribute* a = src.GetAttributeByIndex(streamNumber, i);
        if (!a) return asf::kUnexpected;
        if (!destination) continue;
        AsfResult hr = destination->SetAttribute(outputNumber, a->name, a->type, a->value);
        if (hr == asf::kInvalidArg) continue;  // the destination does not take this one
        if (asf::Failed(hr)) return hr;
    }
    return asf::kOk;
}

AsfResult CDecCompWMV::CopyCodecInfo(AsfHeaderInfo* destination, const Guid& majorType) {
    if (!copy_.readerHeaderInfo || !destination) return asf::kUnexpected;
    const AsfHeaderInfo& src = *copy_.readerHeaderInfo;
    for (size_t i = 0; i < src.GetCodecInfoCount(); ++i) {
        const AsfCodecInfo& c = *src.GetCodecInfo(i);
        bool wanted = (c.type == AsfCodecType::Audio && majorType == kMediaTypeAudio) ||
                      (c.type == AsfCodecType::Video && majorType == kMediaTypeVideo);
        if (!wanted) continue;
        AsfResult hr = destination->AddCodecInfo(c);
        if (asf::Failed(hr)) return hr;
    }
    return asf::kOk;
}

int CDecCompWMV::CopyHeader(AsfHeaderInfo* destination) {
    if (!copy_.readerHeaderInfo || !destination) return kErrWmCodec;
    for (uint16_t n : copy_.streamNumbers) CopyStreamAttributes(destination, n);
    CopyStreamAttributes(destination, 0);

    const AsfHeaderInfo& src = *copy_.readerHeaderInfo;
    AsfResult codecs = asf::kOk;
    for (size_t i = 0; i < src.GetCodecInfoCount() && asf::Succeeded(codecs); ++i)
        codecs = destination->AddCodecInfo(*src.GetCodecInfo(i));
    if (asf::Failed(codecs)) Diag("Could not copy codec info (hr=0x%08x).", codecs);

    AsfResult scripts = asf::kOk;
    for (size_t i = 0; i < src.GetScriptCount() && asf::Succeeded(scripts); ++i) {
        const AsfScript& s = *src.GetScript(i);
        scripts = destination->AddScript(s.type, s.command, s.time);
    }
    if (asf::Failed(scripts)) Diag("Could not copy scripts (hr=0x%08x).", scripts);
    return ErrorFromAsf(asf::Failed(codecs) ? codecs : scripts, kErrWmCodec);
}

int CDecCompWMV::Run() {
    if (const int code = StartRun()) return code;
    while (RunStep()) {
    }
    return FinishRun();
}

int CDecCompWMV::StartRun() {
    copy_.asyncResult = asf::kOk;
    copy_.endOfFile = false;
    stepResult_ = asf::kInvalidRequest;
    if (!copy_.reader || !copy_.reader->IsOpen()) return kErrWmProcess;
    // Samples before the range are dropped: the run begins at a packet
    // shortly before it rather than at the first.
    const uint64_t first = copy_.rangeStart > 0 ? copy_.reader->PacketBefore(copy_.rangeStart) : 0;
    stepResult_ = copy_.reader->BeginRun(first);
    return 0;
}

bool CDecCompWMV::RunStep() {
    if (asf::Failed(stepResult_) || !copy_.reader || !copy_.reader->IsOpen()) return false;
    bool done = false;
    stepResult_ = copy_.reader->Step(copy_, done);
    return !done;
}

int CDecCompWMV::FinishRun() {
    const AsfResult hr = stepResult_;
    if (asf::Failed(hr) && asf::Succeeded(copy_.asyncResult)) copy_.asyncResult = hr;
    if (asf::Succeeded(hr)) copy_.endOfFile = true;
    if (copy_.reader) copy_.reader->CloseFile();
    return ErrorFromAsf(copy_.asyncResult, kErrWmProcess);
}

void CDecCompWMV::Close() {
    copy_.streamCount = 0;
    copy_.readerProfile.reset();
    copy_.readerHeaderInfo = nullptr;
    copy_.reader.reset();
    copy_.streamTypes.clear();
    copy_.streamNumbers.clear();
}

}  // namespace vt
