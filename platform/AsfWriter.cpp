#include "platform/AsfWriter.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>

#include "platform/AsfObjects.h"
#include "platform/ByteIO.h"

namespace vt {

namespace {

constexpr size_t kPacketHeader =
    14;  // error correction (3), flags (2), padding (2), send time, duration, payload flags
constexpr unsigned kMaxPayloads = 63;
constexpr uint64_t kHoldBack = 3 * 10000000ull;  // samples are ordered within this much time
constexpr uint64_t kIndexInterval = 10000000;    // one index entry per second
constexpr Guid kFixedFileId{0x56544F52, 0x4153, 0x4657, {0x52, 0x49, 0x54, 0x45, 0x52, 0x30, 0x30, 0x31}};
constexpr uint64_t kFixedCreationDate = 125911584000000000ull;  // 2000-01-01 00:00 UTC
// Packets remembered for cutting a file back after a refused write: more than
// the output buffer holds.
constexpr size_t kPacketMarks = 4096;
// Packets go to the file in blocks of at least this size, past its buffer.
constexpr size_t kWriteBlock = 1 << 20;
constexpr size_t kFileBuffer = 64 << 10;  // the file's own buffer, for the header and the index
// The held-back samples' ring starts this large and grows by half when the
// samples held at once need more than two thirds of it.
constexpr size_t kHeldMin = 256 << 10;
// Samples held at once, at most, before the oldest are set aside.
constexpr size_t kHeldBlocks = 1 << 14;

// Orders the held-back samples' heap: the earliest on top, then the first to arrive.
template <class P>
bool LaterThan(const P& a, const P& b) {
    return a.time != b.time ? a.time > b.time : a.seq > b.seq;
}

void Append(std::vector<uint8_t>& b, const std::vector<uint8_t>& more) {
    b.insert(b.end(), more.begin(), more.end());
}

}  // namespace

AsfWriter::AsfWriter() = default;
AsfWriter::~AsfWriter() = default;

void AsfWriter::HeldBytes::Clear() {
    first_ = next_ = 0;
    head_ = live_ = 0;
    aside_.clear();
}

size_t AsfWriter::HeldBytes::Span() const {
    if (first_ == next_) return 0;
    const size_t tail = At(first_).offset;
    return head_ > tail ? head_ - tail : ring_.size() - tail + head_;
}

void AsfWriter::HeldBytes::SetAside(uint64_t seq) {
    const Block& b = At(seq);
    std::vector<uint8_t> bytes(ring_.data() + b.offset, ring_.data() + b.offset + b.size);
    Release(seq);
    aside_[seq] = std::move(bytes);
}

bool AsfWriter::HeldBytes::Fit(size_t n, size_t& at) const {
    if (first_ == next_) {
        at = 0;
        return n <= ring_.size();
    }
    // The live bytes run from the oldest live block to head_, wrapping at most once.
    const size_t tail = At(first_).offset;
    if (head_ > tail) {
        if (ring_.size() - head_ >= n) {
            at = head_;
            return true;
        }
        at = 0;
        return n < tail;
    }
    at = head_;
    return tail - head_ > n;
}

void AsfWriter::HeldBytes::Compact(size_t n) {
    // Samples are freed in time order, not in their arrival order, so the
    // live blocks lie spread out from the oldest one: the ring grows to hold
    // that spread. A sample far ahead of the others stays to the end: when
    // the spread is more than a few times the live bytes, the oldest blocks
    // are set aside instead, so the ring does not grow with the file.
    while (first_ != next_ && Span() + n > 4 * (live_ + n)) SetAside(first_);
    const size_t live = live_ + n;
    const size_t spread = Span() + n;
    const size_t want = std::max(live + live / 4, spread + spread / 8);
    const size_t cap = std::max({ring_.size(), kHeldMin, (want + 0xFFFF) & ~size_t(0xFFFF)});
    // The live blocks move to the front in place, the oldest first (the
    // newer ones past the end of the ring turned to follow them), then the
    // ring grows: its memory is never held twice.
    if (first_ != next_) {
        const size_t tail = At(first_).offset;
        const size_t size = ring_.size();
        if (head_ <= tail) {
            std::rotate(ring_.data(), ring_.data() + tail, ring_.data() + size);
            for (uint64_t seq = first_; seq != next_; ++seq) {
                Block& b = At(seq);
                if (b.live) b.offset = b.offset >= tail ? b.offset - tail : b.offset + (size - tail);
            }
        }
    }
    size_t pos = 0;
    for (uint64_t seq = first_; seq != next_; ++seq) {
        Block& b = At(seq);
        if (!b.live) continue;
        if (b.offset != pos) std::memmove(ring_.data() + pos, ring_.data() + b.offset, b.size);
        b.offset = pos;
        pos += b.size;
    }
    head_ = pos;
    ring_.Grow(cap);
}

uint64_t AsfWriter::HeldBytes::Put(std::span<const std::span<const uint8_t>> pieces, size_t length) {
    while (next_ - first_ == blocks_.size() && blocks_.size() >= kHeldBlocks) SetAside(first_);
    if (next_ - first_ == blocks_.size()) {
        std::vector<Block> more(std::max<size_t>(256, blocks_.size() * 2));
        for (uint64_t seq = first_; seq != next_; ++seq) more[size_t(seq) & (more.size() - 1)] = At(seq);
        blocks_.swap(more);
    }
    size_t at = 0;
    if (!Fit(length, at)) {
        Compact(length);
        at = head_;
    }
    size_t to = at;
    for (const auto& piece : pieces) {
        const size_t n = std::min(piece.size(), at + length - to);
        if (n) std::memcpy(ring_.data() + to, piece.data(), n);
        to += n;
    }
    At(next_) = {at, length, true};
    head_ = at + length;
    live_ += length;
    return next_++;
}

std::span<const uint8_t> AsfWriter::HeldBytes::Get(uint64_t seq) const {
    if (!aside_.empty())
        if (auto it = aside_.find(seq); it != aside_.end()) return it->second;
    const Block& b = At(seq);
    return {ring_.data() + b.offset, b.size};
}

void AsfWriter::HeldBytes::Release(uint64_t seq) {
    if (!aside_.empty() && aside_.erase(seq)) return;
    Block& b = At(seq);
    b.live = false;
    live_ -= b.size;
    while (first_ != next_ && !At(first_).live) ++first_;
    if (first_ == next_) head_ = 0;
}

void AsfWriter::PinnedBlocks::Clear() {
    pins_.clear();
    bytes_ = lent_ = 0;
}

bool AsfWriter::PinnedBlocks::Has(const UninitBytes* block) const {
    // Few blocks, the newest most often asked for.
    for (size_t i = pins_.size(); i-- > 0;)
        if (pins_[i].block == block) return true;
    return false;
}

void AsfWriter::PinnedBlocks::Hold(std::span<const AsfLentBlock> blocks, size_t length) {
    for (const auto& b : blocks) {
        auto it =
            std::find_if(pins_.rbegin(), pins_.rend(), [&b](const Pin& p) { return p.block == b.get(); });
        if (it != pins_.rend()) {
            ++it->holds;
        } else {
            pins_.push_back({b.get(), 1});
            bytes_ += b->size();
        }
    }
    lent_ += length;
}

void AsfWriter::PinnedBlocks::LetGo(const AsfLentBlock& b) {
    auto it = std::find_if(pins_.begin(), pins_.end(), [&b](const Pin& p) { return p.block == b.get(); });
    if (it == pins_.end()) return;
    if (--it->holds == 0) {
        bytes_ -= b->size();
        pins_.erase(it);
    }
}

void AsfWriter::HeldPieces::Clear() {
    entries_.Clear();
    pieces_.Clear();
    owners_.Clear();
}

uint64_t AsfWriter::HeldPieces::Put(const AsfSampleBuffer& sample, PinnedBlocks& pins) {
    Entry e;
    e.pieceAt = pieces_.Head();
    e.ownerAt = owners_.Head();
    e.pieces = uint32_t(sample.Pieces().size());
    e.owners = uint32_t(sample.Owners().size());
    e.length = sample.Length();
    e.live = true;
    for (const auto& piece : sample.Pieces()) pieces_.Push(piece);
    for (const auto& owner : sample.Owners()) owners_.Push(owner);
    pins.Hold(sample.Owners(), e.length);
    return entries_.Push(e);
}

AsfWriter::Pieces AsfWriter::HeldPieces::Get(uint64_t slot) const {
    const Entry& e = entries_[slot];
    return {pieces_.Data(), pieces_.Mask(), e.pieceAt, e.pieces};
}

void AsfWriter::HeldPieces::Release(uint64_t slot, PinnedBlocks& pins) {
    Entry& e = entries_[slot];
    // The blocks go back to the reader now, whatever is still held before this sample.
    for (uint32_t i = 0; i < e.owners; ++i) {
        AsfLentBlock& owner = owners_[e.ownerAt + i];
        pins.LetGo(owner);
        owner.reset();
    }
    pins.Done(e.length);
    e.live = false;
    uint64_t oldest = entries_.Tail();
    while (oldest != entries_.Head() && !entries_[oldest].live) ++oldest;
    entries_.DropTo(oldest);
    const bool any = oldest != entries_.Head();
    pieces_.DropTo(any ? entries_[oldest].pieceAt : pieces_.Head());
    owners_.DropTo(any ? entries_[oldest].ownerAt : owners_.Head());
}

AsfResult AsfWriter::SetProfile(const AsfProfile& profile) {
    std::lock_guard lock(mutex_);
    if (state_ != State::Configuring || profile.GetStreamCount() == 0) return asf::kInvalidArg;
    profile_ = AsfProfile{};
    languages_.clear();
    std::vector<uint16_t> numbers;
    for (const auto& s : profile.Streams()) {
        AsfStreamConfig c = s;
        // Our payloads carry only the sample duration; the file's other
        // payload extensions are not written.
        std::erase_if(c.payloadExtensions, [](const AsfPayloadExtension& x) {
            return x.id != asfguid::kPayloadExtSampleDuration;
        });
        for (auto& x : c.payloadExtensions) x.dataSize = 2;
        // Stream languages and names refer to a language list of our own.
        for (auto& n : c.names) {
            auto it = std::find(languages_.begin(), languages_.end(), n.language);
            n.languageIndex = uint16_t(it - languages_.begin());
            if (it == languages_.end()) languages_.push_back(n.language);
        }
        c.languageIndex = 0;
        if (!c.language.empty()) {
            auto it = std::find(languages_.begin(), languages_.end(), c.language);
            c.languageIndex = uint16_t(it - languages_.begin());
            if (it == languages_.end()) languages_.push_back(c.language);
        }
        c.hasExtended = true;
        c.maxObjectSize = 0;
        c.startTime = c.endTime = 0;  // the input's times say nothing about the output
        // Samples are stored unscrambled: an audio spread of one row.
        if (c.errorCorrectionType == asfguid::kAudioSpread && c.errorCorrectionData.size() >= 1)
            c.errorCorrectionData[0] = 1;
        AsfResult hr = profile_.AddStream(c);
        if (asf::Failed(hr)) return hr;
        numbers.push_back(c.streamNumber);
    }
    // A stream without a language points at an empty entry, not at another stream's language.
    const auto& list = profile_.Streams();
    const bool unnamed =
        std::any_of(list.begin(), list.end(), [](const auto& c) { return c.language.empty(); });
    const bool named =
        std::any_of(list.begin(), list.end(), [](const auto& c) { return !c.language.empty(); });
    if (named && unnamed) {
        auto it = std::find(languages_.begin(), languages_.end(), std::u16string());
        const uint16_t none = uint16_t(it - languages_.begin());
        if (it == languages_.end()) languages_.push_back(std::u16string());
        AsfProfile renumbered;
        for (AsfStreamConfig c : profile_.Streams()) {
            if (c.language.empty()) c.languageIndex = none;
            renumbered.AddStream(c);
        }
        profile_ = std::move(renumbered);
    }
    // What the profile says of its streams, as far as they are written.
    for (AsfStreamGroup g : profile.Groups())
        if (g.KeepOnly(numbers)) profile_.AddGroup(std::move(g));
    info_.SetDestination(numbers);
    haveProfile_ = true;
    return asf::kOk;
}

AsfResult AsfWriter::SetOutputFilename(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (state_ != State::Configuring || path.empty()) return asf::kInvalidArg;
    path_ = path;
    io_.reset();
    return asf::kOk;
}

AsfResult AsfWriter::SetOutput(std::unique_ptr<ByteIO> io) {
    std::lock_guard lock(mutex_);
    if (state_ != State::Configuring || !io) return asf::kInvalidArg;
    io_ = std::move(io);
    path_.clear();
    return asf::kOk;
}

AsfResult AsfWriter::SetPacketSize(uint32_t bytes) {
    std::lock_guard lock(mutex_);
    if (state_ != State::Configuring || bytes < 64 || bytes > 65536) return asf::kInvalidArg;
    packetSize_ = bytes;
    return asf::kOk;
}

size_t AsfWriter::PayloadHeaderSize(const StreamState& st) const {
    // stream, object number, offset (4), replicated length, object size, time, [duration], payload length
    return 1 + 1 + 4 + 1 + 8 + (st.durationExt ? 2 : 0) + 2;
}

AsfResult AsfWriter::BeginWriting() {
    std::lock_guard lock(mutex_);
    if (state_ != State::Configuring || !haveProfile_) return asf::kInvalidRequest;
    if (!io_) {
        if (path_.empty()) return asf::kInvalidRequest;
        auto f = std::make_unique<FileIO>();
        // Packets go out in blocks larger than this buffer, straight from ours.
        if (!f->Open(path_, FileIO::Mode::Create, kFileBuffer)) return asf::kWriteFault;
        io_ = std::move(f);
    }

    prerollMs_ = 0;
    for (auto& st : streams_) st = StreamState{};
    for (const auto& s : profile_.Streams()) {
        prerollMs_ = std::max(prerollMs_, s.bufferWindow);
        StreamState& st = streams_[s.streamNumber];
        st.present = true;
        st.video = s.streamType == asfguid::kVideoMedia;
        st.durationExt = !s.payloadExtensions.empty();
    }
    prerollMs_ = std::min<uint32_t>(prerollMs_, 60000);
    holdBack_ = kHoldBack;

    if (deterministic_) {
        fileId_ = kFixedFileId;
        creationDate_ = kFixedCreationDate;
    } else {
        std::random_device rd;
        uint8_t b[16];
        for (auto& x : b) x = uint8_t(rd());
        fileId_ = Guid::FromBytes(b);
        auto now = std::chrono::system_clock::now().time_since_epoch();
        creationDate_ = uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(now).count()) * 10 +
                        116444736000000000ull;
    }

