#include "platform/ByteIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vt {

// ---------------------------------------------------------------- ByteIO

bool ByteIO::ReadBytes(std::vector<uint8_t>& out, uint64_t n) {
    if (n > Remaining()) return false;
    out.resize(size_t(n));
    return ReadExact(out.data(), size_t(n));
}

size_t ByteIO::ReadAt(uint64_t pos, void* dst, size_t n) {
    const uint64_t back = Tell();
    const size_t got = Seek(pos) ? Read(dst, n) : 0;
    Seek(back);
    return got;
}

bool ByteIO::Skip(uint64_t n) {
    if (n > Remaining()) return false;
    return Seek(Tell() + n);
}

#define VT_READ_INT(name, type, bytes, getter)  \
    bool ByteIO::name(type& v) {                \
        uint8_t b[bytes];                       \
        if (!ReadExact(b, bytes)) return false; \
        v = getter(b);                          \
        return true;                            \
    }
VT_READ_INT(ReadU16LE, uint16_t, 2, GetU16LE)
VT_READ_INT(ReadU32LE, uint32_t, 4, GetU32LE)
VT_READ_INT(ReadU64LE, uint64_t, 8, GetU64LE)
VT_READ_INT(ReadU16BE, uint16_t, 2, GetU16BE)
VT_READ_INT(ReadU24BE, uint32_t, 3, GetU24BE)
VT_READ_INT(ReadU32BE, uint32_t, 4, GetU32BE)
#undef VT_READ_INT

bool ByteIO::ReadU64BE(uint64_t& v) {
    uint32_t hi, lo;
    if (!ReadU32BE(hi) || !ReadU32BE(lo)) return false;
    v = (uint64_t(hi) << 32) | lo;
    return true;
}

bool ByteIO::ReadDoubleBE(double& v) {
    uint64_t bits;
    if (!ReadU64BE(bits)) return false;
    std::memcpy(&v, &bits, 8);
    return true;
}

bool ByteIO::WriteU16LE(uint16_t v) {
    uint8_t b[2];
    PutU16LE(b, v);
    return Write(b, 2);
}
bool ByteIO::WriteU32LE(uint32_t v) {
    uint8_t b[4];
    PutU32LE(b, v);
    return Write(b, 4);
}
bool ByteIO::WriteU64LE(uint64_t v) {
    uint8_t b[8];
    PutU64LE(b, v);
    return Write(b, 8);
}
bool ByteIO::WriteU16BE(uint16_t v) {
    uint8_t b[2];
    PutU16BE(b, v);
    return Write(b, 2);
}
bool ByteIO::WriteU24BE(uint32_t v) {
    uint8_t b[3];
    PutU24BE(b, v);
    return Write(b, 3);
}
bool ByteIO::WriteU32BE(uint32_t v) {
    uint8_t b[4];
    PutU32BE(b, v);
    return Write(b, 4);
}
bool ByteIO::WriteU64BE(uint64_t v) {
    return WriteU32BE(uint32_t(v >> 32)) && WriteU32BE(uint32_t(v));
}
bool ByteIO::WriteDoubleBE(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    return WriteU64BE(bits);
}

bool ByteIO::WriteZeros(uint64_t n) {
    static const uint8_t zeros[4096] = {};
    while (n > 0) {
        size_t k = size_t(std::min<uint64_t>(n, sizeof zeros));
        if (!Write(zeros, k)) return false;
        n -= k;
    }
    return true;
}

bool ByteIO::CopyFrom(ByteIO& src, uint64_t n) {
    std::vector<uint8_t> buf(size_t(std::min<uint64_t>(n, 1 << 20)));
    while (n > 0) {
        size_t k = size_t(std::min<uint64_t>(n, buf.size()));
        if (!src.ReadExact(buf.data(), k)) return false;
        if (!Write(buf.data(), k)) return false;
        n -= k;
    }
    return true;
}

