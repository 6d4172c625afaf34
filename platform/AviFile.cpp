// AviFile and AviStream, the parts that reading and writing share; the
// reader is AviReader.cpp, the writer AviWriter.cpp, the records' layout
// AviRecords.cpp.
#include "platform/AviFile.h"

#include <algorithm>

#include "platform/AviFileImpl.h"

namespace vt {

AviFile::AviFile(std::unique_ptr<AviFileImpl> impl) : impl_(std::move(impl)) {}

AviFile::~AviFile() {
    if (impl_ && impl_->writing) Finish();
}

AviResult AviFile::Info(AviFileInfo& info) const {
    if (!impl_->writing) {
        info = impl_->info;
        return kAviOk;
    }
    AviFileInfo i;
    i.dwStreams = uint32_t(impl_->streams.size());
    for (const auto& s : impl_->streams)
        if (s.info.fccType == kStreamTypeVideo) {
            i.dwScale = s.info.dwScale;
            i.dwRate = s.info.dwRate;
            i.dwLength = uint32_t(std::min<uint64_t>(s.written, 0x7FFFFFFF));
            break;
        }
    info = i;
    return kAviOk;
}

AviResult AviFile::GetStream(std::shared_ptr<AviStream>& out, uint32_t fccType, int index) {
    out.reset();
    int seen = 0;
    for (size_t k = 0; k < impl_->streams.size(); ++k) {
        if (fccType != 0 && impl_->streams[k].info.fccType != fccType) continue;
        if (seen++ == index) {
            // Streams keep the file alive.
            out.reset(new AviStream(shared_from_this(), int(k)));
            return kAviOk;
        }
    }
    return kAviErrNoData;
}

bool AviFile::IsWav() const {
    return impl_->isWav;
}

ByteIO& AviFile::IO() {
    return *impl_->io;
}

AviStream::~AviStream() = default;

AviResult AviStream::Info(AviStreamInfo& info) const {
    const StreamData& s = file_->impl_->streams[size_t(index_)];
    info = s.info;
    if (file_->impl_->writing) info.dwLength = uint32_t(std::min<uint64_t>(s.written, 0x7FFFFFFF));
    return kAviOk;
}

int32_t AviStream::Start() const {
    return int32_t(file_->impl_->streams[size_t(index_)].info.dwStart);
}

int32_t AviStream::Length() const {
    AviStreamInfo i;
    Info(i);
    return int32_t(i.dwLength);
}

}  // namespace vt