    // The header; the file properties and the largest object sizes are filled in at the end.
    std::vector<uint8_t> objects;
    uint32_t count = 0;
    AsfFileProperties fp;
    fp.fileId = fileId_;
    fp.creationDate = creationDate_;
    fp.preroll = prerollMs_;
    fp.flags = kFilePropSeekable;
    fp.minPacketSize = fp.maxPacketSize = packetSize_;
    filePropsOffset_ = 30;
    Append(objects, RenderFileProperties(fp));
    ++count;
    for (const auto& s : profile_.Streams()) {
        Append(objects, RenderStreamProperties(s));
        ++count;
    }
    for (const auto& g : profile_.Groups())
        if (!g.InHeaderExtension()) {
            Append(objects, g.Render());
            ++count;
        }
    {
        std::vector<uint8_t> ext;
        maxObjectPatches_.clear();
        const uint64_t extDataStart = 30 + objects.size() + 24 + 22;
        for (const auto& s : profile_.Streams()) {
            maxObjectPatches_.emplace_back(extDataStart + ext.size() + 24 + 40, s.streamNumber);
            Append(ext, RenderExtendedStreamProperties(s));
        }
        if (!languages_.empty()) Append(ext, RenderLanguageList(languages_));
        for (const auto& g : profile_.Groups())
            if (g.InHeaderExtension()) Append(ext, g.Render());
        Append(ext, RenderMetadata(info_, false));
        Append(ext, RenderMetadata(info_, true));
        ByteWriter body;
        WriteGuid(body, asfguid::kReserved1);
        body.U16LE(6);
        body.U32LE(uint32_t(ext.size()));
        body.Bytes(ext);
        Append(objects, RenderObject(asfguid::kHeaderExtension, body.Data()));
        ++count;
    }
    Append(objects, RenderCodecList(info_));
    ++count;
    if (info_.GetScriptCount() > 0) {
        Append(objects, RenderScriptCommands(info_));
        ++count;
    }
    for (auto obj : {RenderContentDescription(info_), RenderExtendedContentDescription(info_)})
        if (!obj.empty()) {
            Append(objects, obj);
            ++count;
        }
    Append(objects, RenderStreamBitrates(profile_));
    ++count;