ByteIO::Copied ByteIO::CopyRange(ByteIO& src, uint64_t srcPos, uint64_t n) {
    if (srcPos > src.Size() || n > src.Size() - srcPos) return Copied::ReadFailed;
    std::vector<uint8_t> buf(size_t(std::min<uint64_t>(n, 64 << 10)));
    while (n > 0) {
        const size_t k = size_t(std::min<uint64_t>(n, buf.size()));
        if (src.ReadAt(srcPos, buf.data(), k) != k) return Copied::ReadFailed;
        if (!Write(buf.data(), k)) return Copied::WriteFailed;
        srcPos += k;
        n -= k;
    }
    return Copied::Ok;
}

std::string FourCCText(uint32_t fcc) {
    std::string s(4, ' ');
    for (int i = 0; i < 4; ++i) {
        char c = char((fcc >> (8 * i)) & 0xFF);
        s[i] = (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return s;
}

// ---------------------------------------------------------------- FileIO

FileIO::~FileIO() {
    Close();
}

bool FileIO::Open(const std::string& path, Mode mode, size_t bufferSize) {
    Close();
    failed_ = false;
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::Read:
            flags |= O_RDONLY;
            break;
        case Mode::Create:
            // Emptied below, and only when it holds anything: truncating an
            // empty file (one made beside the output to be renamed over it)
            // makes some file systems write all of it out when it is closed.
            flags |= O_RDWR | O_CREAT;
            break;
        case Mode::ReadWrite:
            flags |= O_RDWR;
            break;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return false;
    }
    if (mode == Mode::Create && st.st_size != 0) {
        int r;
        do {
            r = ::ftruncate(fd, 0);
        } while (r != 0 && errno == EINTR);
        if (r != 0) {
            ::close(fd);
            return false;
        }
        st.st_size = 0;
    }
    fd_ = fd;
    path_ = path;
    size_ = uint64_t(st.st_size);
    buf_.assign(std::max<size_t>(bufferSize, 4096), 0);
    pos_ = bufPos_ = lastEnd_ = 0;
    bufLen_ = 0;
    writing_ = false;
    noPipe_ = false;
    return true;
}

bool FileIO::Close() {
    if (fd_ < 0) return !failed_;
    FlushWrite();
    ClosePipe();
    ::close(fd_);
    fd_ = -1;
    buf_.clear();
    buf_.shrink_to_fit();
    return !failed_;
}

uint64_t FileIO::Size() const {
    return size_;
}

bool FileIO::FlushWrite() {
    DrainPipe();
    if (!writing_ || bufLen_ == 0) {
        writing_ = false;
        bufLen_ = 0;
        return !failed_;
    }
    WriteAt(bufPos_, buf_.data(), bufLen_, nullptr, 0);
    writing_ = false;
    bufLen_ = 0;
    return !failed_;
}

bool FileIO::Flush() {
    return fd_ >= 0 && FlushWrite();
}

bool FileIO::FillRead(size_t limit) {
    bufPos_ = pos_;
    bufLen_ = 0;
    const size_t want = std::min(limit, buf_.size());
    while (bufLen_ < want) {
        ssize_t r = ::pread(fd_, buf_.data() + bufLen_, want - bufLen_, off_t(bufPos_ + bufLen_));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        bufLen_ += size_t(r);
    }
    return bufLen_ > 0;
}

size_t FileIO::Read(void* dst, size_t n) {
    if (fd_ < 0 || n == 0) return 0;
    if (writing_ && !FlushWrite()) return 0;
    auto* out = static_cast<uint8_t*>(dst);
    size_t got = 0;
    const bool afterSeek = pos_ != lastEnd_;
    // What the caller said about the reads that follow (WillRead): for this read only.
    const uint64_t hintEnd = hintEnd_;
    hintEnd_ = 0;
    const size_t span = hintEnd > pos_ ? size_t(std::min<uint64_t>(hintEnd - pos_, buf_.size())) : 0;
    while (got < n) {
        if (pos_ >= bufPos_ && pos_ < bufPos_ + bufLen_) {
            size_t off = size_t(pos_ - bufPos_);
            size_t k = std::min(n - got, bufLen_ - off);
            std::memcpy(out + got, buf_.data() + off, k);
            got += k;
            pos_ += k;
            continue;
        }
        size_t want = n - got;
        // After a seek, a caller that said what follows gets one read of just
        // that: this read alone straight into its memory, or one fill for the
        // reads close by.
        const bool hinted = afterSeek && got == 0 && span > 0;
        // Otherwise large reads go straight into the caller's memory, and so do
        // mid-size reads that follow a seek (a sample picked out of an
        // interleaved file): filling the whole buffer there would mostly copy
        // bytes nobody reads.
        const bool direct = hinted ? (want >= span || want >= buf_.size())
                                   : (want >= buf_.size() || (afterSeek && want >= kDirectReadMin));
        if (direct) {
            ssize_t r = ::pread(fd_, out + got, want, off_t(pos_));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) break;
            got += size_t(r);
            pos_ += uint64_t(r);
            continue;
        }
        // A small read after a seek (a chunk header, an index entry, a small
        // sample) fills a small part of the buffer: the next one is likely
        // somewhere else. Reads that go on from there fill all of it.
        if (!FillRead(hinted ? span : afterSeek && got == 0 ? kSeekFill : buf_.size())) break;
    }
    lastEnd_ = pos_;
    return got;
}

