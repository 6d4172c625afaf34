#pragma once
// Our AVI file services: reading AVI files (AVI 1.0 and OpenDML, with the
// 'idx1' index, the 'indx'/'ix##' indexes, or a scan of the 'movi' list when
// no usable index is there) and WAV files (one 'auds' stream), and writing AVI
// files that continue as OpenDML parts once they pass the part size.
//
// Handles are shared: a stream keeps its file alive, and a file being written
// is completed (headers, lengths, indexes) by Finish or when its last handle
// goes away. Positions are sample numbers of a stream, from its start.
// Memory does not depend on the file's size: headers and one compact index
// entry per chunk while reading; while writing, the index entries of the
// current part only. Qt-free.
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/AviTypes.h"
#include "platform/ByteIO.h"

namespace vt {

class AviStream;
struct AviFileImpl;

// Options of a file being written.
struct AviWriteOptions {
    // A RIFF part is closed before it would pass this size and the file goes on
    // in a 'RIFF' 'AVIX' part; the first part also carries the 'idx1' index.
    uint64_t partSize = uint64_t(1) << 30;
    // Room reserved for each stream's super index (one entry per part).
    uint32_t superIndexEntries = 1024;
    // The largest WAV file a save makes (tests lower it). A save that reaches
    // it ends with kAviErrWavLimit, the file holding the audio up to there.
    uint64_t wavMaxBytes = std::numeric_limits<uint64_t>::max();
    // The largest WAV file in the RIFF form (32-bit sizes: 4 GiB; tests lower
    // it): a save whose audio takes it past that is written as RF64.
    uint64_t wavRiffBytes = 0xFFFFFFFFull;
};

class AviFile : public std::enable_shared_from_this<AviFile> {
  public:
    ~AviFile();
    AviFile(const AviFile&) = delete;
    AviFile& operator=(const AviFile&) = delete;

    // Opens an AVI or WAV file for reading.
    static AviResult Open(const std::string& path, std::shared_ptr<AviFile>& out);
    // The same over any byte source (a MemoryIO in tests); the file keeps it.
    static AviResult Open(std::unique_ptr<ByteIO> io, std::shared_ptr<AviFile>& out);

    // Creates (or empties) an AVI file for writing.
    static AviResult Create(const std::string& path, std::shared_ptr<AviFile>& out,
                            const AviWriteOptions& options = {});
    static AviResult Create(std::unique_ptr<ByteIO> io, std::shared_ptr<AviFile>& out,
                            const AviWriteOptions& options = {});

    AviResult Info(AviFileInfo& info) const;

    // The index-th stream of type fccType (0: any type).
    AviResult GetStream(std::shared_ptr<AviStream>& out, uint32_t fccType, int index);

    // Writing: a new stream whose header is taken from `info`. Streams are
    // created before the first sample of any stream is written.
    AviResult CreateStream(std::shared_ptr<AviStream>& out, const AviStreamInfo& info);

    // Writing: completes the file (idempotent). Reading: does nothing.
    AviResult Finish();

    bool IsWav() const;
    // The byte source or sink (a MemoryIO's bytes can be taken after Finish).
    ByteIO& IO();

  private:
    friend class AviStream;
    explicit AviFile(std::unique_ptr<AviFileImpl> impl);
    std::unique_ptr<AviFileImpl> impl_;
};

class AviStream {
  public:
    ~AviStream();
    AviStream(const AviStream&) = delete;
    AviStream& operator=(const AviStream&) = delete;

    AviResult Info(AviStreamInfo& info) const;
    int32_t Start() const;
    int32_t Length() const;

    // The format at a position: with `data` null, `size` receives the size;
    // otherwise up to `size` bytes are copied and `size` becomes the count copied.
    AviResult ReadFormat(int32_t pos, void* data, int32_t& size) const;

    // Reads from `start`. A count of kAviStreamReadConvenient reads as many
    // whole samples as convenient: one sample (chunk) of a frame stream; for a
    // stream of fixed-size samples, as many as fit in `bufferBytes` (across
    // chunks), or the rest of the current chunk when `buffer` is null.
    // With `buffer` null only the counts are reported. An empty sample of a
    // frame stream (a dropped frame) reads as one sample of 0 bytes; empty
    // chunks of an audio stream hold no samples and are never read. At or past
    // the end, and only there: 0 bytes, 0 samples, success.
    AviResult Read(int32_t start, int32_t count, void* buffer, int32_t bufferBytes, int32_t* bytesRead,
                   int32_t* samplesRead) const;