    ByteWriter head;
    WriteGuid(head, asfguid::kHeader);
    head.U64LE(30 + objects.size());
    head.U32LE(count);
    head.U8(1);
    head.U8(2);
    head.Bytes(objects);
    fileOffset_ = head.Pos();
    WriteGuid(head, asfguid::kData);
    head.U64LE(0);
    WriteGuid(head, fileId_);
    head.U64LE(0);
    head.U8(1);
    head.U8(1);
    if (!io_->Seek(0) || !io_->Write(head.Data())) return asf::kWriteFault;

    pending_.clear();
    for (auto& h : held_) h.Clear();
    for (auto& h : lent_) h.Clear();
    pins_.Clear();
    arrivals_ = 0;
    newest_ = 0;
    out_.Resize((kWriteBlock + packetSize_ - 1) / packetSize_ * packetSize_);
    outLen_ = 0;
    payloadLen_ = 0;
    payloadCount_ = 0;
    packetOpen_ = false;
    lastSend_ = 0;
    packets_ = 0;
    packetsOut_ = 0;
    endTime_ = 0;
    marks_.clear();
    state_ = State::Writing;
    return asf::kOk;
}

AsfResult AsfWriter::WriteStreamSample(uint16_t streamNumber, uint64_t time, uint64_t duration,
                                       uint32_t flags, std::span<const uint8_t> data) {
    const AsfSampleBuffer sample(data);
    return WriteStreamSample(streamNumber, time, duration, flags, sample);
}