size_t FileIO::ReadAt(uint64_t pos, void* dst, size_t n) {
    if (fd_ < 0 || (writing_ && !FlushWrite())) return 0;
    auto* out = static_cast<uint8_t*>(dst);
    size_t got = 0;
    while (got < n) {
        ssize_t r = ::pread(fd_, out + got, n - got, off_t(pos + got));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += size_t(r);
    }
    return got;
}

bool FileIO::WriteAt(uint64_t at, const uint8_t* head, size_t headLen, const uint8_t* body, size_t bodyLen) {
    // Both parts in one call; a short write goes on where it stopped.
    while (headLen + bodyLen > 0) {
        struct iovec v[2];
        int count = 0;
        if (headLen) v[count++] = {const_cast<uint8_t*>(head), headLen};
        if (bodyLen) v[count++] = {const_cast<uint8_t*>(body), bodyLen};
        ssize_t w = ::pwritev(fd_, v, count, off_t(at));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            failed_ = true;
            return false;
        }
        size_t k = size_t(w);
        at += k;
        const size_t fromHead = std::min(k, headLen);
        head += fromHead;
        headLen -= fromHead;
        k -= fromHead;
        body += k;
        bodyLen -= k;
    }
    return true;
}

bool FileIO::Write(const void* src, size_t n) {
    if (fd_ < 0) {
        failed_ = true;
        return false;
    }
    if (n == 0) return !failed_;
    const auto* in = static_cast<const uint8_t*>(src);
    if (!writing_) {
        bufLen_ = 0;  // drop any read-ahead: its bytes may be overwritten
        bufPos_ = pos_;
        writing_ = true;
    } else if (pos_ != bufPos_ + bufLen_) {
        if (!FlushWrite()) return false;
        bufPos_ = pos_;
        writing_ = true;
    }
    if (n >= std::min(kDirectWriteMin, buf_.size())) {
        // A large block goes to the file from where it is, together with
        // the bytes pending before it (a chunk header): no copy into the buffer.
        DrainPipe();
        const bool ok = WriteAt(bufPos_, buf_.data(), bufLen_, in, n);
        bufLen_ = 0;
        if (!ok) return false;
        pos_ += n;
        bufPos_ = pos_;
        size_ = std::max(size_, pos_);
        return !failed_;
    }
    if (bufLen_ + n > buf_.size()) {
        if (!FlushWrite()) return false;
        bufPos_ = pos_;
        writing_ = true;
    }
    std::memcpy(buf_.data() + bufLen_, in, n);
    bufLen_ += n;
    pos_ += n;
    size_ = std::max(size_, pos_);
    return !failed_;
}