    // Reading, a stream of fixed-size samples: the counts that Read(start,
    // kAviStreamReadConvenient, buffer, bufferBytes, ...) gives, worked out
    // without reading, for a copy of those bytes with CopyTo.
    // kAviErrUnsupported for other streams, for a source that is no file, and
    // where the samples lie in chunks so small that reading them together
    // costs less (read them instead).
    AviResult PlanCopy(int32_t start, int32_t bufferBytes, int32_t* bytes, int32_t* samples) const;
    // The first `bytes` bytes of the samples from `start` written to `out` at
    // its position, from file to file where the system can. ReadFailed when
    // they cannot all be read: `out` may then hold part of them after its
    // old position.
    ByteIO::Copied CopyTo(int32_t start, uint64_t bytes, ByteIO& out) const;

    // The nearest sample to `pos` with the flags' property (kFindKey|kFindPrev:
    // the key frame at or before pos); -1 when there is none.
    int32_t FindSample(int32_t pos, uint32_t flags) const;
    bool IsKeyFrame(int32_t pos) const;

    // Writing: sets the stream's format (before its first sample).
    AviResult SetFormat(int32_t pos, const void* data, int32_t size);

    // Writing: appends one chunk holding `samples` samples at `start` (-1 or the
    // current length: append; a later position first fills the gap of a frame
    // stream with empty samples). `flags` are stored with the chunk.
    AviResult Write(int32_t start, int32_t samples, const void* data, int32_t bytes, uint32_t flags,
                    int32_t* samplesWritten, int32_t* bytesWritten);

    // Writing: appends sample `pos` of `source` (a stream being read, one
    // chunk a sample) as one chunk, its bytes copied from file to file where
    // the system can; `flags` are stored with it. This stream must count
    // chunks too. kAviErrUnsupported when the streams are not of that kind,
    // or the sample is small (read and Write instead); kAviErrBadParam for a position outside the
    // source; kAviErrFileRead when its bytes cannot be read (nothing is
    // appended then, and writing may go on).
    AviResult CopySample(const AviStream& source, int32_t pos, uint32_t flags, int32_t* samplesWritten);

    // Writing: appends what source.Read(start, kAviStreamReadConvenient,
    // buffer, bufferBytes, ...) reads from a stream of fixed-size samples as
    // one chunk of this stream (as Write(-1, samples, ...) does), its bytes
    // copied from file to file where the system can; the counts come back (0
    // at the source's end: nothing is appended). kAviErrUnsupported where
    // PlanCopy says so, or this stream does not count samples of a fixed
    // size (read and Write instead); kAviErrFileRead when the bytes cannot be
    // read (nothing is appended then, and writing may go on).
    AviResult CopySamples(const AviStream& source, int32_t start, int32_t bufferBytes, uint32_t flags,
                          int32_t* samplesWritten, int32_t* bytesWritten);

    // Writing: appends one chunk holding one sample of a stream that counts
    // chunks, whose bytes are [pos, pos + bytes) of `source`, copied from file
    // to file where the system can; as Write(-1, 1, ...) otherwise.
    // kAviErrFileRead when they cannot be read (nothing is appended then, and
    // writing may go on).
    AviResult WriteFrom(ByteIO& source, uint64_t pos, int32_t bytes, uint32_t flags);

    const std::shared_ptr<AviFile>& File() const { return file_; }

  private:
    friend class AviFile;
    AviStream(std::shared_ptr<AviFile> file, int index) : file_(std::move(file)), index_(index) {}
    std::shared_ptr<AviFile> file_;
    int index_;
};

// The stream save: writes whole streams into a new file, interleaved (each
// video frame followed by the audio of its time span, in steps of the video
// option's dwInterleaveEvery frames), as an AVI file, or as a WAV file of the
// first audio stream when the path ends in ".wav". An audio option record with
// a format keeps that format, which must be the stream's own (nothing is
// converted). `progress` gets the percentage done; a non-zero answer stops the
// save with kAviErrUserAbort, leaving a complete file of what was written.
using AviSaveCallback = std::function<int(int percent)>;
AviResult AviSaveStreams(const std::string& path, const std::vector<std::shared_ptr<AviStream>>& streams,
                         const std::vector<const AviCompressOptions*>& options,
                         const AviSaveCallback& progress, const AviWriteOptions& writeOptions = {});

}  // namespace vt