AsfResult AsfWriter::WriteStreamSample(uint16_t streamNumber, uint64_t time, uint64_t duration,
                                       uint32_t flags, const AsfSampleBuffer& sample) {
    std::lock_guard lock(mutex_);
    return Hold(streamNumber, time, duration, flags, sample);
}

AsfResult AsfWriter::Hold(uint16_t streamNumber, uint64_t time, uint64_t duration, uint32_t flags,
                          const AsfSampleBuffer& sample) {
    if (state_ != State::Writing) return asf::kInvalidRequest;
    if (streamNumber == 0 || streamNumber > 127 || !streams_[streamNumber].present)
        return asf::kInvalidStream;
    const size_t length = sample.Length();
    if (length > 0xFFFFFFFFull) return asf::kInvalidArg;
    if (length == 0) return asf::kOk;  // nothing to store
    // A lent sample stays where it lies while the blocks held that way come
    // to no more than twice the bytes held in them, and two blocks: a stream
    // that takes little of what is read, or a sample held back long, would
    // keep far more of the reader's memory than it needs.
    bool lend = !sample.Owners().empty();
    if (lend) {
        size_t more = 0;
        for (const auto& b : sample.Owners())
            if (!pins_.Has(b.get())) more += b->size();
        lend = pins_.Bytes() + more <= 2 * (pins_.Lent() + length + sample.Owners()[0]->size());
    }
    HeldPieces& lent = lent_[streamNumber];
    if (lend && lent.Count() >= kHeldBlocks) CopyOldestLent(streamNumber);
    const uint64_t slot = lend ? lent.Put(sample, pins_) : held_[streamNumber].Put(sample.Pieces(), length);
    pending_.push_back({time, arrivals_++, slot, duration, flags, streamNumber, lend});
    std::push_heap(pending_.begin(), pending_.end(), LaterThan<Pending>);
    newest_ = std::max(newest_, time);
    while (!pending_.empty() && pending_.front().time + holdBack_ <= newest_) {
        AsfResult hr = EmitFirstPending();
        if (asf::Failed(hr)) return hr;
    }
    return asf::kOk;
}