ByteIO::Copied FileIO::CopyRange(ByteIO& src, uint64_t srcPos, uint64_t n) {
    FileIO* in = src.File();
    if (!in || in == this || fd_ < 0 || in->fd_ < 0) return ByteIO::CopyRange(src, srcPos, n);
    if (srcPos > in->Size() || n > in->Size() - srcPos) return Copied::ReadFailed;
    if (n == 0) return Copied::Ok;
    if (n < kPipeCopyMax && !noPipe_) return CopyThroughPipe(*in, srcPos, n);
    // What is pending goes first; what is buffered for reading may be overwritten.
    if (!FlushWrite()) return Copied::WriteFailed;
    if (in->writing_ && !in->FlushWrite()) return Copied::ReadFailed;
    loff_t inOff = loff_t(srcPos), outOff = loff_t(pos_);
    while (n > 0) {
        const ssize_t r =
            ::copy_file_range(in->fd_, &inOff, fd_, &outOff, size_t(std::min<uint64_t>(n, 1 << 30)), 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;  // not between these files, or a failure: the plain way tells which side
        n -= uint64_t(r);
    }
    pos_ = uint64_t(outOff);
    bufPos_ = pos_;
    size_ = std::max(size_, pos_);
    if (n == 0) return Copied::Ok;
    return ByteIO::CopyRange(src, uint64_t(inOff), n);
}

bool FileIO::OpenPipe() {
    if (pipeRead_ >= 0) return true;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        noPipe_ = true;
        return false;
    }
    pipeRead_ = fds[0];
    pipeWrite_ = fds[1];
    // A larger pipe means fewer, larger writes; the default size works too.
    ::fcntl(pipeWrite_, F_SETPIPE_SZ, kPipeBytes);
    return true;
}

void FileIO::ClosePipe() {
    if (pipeRead_ < 0) return;
    ::close(pipeRead_);
    ::close(pipeWrite_);
    pipeRead_ = pipeWrite_ = -1;
    piped_ = 0;
}

bool FileIO::DrainPipe() {
    while (piped_ > 0) {
        loff_t at = loff_t(pipePos_);
        const ssize_t r = ::splice(pipeRead_, nullptr, fd_, &at, piped_, SPLICE_F_MOVE);
        if (r < 0 && errno == EINTR) continue;
        if (r > 0) {
            pipePos_ += uint64_t(r);
            piped_ -= size_t(r);
            continue;
        }
        // This file takes no splice (or the write failed): the rest comes out
        // of the pipe through memory and is written the plain way, which
        // also tells a failed write.
        noPipe_ = true;
        std::vector<uint8_t> tmp(std::min<size_t>(piped_, 64 << 10));
        while (piped_ > 0) {
            const ssize_t k = ::read(pipeRead_, tmp.data(), std::min(piped_, tmp.size()));
            if (k < 0 && errno == EINTR) continue;
            if (k <= 0) {  // never: the pipe holds what we queued
                failed_ = true;
                break;
            }
            if (!failed_) WriteAt(pipePos_, tmp.data(), size_t(k), nullptr, 0);
            pipePos_ += uint64_t(k);
            piped_ -= size_t(k);
        }
        ClosePipe();
        return !failed_;
    }
    return !failed_;
}

bool FileIO::PushToPipe(const uint8_t* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(pipeWrite_, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno == EAGAIN && piped_ > 0) {
            if (!DrainPipe() || pipeRead_ < 0) return false;
            continue;
        }
        if (w <= 0) return false;
        p += w;
        n -= size_t(w);
        piped_ += size_t(w);
    }
    return true;
}

