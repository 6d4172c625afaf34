// Writing AVI files: the header lists laid out before the first sample, one
// RIFF part after another ('AVI ' then 'AVIX') with their indexes, and the
// headers completed with the totals at the end.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/AudioFormat.h"
#include "platform/AviFileImpl.h"
#include "platform/Riff.h"

namespace vt {

namespace {

// Indexes go out in batches of this size: a part of millions of chunks needs
// no buffer of its whole index.
constexpr size_t kIndexBatchBytes = 64 << 10;

// Samples from this size on are copied from file to file by CopySample.
constexpr uint32_t kCopySampleMin = 16 << 10;

}  // namespace

void AviFileImpl::FlushBatch(ByteWriter& b) {
    if (b.Pos()) io->Write(b.Data().data(), b.Pos());
    b.Clear();
}

void AviFileImpl::WriteStrh(const StreamData& s) {
    AviStreamInfo i = s.info;
    i.dwLength = uint32_t(std::min<uint64_t>(s.written, 0xFFFFFFFFu));
    i.dwSuggestedBufferSize = s.written ? s.maxChunk : s.info.dwSuggestedBufferSize;
    ByteWriter b(kStrhBytes);
    RenderStrh(b, i);
    io->Write(b.Data().data(), b.Pos());
}

void AviFileImpl::WriteAvih() {
    const StreamData* video = nullptr;
    for (const auto& s : streams)
        if (s.info.fccType == kStreamTypeVideo) {
            video = &s;
            break;
        }
    uint32_t usec = 0, width = 0, height = 0, frames = 0;
    double seconds = 0;
    uint64_t totalBytes = 0;
    for (const auto& s : streams) {
        totalBytes += s.bytesWritten;
        if (s.info.dwRate) seconds = std::max(seconds, double(s.written) * s.info.dwScale / s.info.dwRate);
    }
    if (video) {
        // A frame of more than 71 minutes (a scale far above the rate) saturates the field.
        if (video->info.dwRate)
            usec = uint32_t(std::min(1e6 * video->info.dwScale / video->info.dwRate + 0.5, 4294967295.0));
        frames =
            uint32_t(std::min<uint64_t>(part > 0 ? video->firstPartSamples : video->written, 0xFFFFFFFFu));
        if (video->format.size() >= 12) {
            BitmapInfoHeader bh = BitmapHeaderFromBytes(video->format.data(), video->format.size());
            width = uint32_t(bh.biWidth);
            height = uint32_t(bh.biHeight < 0 ? -int64_t(bh.biHeight) : bh.biHeight);
        } else {
            width = uint32_t(video->info.rcRight - video->info.rcLeft);
            height = uint32_t(video->info.rcBottom - video->info.rcTop);
        }
    }
    AvihRecord a;
    a.usecPerFrame = usec;
    a.maxBytesPerSec = seconds > 0 ? uint32_t(std::min(double(totalBytes) / seconds, 4e9)) : 0;
    a.flags = kAvifHasIndex | kAvifIsInterleaved;
    a.totalFrames = frames;
    a.streams = uint32_t(streams.size());
    a.suggestedBufferSize = maxChunkAll;
    a.width = width;
    a.height = height;
    ByteWriter b(kAvihBytes);
    RenderAvih(b, a);
    io->Write(b.Data().data(), b.Pos());
}

AviResult AviFileImpl::WriteHeaders() {
    RiffIO riff(*io);
    if (!io->Seek(0)) return kAviErrFileWrite;
    RiffChunk r;
    r.fccType = kFccAvi;
    riffPos = 0;
    riff.CreateChunk(r, RiffIO::kCreateRiff);
    // A list left open for its contents, and a chunk whose data `write` lays
    // out (the data's position is returned: headers are rewritten at the end).
    auto list = [&](uint32_t type) {
        RiffChunk c;
        c.fccType = type;
        riff.CreateChunk(c, RiffIO::kCreateList);
        return c;
    };
    auto chunk = [&](uint32_t id, auto&& write) {
        RiffChunk c;
        c.ckid = id;
        riff.CreateChunk(c);
        const uint64_t at = io->Tell();
        write();
        riff.Ascend(c);
        return at;
    };
    RiffChunk hdrl = list(kFccHdrl);
    avihPos = chunk(kFccAvih, [&] { WriteAvih(); });
    for (size_t k = 0; k < streams.size(); ++k) {
        StreamData& s = streams[k];
        RiffChunk strl = list(kFccStrl);
        s.strhPos = chunk(kFccStrh, [&] { WriteStrh(s); });
        s.strfPos = chunk(kFccStrf, [&] { io->Write(s.format.data(), s.format.size()); });
        if (s.info.szName[0]) {
            chunk(kFccStrn, [&] {
                size_t n = strnlen(s.info.szName.data(), s.info.szName.size() - 1);
                io->Write(s.info.szName.data(), n);
                io->WriteU8(0);
            });
        }
        // Room for the super index, left as JUNK while the file stays one part.
        s.indxChunkPos = io->Tell();
        s.indxReserved = 24 + 16 * opt.superIndexEntries;
        io->WriteU32LE(kFccJunk);
        io->WriteU32LE(s.indxReserved);
        io->WriteZeros(s.indxReserved);
        riff.Ascend(strl);
    }
    RiffChunk odml = list(kFccOdml);
    dmlhPos = chunk(kFccDmlh, [&] { io->WriteZeros(248); });
    riff.Ascend(odml);
    riff.Ascend(hdrl);
    // 'movi' list, its size fixed when the part closes.
    io->WriteU32LE(kFourCCList);
    io->WriteU32LE(4);
    moviListPos = io->Tell();
    io->WriteU32LE(kFccMovi);
    headerWritten = true;
    return io->Failed() ? kAviErrFileWrite : kAviOk;
}

uint64_t AviFileImpl::PartIndexBytes(uint64_t extraEntries) const {
    uint64_t n = partEntries.size() + extraEntries;
    uint64_t bytes = (part == 0 ? 8 + 16 * n : 0);
    // Standard indexes, one per stream (counted for every stream: enough room).
    bytes += streams.size() * 32 + 8 * n;
    return bytes;
}

AviResult AviFileImpl::WriteChunk(int stream, const void* data, uint32_t bytes, uint32_t flags,
                                  uint64_t samples, ByteIO* from, uint64_t fromPos) {
    return WriteChunkWith(stream, bytes, flags, samples, [&](ByteIO& out) {
        if (bytes && from) return out.CopyRange(*from, fromPos, bytes);
        if (bytes) out.Write(data, bytes);
        return ByteIO::Copied::Ok;
    });
}

template <class Payload>
AviResult AviFileImpl::WriteChunkWith(int stream, uint32_t bytes, uint32_t flags, uint64_t samples,
                                      const Payload& payload) {
    StreamData& s = streams[size_t(stream)];
    uint64_t need = 8 + uint64_t(bytes) + (bytes & 1);
    uint64_t used = io->Tell() - riffPos;
    if (!partEntries.empty() && used + need + PartIndexBytes(1) > opt.partSize) {
        // The super indexes need one entry for this part and one for the next.
        for (const auto& st : streams)
            if (st.superIndex.size() + 2 > opt.superIndexEntries) return kAviErrFileWrite;
        AviResult r = ClosePart(false);
        if (r == kAviOk) r = OpenAvixPart();
        if (r != kAviOk) return r;
    }
    uint64_t at = io->Tell();
    io->WriteU32LE(s.chunkId);
    io->WriteU32LE(bytes);
    if (payload(*io) == ByteIO::Copied::ReadFailed) {
        // The chunk goes: what follows is written over it (Complete cuts any rest).
        io->Seek(at);
        return kAviErrFileRead;
    }
    if (bytes & 1) io->WriteU8(0);
    if (io->Failed()) return kAviErrFileWrite;
    partEntries.push_back(
        {uint32_t(at - riffPos), bytes, uint8_t(stream), uint8_t((flags & kAviIfKeyFrame) ? 1 : 0)});
    s.partChunks++;
    s.partSamples += samples;
    s.written += samples;
    s.bytesWritten += bytes;
    s.maxChunk = std::max(s.maxChunk, bytes);
    maxChunkAll = std::max(maxChunkAll, bytes);
    return kAviOk;
}

AviResult AviFileImpl::ClosePart(bool final) {
    bool odml = part > 0 || !final;
    if (odml) {
        for (size_t k = 0; k < streams.size(); ++k) {
            StreamData& s = streams[k];
            if (s.partChunks == 0) continue;
            if (s.superIndex.size() >= opt.superIndexEntries)
                return kAviErrFileWrite;  // never: checked before a part opens
            uint64_t at = io->Tell();
            uint32_t size = kIndxHeaderBytes + kStdEntryBytes * s.partChunks;
            ByteWriter b(kIndexBatchBytes + 64);
            b.U32LE(MakeFourCC('i', 'x', char('0' + k / 10), char('0' + k % 10)));
            b.U32LE(size);
            IndxHeader h;
            h.longsPerEntry = 2;
            h.type = kIndexOfChunks;
            h.entries = s.partChunks;
            h.chunkId = s.chunkId;
            h.baseOffset = riffPos;
            RenderIndxHeader(b, h);
            for (size_t i = 0; i < partEntries.size(); ++i) {
                const PartEntry& e = partEntries[i];
                if (size_t(e.stream) != k) continue;
                RenderStdEntry(b, {e.offset + 8, e.size, e.key != 0});
                if (b.Pos() >= kIndexBatchBytes) FlushBatch(b);
            }
            FlushBatch(b);
            s.superIndex.push_back({at, size + 8, uint32_t(std::min<uint64_t>(s.partSamples, 0xFFFFFFFFu))});
        }
    }
    // Close the 'movi' list.
    uint64_t end = io->Tell();
    if (end - moviListPos > 0xFFFFFFFFull) return kAviErrFileWrite;
    io->Seek(moviListPos - 4);
    io->WriteU32LE(uint32_t(end - moviListPos));
    io->Seek(end);
    if (part == 0) {
        ByteWriter b(kIndexBatchBytes + 64);
        b.U32LE(kFccIdx1);
        b.U32LE(uint32_t(kIdx1EntryBytes * partEntries.size()));
        const uint32_t moviOffset = uint32_t(moviListPos - riffPos);
        for (size_t i = 0; i < partEntries.size(); ++i) {
            const PartEntry& e = partEntries[i];
            RenderIdx1Entry(
                b, {streams[e.stream].chunkId, e.key ? kAviIfKeyFrame : 0u, e.offset - moviOffset, e.size});
            if (b.Pos() >= kIndexBatchBytes) FlushBatch(b);
        }
        FlushBatch(b);
        for (auto& s : streams) s.firstPartSamples = s.written;
    }
    end = io->Tell();
    if (end - riffPos - 8 > 0xFFFFFFFFull) return kAviErrFileWrite;
    io->Seek(riffPos + 4);
    io->WriteU32LE(uint32_t(end - riffPos - 8));
    io->Seek(end);
    partEntries.clear();
    for (auto& s : streams) {
        s.partChunks = 0;
        s.partSamples = 0;
    }
    return io->Failed() ? kAviErrFileWrite : kAviOk;
}

AviResult AviFileImpl::OpenAvixPart() {
    ++part;
    riffPos = io->Tell();
    io->WriteU32LE(kFourCCRiff);
    io->WriteU32LE(4);
    io->WriteU32LE(kFccAvix);
    io->WriteU32LE(kFourCCList);
    io->WriteU32LE(4);
    moviListPos = io->Tell();
    io->WriteU32LE(kFccMovi);
    return io->Failed() ? kAviErrFileWrite : kAviOk;
}

AviResult AviFileImpl::Complete() {
    if (!headerWritten) {
        AviResult r = WriteHeaders();
        if (r != kAviOk) return r;
    }
    AviResult r = ClosePart(true);
    uint64_t end = io->Tell();
    finished = true;
    // Headers with the totals.
    io->Seek(avihPos);
    WriteAvih();
    uint64_t totalFrames = 0;
    for (auto& s : streams) {
        io->Seek(s.strhPos);
        WriteStrh(s);
        if (s.info.fccType == kStreamTypeVideo && totalFrames == 0) totalFrames = s.written;
        if (part > 0 && !s.superIndex.empty()) {
            io->Seek(s.indxChunkPos);
            ByteWriter b(8 + size_t(s.indxReserved));
            b.U32LE(kFccIndx);
            b.U32LE(s.indxReserved);
            IndxHeader h;
            h.longsPerEntry = 4;
            h.type = kIndexOfIndexes;
            h.entries = uint32_t(s.superIndex.size());
            h.chunkId = s.chunkId;
            RenderIndxHeader(b, h);
            for (const SuperEntry& e : s.superIndex) RenderSuperEntry(b, e);
            io->Write(b.Data().data(), b.Pos());
        }
    }
    io->Seek(dmlhPos);
    io->WriteU32LE(uint32_t(std::min<uint64_t>(totalFrames, 0xFFFFFFFFu)));
    io->Seek(end);
    // A chunk whose copy failed part-way may have left bytes past the end.
    if (FileIO* file = io->File(); file && file->Size() > end && !file->Truncate(end) && r == kAviOk)
        r = kAviErrFileWrite;
    if (!io->Flush() && r == kAviOk) r = kAviErrFileWrite;
    if (io->Failed() && r == kAviOk) r = kAviErrFileWrite;
    return r;
}

// ---------------------------------------------------------------- AviFile and AviStream: writing

AviResult AviFile::Create(const std::string& path, std::shared_ptr<AviFile>& out,
                          const AviWriteOptions& options) {
    auto io = std::make_unique<FileIO>();
    if (!io->Open(path, FileIO::Mode::Create)) return kAviErrFileOpen;
    return Create(std::move(io), out, options);
}

AviResult AviFile::Create(std::unique_ptr<ByteIO> io, std::shared_ptr<AviFile>& out,
                          const AviWriteOptions& options) {
    out.reset();
    auto impl = std::make_unique<AviFileImpl>();
    impl->io = std::move(io);
    impl->writing = true;
    impl->opt = options;
    impl->opt.partSize = std::clamp<uint64_t>(options.partSize, 64 << 10, uint64_t(2) << 30);
    impl->opt.superIndexEntries = std::max<uint32_t>(1, options.superIndexEntries);
    out.reset(new AviFile(std::move(impl)));
    return kAviOk;
}

AviResult AviFile::CreateStream(std::shared_ptr<AviStream>& out, const AviStreamInfo& info) {
    out.reset();
    AviFileImpl& f = *impl_;
    if (!f.writing || f.finished) return kAviErrUnsupported;
    if (f.headerWritten || f.streams.size() >= size_t(kMaxStreams)) return kAviErrUnsupported;
    StreamData s;
    s.info = info;
    s.info.dwLength = 0;
    s.info.dwEditCount = 0;
    s.info.dwFormatChangeCount = 0;
    int k = int(f.streams.size());
    uint32_t suffix = Suffix('d', 'c');
    if (info.fccType == kStreamTypeAudio)
        suffix = Suffix('w', 'b');
    else if (info.fccType == kStreamTypeText)
        suffix = Suffix('t', 'x');
    s.chunkId = ChunkIdFor(k, suffix);
    f.streams.push_back(std::move(s));
    out.reset(new AviStream(shared_from_this(), k));
    return kAviOk;
}

AviResult AviFile::Finish() {
    AviFileImpl& f = *impl_;
    if (!f.writing || f.finished) return f.writeError;
    AviResult r = f.Complete();
    if (f.writeError == kAviOk) f.writeError = r;
    if (auto* fio = dynamic_cast<FileIO*>(f.io.get())) {
        if (!fio->Close() && f.writeError == kAviOk) f.writeError = kAviErrFileWrite;
    }
    return f.writeError;
}

AviResult AviStream::SetFormat(int32_t, const void* data, int32_t size) {
    AviFileImpl& f = *file_->impl_;
    if (!f.writing || f.finished) return kAviErrUnsupported;
    if (size < 0 || uint32_t(size) > kMaxFormatBytes || (size > 0 && !data)) return kAviErrBadParam;
    StreamData& s = f.streams[size_t(index_)];
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (f.headerWritten) {
        // The header is laid out: only the same format can be set again.
        if (size_t(size) == s.format.size() &&
            (size == 0 || std::memcmp(p, s.format.data(), size_t(size)) == 0))
            return kAviOk;
        return kAviErrUnsupported;
    }
    s.format.assign(p, p + size);
    if (s.info.fccType == kStreamTypeVideo && size >= 20) {
        uint32_t comp = GetU32LE(p + 16);
        if (comp == 0 || comp == 3) s.chunkId = ChunkIdFor(index_, Suffix('d', 'b'));
    }
    return kAviOk;
}

AviResult AviStream::CopySample(const AviStream& source, int32_t pos, uint32_t flags,
                                int32_t* samplesWritten) {
    AviFileImpl& f = *file_->impl_;
    AviFileImpl& from = *source.file_->impl_;
    if (samplesWritten) *samplesWritten = 0;
    if (!f.writing || f.finished || from.writing) return kAviErrUnsupported;
    const StreamData& src = from.streams[size_t(source.index_)];
    if (src.sampleSize != 0 || f.streams[size_t(index_)].info.dwSampleSize != 0) return kAviErrUnsupported;
    if (f.writeError != kAviOk) return f.writeError;
    const int64_t rel = int64_t(pos) - int64_t(src.info.dwStart);
    if (rel < 0 || uint64_t(rel) >= src.samples) return kAviErrBadParam;
    if (!f.headerWritten) {
        AviResult r = f.WriteHeaders();
        if (r != kAviOk) return f.writeError = r;
    }
    const IndexEntry& e = src.index[size_t(rel)];
    // A small sample costs less through memory, where the reads of samples
    // close together are one read.
    if (e.size < kCopySampleMin) return kAviErrUnsupported;
    AviResult r = f.WriteChunk(index_, nullptr, e.size, flags, 1, from.io.get(), e.offset());
    if (r == kAviErrFileRead) return r;  // the output is still whole
    if (r != kAviOk) return f.writeError = r;
    if (samplesWritten) *samplesWritten = 1;
    return kAviOk;
}

AviResult AviStream::CopySamples(const AviStream& source, int32_t start, int32_t bufferBytes, uint32_t flags,
                                 int32_t* samplesWritten, int32_t* bytesWritten) {
    AviFileImpl& f = *file_->impl_;
    if (samplesWritten) *samplesWritten = 0;
    if (bytesWritten) *bytesWritten = 0;
    if (!f.writing || f.finished || f.streams[size_t(index_)].info.dwSampleSize == 0)
        return kAviErrUnsupported;
    int32_t bytes = 0, samples = 0;
    if (AviResult r = source.PlanCopy(start, bufferBytes, &bytes, &samples); r != kAviOk) return r;
    if (f.writeError != kAviOk) return f.writeError;
    if (samples > 0 && bytes > 0) {
        if (!f.headerWritten) {
            AviResult r = f.WriteHeaders();
            if (r != kAviOk) return f.writeError = r;
        }
        AviResult r = f.WriteChunkWith(index_, uint32_t(bytes), flags, uint64_t(samples), [&](ByteIO& out) {
            return source.CopyTo(start, uint64_t(bytes), out);
        });
        if (r == kAviErrFileRead) return r;  // the output is still whole
        if (r != kAviOk) return f.writeError = r;
    }
    if (samplesWritten) *samplesWritten = samples;
    if (bytesWritten) *bytesWritten = bytes;
    return kAviOk;
}

AviResult AviStream::WriteFrom(ByteIO& source, uint64_t pos, int32_t bytes, uint32_t flags) {
    AviFileImpl& f = *file_->impl_;
    if (!f.writing || f.finished) return kAviErrUnsupported;
    if (bytes < 0) return kAviErrBadParam;
    if (f.streams[size_t(index_)].info.dwSampleSize != 0) return kAviErrUnsupported;
    if (f.writeError != kAviOk) return f.writeError;
    if (!f.headerWritten) {
        AviResult r = f.WriteHeaders();
        if (r != kAviOk) return f.writeError = r;
    }
    AviResult r = f.WriteChunk(index_, nullptr, uint32_t(bytes), flags, 1, &source, pos);
    if (r == kAviErrFileRead) return r;  // the output is still whole
    if (r != kAviOk) return f.writeError = r;
    return kAviOk;
}

AviResult AviStream::Write(int32_t start, int32_t samples, const void* data, int32_t bytes, uint32_t flags,
                           int32_t* samplesWritten, int32_t* bytesWritten) {
    AviFileImpl& f = *file_->impl_;
    if (samplesWritten) *samplesWritten = 0;
    if (bytesWritten) *bytesWritten = 0;
    if (!f.writing || f.finished) return kAviErrUnsupported;
    if (bytes < 0 || samples < 0 || (bytes > 0 && !data)) return kAviErrBadParam;
    if (f.writeError != kAviOk) return f.writeError;
    if (!f.headerWritten) {
        AviResult r = f.WriteHeaders();
        if (r != kAviOk) return f.writeError = r;
    }
    StreamData& s = f.streams[size_t(index_)];
    uint64_t n = uint64_t(samples);
    if (s.info.dwSampleSize != 0) {
        if (bytes == 0) return kAviOk;
        if (n == 0) n = uint64_t(bytes) / s.info.dwSampleSize;
    } else {
        if (n == 0) n = 1;
        // A frame stream written past its end gets empty samples for the gap.
        if (start >= 0 && uint64_t(start) > s.written) {
            uint64_t gap = uint64_t(start) - s.written;
            if (gap > (1u << 24)) return kAviErrBadParam;
            for (uint64_t g = 0; g < gap; ++g) {
                AviResult r = f.WriteChunk(index_, nullptr, 0, 0, 1);
                if (r != kAviOk) return f.writeError = r;
            }
        } else if (start >= 0 && uint64_t(start) < s.written) {
            return kAviErrBadParam;
        }
    }
    AviResult r = f.WriteChunk(index_, data, uint32_t(bytes), flags, n);
    if (r != kAviOk) return f.writeError = r;
    if (samplesWritten) *samplesWritten = int32_t(n);
    if (bytesWritten) *bytesWritten = bytes;
    return kAviOk;
}

}  // namespace vt