void AsfWriter::CopyOldestLent(uint16_t stream) {
    // The stream's oldest lent sample has stayed so long that it holds the
    // queue back: its bytes are copied, and it is held with the copies.
    HeldPieces& lent = lent_[stream];
    const uint64_t slot = lent.Oldest();
    for (Pending& p : pending_)
        if (p.lent && p.stream == stream && p.slot == slot) {
            const Pieces pieces = lent.Get(slot);
            const size_t length = lent.Length(slot);
            HeldBytes& held = held_[stream];
            std::vector<std::span<const uint8_t>> list;
            for (size_t i = 0; i < pieces.count; ++i) list.push_back(pieces[i]);
            p.slot = held.Put(list, length);
            p.lent = false;
            break;
        }
    lent.Release(slot, pins_);
}

AsfResult AsfWriter::EmitFirstPending() {
    std::pop_heap(pending_.begin(), pending_.end(), LaterThan<Pending>);
    const Pending s = pending_.back();
    pending_.pop_back();
    if (s.lent) {
        HeldPieces& lent = lent_[s.stream];
        const AsfResult hr = EmitSample(s, lent.Get(s.slot), lent.Length(s.slot));
        lent.Release(s.slot, pins_);
        return hr;
    }
    HeldBytes& held = held_[s.stream];
    const std::span<const uint8_t> bytes = held.Get(s.slot);
    const AsfResult hr = EmitSample(s, {&bytes, 0, 0, 1}, bytes.size());
    held.Release(s.slot);
    return hr;
}