ByteIO::Copied FileIO::CopyThroughPipe(FileIO& in, uint64_t srcPos, uint64_t n) {
    if (in.writing_ && !in.FlushWrite()) return Copied::ReadFailed;
    // The pipe's bytes must run on into the range, with what is pending before it.
    if (writing_ && pos_ != bufPos_ + bufLen_ && !FlushWrite()) return Copied::WriteFailed;
    if (!writing_) {
        bufLen_ = 0;  // drop any read-ahead: its bytes may be overwritten
        bufPos_ = pos_;
        writing_ = true;
    }
    if (!OpenPipe()) {
        if (!FlushWrite()) return Copied::WriteFailed;
        return CopyRange(in, srcPos, n);
    }
    if (piped_ == 0) pipePos_ = bufPos_;
    // Pending small writes (a chunk header) go first, into the pipe.
    if (bufLen_ > 0) {
        const size_t k = bufLen_;
        bufLen_ = 0;
        if (!PushToPipe(buf_.data(), k)) {
            // Nothing was lost: what did not go into the pipe is written the plain way.
            bufPos_ = pipePos_ + piped_;
            const size_t left = size_t(pos_ - bufPos_);
            DrainPipe();
            if (!failed_) WriteAt(bufPos_, buf_.data() + (k - left), left, nullptr, 0);
            bufPos_ = pos_;
            if (failed_) return Copied::WriteFailed;
            noPipe_ = true;
            return CopyRange(in, srcPos, n);
        }
    }
    loff_t inOff = loff_t(srcPos);
    bool pipeFull = false;
    while (n > 0) {
        const ssize_t r =
            ::splice(in.fd_, &inOff, pipeWrite_, nullptr, size_t(std::min<uint64_t>(n, kPipeCopyMax)),
                     SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && errno == EAGAIN && piped_ > 0 && !pipeFull) {
            pipeFull = true;
            if (!DrainPipe()) break;
            if (pipeRead_ < 0) break;
            continue;
        }
        if (r <= 0) {
            // A failed read, or no splice from that file: the plain way tells
            // which, and the ranges that follow go the other way.
            if (r < 0) noPipe_ = true;
            break;
        }
        pipeFull = false;
        piped_ += size_t(r);
        pos_ += uint64_t(r);
        n -= uint64_t(r);
    }
    bufPos_ = pos_;
    size_ = std::max(size_, pos_);
    if (failed_) return Copied::WriteFailed;
    if (n == 0) return Copied::Ok;
    return ByteIO::CopyRange(in, uint64_t(inOff), n);
}

bool FileIO::Seek(uint64_t pos) {
    if (fd_ < 0) return false;
    if (writing_ && pos != bufPos_ + bufLen_ && !FlushWrite()) return false;
    pos_ = pos;
    return true;
}

bool FileIO::Truncate(uint64_t size) {
    if (fd_ < 0 || !FlushWrite()) return false;
    if (::ftruncate(fd_, off_t(size)) != 0) {
        failed_ = true;
        return false;
    }
    size_ = size;
    bufLen_ = 0;
    return true;
}

// ---------------------------------------------------------------- MemoryIO

MemoryIO::MemoryIO(std::vector<uint8_t> data) : own_(std::move(data)), view_(own_) {}

MemoryIO::MemoryIO(std::span<const uint8_t> view) : view_(view), readOnly_(true) {}

size_t MemoryIO::Read(void* dst, size_t n) {
    if (pos_ >= view_.size()) return 0;
    size_t k = size_t(std::min<uint64_t>(n, view_.size() - pos_));
    if (k) std::memcpy(dst, view_.data() + pos_, k);  // an empty read may come with no buffer
    pos_ += k;
    return k;
}

bool MemoryIO::Write(const void* src, size_t n) {
    if (readOnly_) {
        failed_ = true;
        return false;
    }
    if (pos_ + n > own_.size()) own_.resize(size_t(pos_ + n));
    if (n) std::memcpy(own_.data() + pos_, src, n);
    pos_ += n;
    view_ = own_;
    return true;
}

bool MemoryIO::Seek(uint64_t pos) {
    if (!readOnly_ && pos > own_.size()) {
        own_.resize(size_t(pos));  // a seek past the end of a writable buffer zero-fills
        view_ = own_;
    }
    pos_ = pos;
    return true;
}

}  // namespace vt