AsfResult AsfWriter::EmitSample(const Pending& s, const Pieces& data, size_t dataSize) {
    StreamState& st = streams_[s.stream];
    const uint32_t sendMs =
        std::max<uint32_t>(lastSend_, uint32_t(std::min<uint64_t>(s.time / 10000, 0xFFFFFFFF)));
    const uint32_t ptsMs = uint32_t(std::min<uint64_t>(s.time / 10000 + prerollMs_, 0xFFFFFFFF));
    if (st.any && s.time > st.lastTime) st.lastStep = s.time - st.lastTime;
    st.lastTime = s.time;
    st.any = true;
    endTime_ = std::max(endTime_, s.time + (s.duration ? s.duration : st.lastStep));
    st.maxObjectSize = std::max<uint32_t>(st.maxObjectSize, uint32_t(dataSize));

    const bool key = (s.flags & kSampleCleanPoint) != 0;
    const size_t hdr = PayloadHeaderSize(st);
    const uint8_t object = st.nextObject++;
    const uint32_t size = uint32_t(dataSize);
    const size_t room = packetSize_ - kPacketHeader;  // for the payloads of a packet
    uint32_t off = 0;
    uint64_t firstPacket = 0;
    // Where the next bytes come from: a piece and how far into it.
    size_t piece = 0;
    size_t pieceOff = 0;
    while (off < size) {
        if (packetOpen_ && (room - payloadLen_ < hdr + 1 || payloadCount_ == kMaxPayloads)) {
            AsfResult hr = FlushPacket();
            if (asf::Failed(hr)) return hr;
        }
        if (!packetOpen_) {
            packetOpen_ = true;
            packetSend_ = sendMs;
            payloadLen_ = 0;
            payloadCount_ = 0;
        }
        if (off == 0) firstPacket = packets_;
        const uint32_t n = uint32_t(std::min<size_t>(size - off, room - payloadLen_ - hdr));
        uint8_t* w = out_.data() + outLen_ + kPacketHeader + payloadLen_;
        *w++ = uint8_t(s.stream | (key ? 0x80 : 0));
        *w++ = object;
        PutU32LE(w, off);
        w += 4;
        *w++ = uint8_t(8 + (st.durationExt ? 2 : 0));
        PutU32LE(w, size);
        PutU32LE(w + 4, ptsMs);
        w += 8;
        if (st.durationExt) {
            PutU16LE(w, uint16_t(std::min<uint64_t>(s.duration / 10000, 0xFFFF)));
            w += 2;
        }
        PutU16LE(w, uint16_t(n));
        // The payload's bytes, straight from where the sample lies.
        w += 2;
        for (uint32_t left = n; left > 0;) {
            const std::span<const uint8_t> from = data[piece];
            const size_t k = std::min<size_t>(left, from.size() - pieceOff);
            std::memcpy(w, from.data() + pieceOff, k);
            w += k;
            left -= uint32_t(k);
            pieceOff += k;
            if (pieceOff == from.size()) {
                ++piece;
                pieceOff = 0;
            }
        }
        payloadLen_ += hdr + n;
        ++payloadCount_;
        off += n;
    }
    if (st.video && key)
        st.keys.push_back({ptsMs, uint32_t(firstPacket), uint32_t(packets_ - firstPacket + 1)});
    if (st.keys.size() >= st.pruneAt) {
        PruneKeys(st);
        st.pruneAt = std::max<size_t>(1024, st.keys.size() * 2);
    }
    lastSend_ = sendMs;
    return asf::kOk;
}

AsfResult AsfWriter::FlushPacket() {
    if (!packetOpen_) return asf::kOk;
    uint8_t* p = out_.data() + outLen_;
    p[0] = 0x82;  // two bytes of error correction data follow
    p[1] = 0;
    p[2] = 0;
    p[3] = 0x11;  // multiple payloads, 16-bit padding length
    p[4] = 0x5D;  // 8-bit replicated length, 32-bit offset, 8-bit object number, 8-bit stream number
    PutU16LE(p + 5, uint16_t(packetSize_ - kPacketHeader - payloadLen_));
    PutU32LE(p + 7, packetSend_);
    PutU16LE(p + 11, 0);
    p[13] = uint8_t(0x80 | payloadCount_);  // 16-bit payload lengths
    std::memset(p + kPacketHeader + payloadLen_, 0, packetSize_ - kPacketHeader - payloadLen_);
    outLen_ += packetSize_;
    packetOpen_ = false;
    payloadLen_ = 0;
    payloadCount_ = 0;
    ++packets_;
    lastSend_ = std::max(lastSend_, packetSend_);
    const PacketMark mark{packets_, endTime_, lastSend_};
    if (marks_.size() < kPacketMarks)
        marks_.push_back(mark);
    else
        marks_[size_t((packets_ - 1) % kPacketMarks)] = mark;
    return outLen_ + packetSize_ > out_.size() ? WriteOut() : asf::kOk;
}

AsfResult AsfWriter::WriteOut() {
    if (outLen_ == 0) return asf::kOk;
    const bool written = io_->Write(out_.data(), outLen_);
    // The packets built so far, less the one being filled.
    if (written) packetsOut_ = packets_;
    outLen_ = 0;
    return written ? asf::kOk : asf::kWriteFault;
}

void AsfWriter::PruneKeys(StreamState& st) const {
    // The index names, for each whole second, the latest key frame at or
    // before it (the first one before the first key frame). A key frame is
    // named only when no other follows before the next whole second. Only
    // key frames wholly in packets the file has taken are dropped, and only
    // for a follower of that kind: a file cut back after a refused write
    // keeps them both.
    std::stable_sort(st.keys.begin(), st.keys.end(),
                     [](const auto& a, const auto& b) { return a.ptsMs < b.ptsMs; });
    auto onDisk = [this](const StreamState::Key& k) { return uint64_t(k.packet) + k.count <= packetsOut_; };
    const uint64_t second = kIndexInterval / 10000;
    size_t kept = 0;
    for (size_t i = 0; i < st.keys.size(); ++i) {
        const StreamState::Key& k = st.keys[i];
        const bool last = i + 1 == st.keys.size();
        const bool unnamed = !last && i > 0 && onDisk(k) && onDisk(st.keys[i + 1]) &&
                             (k.ptsMs + second - 1) / second * second >= st.keys[i + 1].ptsMs;
        if (unnamed)
            st.droppedCount = std::max(st.droppedCount, k.count);
        else
            st.keys[kept++] = k;
    }
    st.keys.resize(kept);
}

AsfResult AsfWriter::WriteIndexes(uint64_t playMs) {
    if (packets_ == 0) return asf::kOk;  // an entry would name a packet that is not there
    const uint64_t entries = playMs / (kIndexInterval / 10000) + 1;
    if (entries > 0xFFFFFFFFull) return asf::kOk;  // too long to index
    // An index larger than the packets it points into only comes from times
    // that are damage (a stated duration of years over a few packets): it
    // would be gigabytes of entries naming the same packet, so there is none.
    if (entries * 6 > packets_ * packetSize_ + (1u << 20)) return asf::kOk;
    for (const auto& s : profile_.Streams()) {
        const StreamState& st = streams_[s.streamNumber];
        if (!st.video) continue;
        std::vector<StreamState::Key> keys = st.keys;
        std::stable_sort(keys.begin(), keys.end(),
                         [](const auto& a, const auto& b) { return a.ptsMs < b.ptsMs; });
        uint32_t maxCount = std::max<uint32_t>(1, st.droppedCount);
        for (const auto& k : keys) maxCount = std::max(maxCount, k.count);
        maxCount = std::min<uint32_t>(maxCount, 0xFFFF);
        ByteWriter b;
        WriteGuid(b, asfguid::kSimpleIndex);
        b.U64LE(56 + entries * 6);
        WriteGuid(b, fileId_);
        b.U64LE(kIndexInterval);
        b.U32LE(maxCount);
        b.U32LE(uint32_t(entries));
        if (!io_->Write(b.Data())) return asf::kWriteFault;
        size_t k = 0;
        ByteWriter chunk;
        for (uint64_t i = 0; i < entries; ++i) {
            const uint64_t t = i * (kIndexInterval / 10000);
            while (k + 1 < keys.size() && keys[k + 1].ptsMs <= t) ++k;
            uint32_t packet = keys.empty() ? 0 : keys[k].packet;
            uint32_t cnt = keys.empty() ? 1 : std::min<uint32_t>(keys[k].count, 0xFFFF);
            chunk.U32LE(packet);
            chunk.U16LE(uint16_t(cnt));
            if (chunk.Pos() >= 60000) {
                if (!io_->Write(chunk.Data())) return asf::kWriteFault;
                chunk.Clear();
            }
        }
        if (!io_->Write(chunk.Data())) return asf::kWriteFault;
    }
    return asf::kOk;
}

AsfResult AsfWriter::EndWriting() {
    std::lock_guard lock(mutex_);
    if (state_ == State::Configuring) {
        state_ = State::Done;
        return asf::kOk;
    }
    if (state_ != State::Writing) return asf::kInvalidRequest;
    state_ = State::Done;
    AsfResult hr = asf::kOk;
    while (!pending_.empty() && asf::Succeeded(hr)) hr = EmitFirstPending();
    pending_.clear();
    for (auto& h : lent_) h.Clear();  // the reader's blocks go back
    pins_.Clear();
    if (asf::Succeeded(hr)) hr = FlushPacket();
    if (asf::Succeeded(hr)) hr = WriteOut();
    const uint64_t playMs = endTime_ / 10000 + prerollMs_;
    if (asf::Succeeded(hr)) hr = WriteIndexes(playMs);
    if (asf::Succeeded(hr)) hr = Patch();
    if (auto* f = dynamic_cast<FileIO*>(io_.get())) {
        if (!f->Close() && asf::Succeeded(hr)) hr = asf::kWriteFault;
        io_.reset();
        if (asf::Failed(hr)) SalvageWrittenPackets();
    } else if (io_ && (!io_->Flush() || io_->Failed()) && asf::Succeeded(hr)) {
        hr = asf::kWriteFault;
    }
    return hr;
}

void AsfWriter::SalvageWrittenPackets() {
    if (path_.empty()) return;
    const uint64_t dataStart = fileOffset_ + 50;
    auto reopen = [this] {
        auto f = std::make_unique<FileIO>();
        return f->Open(path_, FileIO::Mode::ReadWrite, 64 << 10) ? std::move(f) : nullptr;
    };
    auto f = reopen();
    if (!f || f->Size() < dataStart) return;  // not even the header reached the disk
    // Whole packets only.
    const uint64_t kept = std::min<uint64_t>(packets_, (f->Size() - dataStart) / packetSize_);
    const uint64_t dataEnd = dataStart + kept * packetSize_;
    if (!f->Truncate(dataEnd)) return;
    if (kept < packets_) {
        // What the kept packets hold, as far as the marks remember.
        // The earliest mark at or after the kept packets.
        auto m = marks_.end();
        for (auto it = marks_.begin(); it != marks_.end(); ++it)
            if (it->packet >= kept && (m == marks_.end() || it->packet < m->packet)) m = it;
        if (kept == 0) {
            endTime_ = 0;
            lastSend_ = 0;
        } else if (m != marks_.end()) {
            endTime_ = m->endTime;
            lastSend_ = m->send;
        }
        packets_ = kept;
        for (auto& st : streams_)
            std::erase_if(st.keys,
                          [kept](const StreamState::Key& k) { return uint64_t(k.packet) + k.count > kept; });
    }
    if (!f->Close()) return;
    // The index, when there is room for it.
    if (packets_ > 0 && (f = reopen()) && f->Seek(dataEnd)) {
        io_ = std::move(f);
        bool indexed = asf::Succeeded(WriteIndexes(endTime_ / 10000 + prerollMs_));
        indexed = static_cast<FileIO*>(io_.get())->Close() && indexed;
        io_.reset();
        if (!indexed && (f = reopen())) f->Truncate(dataEnd);
    }
    // The header, in the room it already has.
    if (!(f = reopen())) return;
    io_ = std::move(f);
    Patch();
    io_.reset();
}

AsfResult AsfWriter::Patch() {
    const uint64_t fileSize = io_->Size();
    AsfFileProperties fp;
    fp.fileId = fileId_;
    fp.fileSize = fileSize;
    fp.creationDate = creationDate_;
    fp.packetCount = packets_;
    fp.playDuration = endTime_ + uint64_t(prerollMs_) * 10000;
    fp.sendDuration = uint64_t(lastSend_) * 10000;
    fp.preroll = prerollMs_;
    fp.flags = kFilePropSeekable;
    fp.minPacketSize = fp.maxPacketSize = packetSize_;
    // The streams' stated rates, or what the packets really take when that is more.
    uint64_t rate = 0;
    for (const auto& s : profile_.Streams()) rate += s.bitrate;
    if (endTime_ > 0)
        rate =
            std::max<uint64_t>(rate, uint64_t(double(packets_) * packetSize_ * 8 * 1e7 / double(endTime_)));
    fp.maxBitrate = uint32_t(std::min<uint64_t>(rate, 0xFFFFFFFF));
    std::vector<uint8_t> props = RenderFileProperties(fp);
    if (!io_->Seek(filePropsOffset_) || !io_->Write(props)) return asf::kWriteFault;
    if (!io_->Seek(fileOffset_ + 16) || !io_->WriteU64LE(50 + packets_ * packetSize_))
        return asf::kWriteFault;
    if (!io_->Seek(fileOffset_ + 40) || !io_->WriteU64LE(packets_)) return asf::kWriteFault;
    for (const auto& [offset, stream] : maxObjectPatches_)
        if (!io_->Seek(offset) || !io_->WriteU32LE(streams_[stream].maxObjectSize)) return asf::kWriteFault;
    return io_->Seek(fileSize) ? asf::kOk : asf::kWriteFault;
}

}  // namespace vt
