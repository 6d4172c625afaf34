#include "platform/AsfReader.h"

#include <algorithm>
#include <array>
#include <atomic>

#include "platform/ByteIO.h"
#include "platform/Bytes.h"

namespace vt {

namespace {

// Reads a field whose size is given by a 2-bit length type (0: absent, 0).
uint32_t ReadVar(ByteReader& r, unsigned type) {
    switch (type & 3) {
        case 1:
            return r.U8();
        case 2:
            return r.U16LE();
        case 3:
            return r.U32LE();
        default:
            return 0;
    }
}

}  // namespace

namespace {

// The packet parser, with the payload handler inlined into the reader's loop.
template <class OnPayload>
AsfResult ParsePacket(std::span<const uint8_t> p, AsfPacketInfo& info, OnPayload&& onPayload) {
    const AsfResult bad = asf::kInvalidData;
    if (p.size() < 2) return bad;
    ByteReader r(p);
    uint8_t b = r.U8();
    if (b & 0x80) {
        // Error correction data: its length is in the low nibble, its length type must be 0.
        if (b & 0x60) return bad;
        r.Skip(b & 0x0F);
        b = r.U8();
        if (!r.Ok() || (b & 0x80)) return bad;
    }
    const uint8_t lengthFlags = b;
    const uint8_t propFlags = r.U8();
    uint32_t packetLength = ReadVar(r, lengthFlags >> 5);
    (void)ReadVar(r, lengthFlags >> 1);  // the sequence, unused
    const uint32_t padding = ReadVar(r, lengthFlags >> 3);
    const uint32_t sendTime = r.U32LE();
    const uint16_t duration = r.U16LE();
    if (!r.Ok()) return bad;
    info.sendTime = sendTime;
    info.duration = duration;
    const size_t pos = r.Pos();
    if (((lengthFlags >> 5) & 3) == 0) packetLength = uint32_t(p.size());
    if (packetLength > p.size() || packetLength < pos) return bad;
    if (padding > packetLength - pos) return bad;
    // The payloads end where the padding begins.
    ByteReader area(p.first(packetLength - padding));
    area.Seek(pos);

    const unsigned repType = propFlags & 3, offType = (propFlags >> 2) & 3, objType = (propFlags >> 4) & 3,
                   streamType = (propFlags >> 6) & 3;
    if (streamType == 0) return bad;
    const bool multiple = lengthFlags & 1;
    unsigned count = 1, payloadLenType = 0;
    if (multiple) {
        const uint8_t pf = area.U8();
        if (!area.Ok()) return bad;
        count = pf & 0x3F;
        payloadLenType = pf >> 6;
        if (payloadLenType == 0 || count == 0) return bad;
    }
    for (unsigned i = 0; i < count; ++i) {
        const uint32_t sn = ReadVar(area, streamType);
        const uint32_t objNum = ReadVar(area, objType);
        const uint32_t offset = ReadVar(area, offType);
        const uint32_t repLen = ReadVar(area, repType);
        const std::span<const uint8_t> rep = area.Bytes(repLen);
        const size_t payloadLen = multiple ? ReadVar(area, payloadLenType) : area.Remaining();
        const std::span<const uint8_t> data = area.Bytes(payloadLen);
        if (!area.Ok()) return bad;

        AsfPayload pl;
        pl.streamNumber = uint8_t(sn & 0x7F);
        pl.keyFrame = (sn & 0x80) != 0;
        if (repLen == 1) {
            // Compressed payload: whole small objects, each after a size byte;
            // the offset field holds the presentation time, the replicated byte its step.
            const uint32_t delta = rep[0];
            ByteReader objects(data);
            uint32_t k = 0;
            while (objects.Remaining() > 0) {
                const size_t n = objects.U8();
                const std::span<const uint8_t> object = objects.Bytes(n);
                if (!objects.Ok()) return bad;
                pl.objectNumber = (objNum + k) & 0xFF;
                pl.objectOffset = 0;
                pl.objectSize = uint32_t(n);
                pl.presentationTime = offset + k * delta;
                pl.replicated = {};
                pl.compressed = true;
                pl.data = object;
                ++k;
                onPayload(pl);
            }
            continue;
        }
        if (repLen < 8) return bad;
        ByteReader replicated(rep);
        pl.objectNumber = objNum;
        pl.objectOffset = offset;
        pl.objectSize = replicated.U32LE();
        pl.presentationTime = replicated.U32LE();
        pl.replicated = rep.subspan(8);
        pl.data = data;
        onPayload(pl);
    }
    return asf::kOk;
}

}  // namespace

AsfResult ParseAsfPacket(std::span<const uint8_t> p, AsfPacketInfo& info,
                         const std::function<void(const AsfPayload&)>& onPayload) {
    return ParsePacket(p, info, onPayload);
}

struct AsfReader::StreamState {
    const AsfStreamConfig* config = nullptr;
    bool active = false;
    uint32_t objectNumber = 0;
    uint32_t objectSize = 0;
    uint32_t pts = 0;
    bool key = false;
    uint32_t durationMs = 0;
    bool lost = false;  // an earlier object of the stream was incomplete
    // The object being gathered from several payloads: where its payloads
    // lie in the blocks read (not copied), and the blocks they lie in. The
    // lists' memory is kept from one object to the next.
    std::vector<std::span<const uint8_t>> pieces;
    std::vector<AsfLentBlock> owners;
    size_t have = 0;  // bytes gathered
    // An object whose payloads are spread thin over many blocks is copied
    // instead, so that it does not hold more blocks than its bytes need.
    bool copying = false;
    std::vector<uint8_t> copy;

    void Drop() {
        pieces.clear();
        owners.clear();
        have = 0;
        copying = false;
        copy.clear();
    }
};

// A run under way: where it is in the data object, the packets read ahead,
// and each stream's object being assembled.
struct AsfReader::RunState {
    std::array<StreamState, 128> streams;
    uint64_t prerollMs = 0;
    uint32_t packetSize = 0;
    uint64_t end = 0;         // where the packets end
    bool cutShort = false;    // the data object goes on past the end of the file
    uint64_t maxPackets = 0;  // as the header counts them (no limit without a count)
    uint64_t packets = 0;     // packets parsed
    uint64_t pos = 0;         // file offset of the next packet to read
    // Whole packets read in one go, parsed in place. The blocks are lent
    // with the samples: a block someone still holds is not read into again.
    std::vector<std::shared_ptr<UninitBytes>> blocks;
    size_t blockSize = 0;
    AsfLentBlock block;  // the block being parsed
    size_t blockLen = 0;
    size_t blockAt = 0;
    // Objects of the current step copied whole (put back in order, or asked
    // for in one piece): their bytes stay where they are until the next step.
    std::vector<std::vector<uint8_t>> done;
    size_t doneUsed = 0;
    AsfResult result = asf::kOk;
    bool stop = false;
    // The run has ended with `endResult`; the memory of its last step is
    // kept until the next run or Close.
    bool ended = false;
    AsfResult endResult = asf::kOk;

    // A block to read into, which becomes `block`.
    UninitBytes& FreeBlock();
};

AsfReader::AsfReader() = default;
AsfReader::~AsfReader() = default;

namespace {
// Packets are read in blocks of at least this size: straight into the
// reader's memory, past the file's own buffer.
constexpr size_t kReadBlock = 256 << 10;
constexpr size_t kFileBuffer = 64 << 10;
// Blocks nobody holds kept for later reads, at most, besides the one read into.
constexpr size_t kSpareBlocks = 4;
}  // namespace

AsfResult AsfReader::Open(const std::string& path) {
    // The header is read through the file's buffer; the packets are read in
    // blocks larger than it, which go straight into the reader's memory.
    auto f = std::make_unique<FileIO>();
    if (!f->Open(path, FileIO::Mode::Read, kFileBuffer)) {
        Close();
        return asf::kFileNotFound;
    }
    return Open(std::move(f));
}

AsfResult AsfReader::Open(std::unique_ptr<ByteIO> io) {
    Close();
    if (!io) return asf::kInvalidArg;
    AsfResult hr = ParseAsfHeader(*io, header_);
    if (asf::Failed(hr)) {
        header_ = AsfHeader{};
        return hr;
    }
    io_ = std::move(io);
    profile_ = std::make_shared<AsfProfile>(header_.profile);
    truncated_ =
        header_.dataObjectSize != 0 && header_.dataObjectOffset + header_.dataObjectSize > io_->Size();
    if (header_.Duration() == 0) {
        // A live capture states no play duration: its packets tell how long it is.
        const uint64_t d = ScanDuration();
        if (d > 0) {
            header_.fileProperties.playDuration = d + header_.fileProperties.preroll * 10000;
            AsfAttribute a;
            a.name = u"Duration";
            a.type = AsfAttrType::Qword;
            a.value.assign(8, 0);
            PutU64LE(a.value.data(), d);
            header_.info.AddParsed(std::move(a));
        }
    }
    return asf::kOk;
}

uint64_t AsfReader::ScanDuration() {
    const uint32_t packetSize = header_.PacketSize();
    const uint64_t prerollMs = header_.fileProperties.preroll;
    uint64_t end = io_->Size();
    if (header_.dataObjectSize != 0) end = std::min(end, header_.dataObjectOffset + header_.dataObjectSize);
    const uint64_t maxPackets = header_.dataPacketCount ? header_.dataPacketCount : UINT64_MAX;
    std::vector<uint8_t> packet(packetSize);
    uint64_t lastMs = 0;
    bool any = false;
    uint64_t pos = header_.firstPacketOffset;
    for (uint64_t n = 0; n < maxPackets && pos < end && end - pos >= packetSize; ++n, pos += packetSize) {
        if (!io_->Seek(pos) || !io_->ReadExact(packet.data(), packetSize)) break;
        AsfPacketInfo info;
        const AsfResult hr = ParseAsfPacket(packet, info, [&](const AsfPayload& pl) {
            any = true;
            lastMs = std::max<uint64_t>(lastMs, pl.presentationTime);
        });
        if (asf::Failed(hr)) break;  // the run reports a damaged packet
    }
    return any && lastMs > prerollMs ? (lastMs - prerollMs) * 10000 : 0;
}

namespace {
// Beyond the preroll and the largest buffer window, how much earlier than a
// time a packet found for it is sent.
constexpr uint64_t kSeekSlackMs = 3000;
}  // namespace

uint64_t AsfReader::PacketBefore(uint64_t time) {
    const uint64_t packetSize = header_.PacketSize();
    // Only a data object of whole packets, all in the file, that counts them.
    if (!io_ || time == 0 || packetSize == 0 || truncated_ ||
        (header_.fileProperties.flags & kFilePropBroadcast) || header_.dataObjectSize == 0 ||
        header_.dataPacketCount == 0)
        return 0;
    const uint64_t dataEnd = header_.dataObjectOffset + header_.dataObjectSize;
    if (dataEnd > io_->Size() || dataEnd < header_.firstPacketOffset ||
        header_.dataPacketCount > (dataEnd - header_.firstPacketOffset) / packetSize)
        return 0;
    uint64_t window = 0;
    for (const auto& s : header_.profile.Streams()) window = std::max<uint64_t>(window, s.bufferWindow);
    const uint64_t prerollMs = header_.fileProperties.preroll;
    // A sample is sent at most a preroll and a buffer window before it is
    // presented; a packet sent `margin` before `time` (or earlier) holds only
    // objects presented before it.
    const uint64_t margin = prerollMs + window + kSeekSlackMs;
    const uint64_t timeMs = time / 10000;
    if (timeMs <= margin) return 0;
    const uint64_t target = timeMs - margin;

    // A packet's send time, when the packet is sound and no object in it is
    // presented later after it than the margin allows.
    std::vector<uint8_t> packet(packetSize);
    auto sendTime = [&](uint64_t index, uint64_t& send) {
        const uint64_t at = header_.firstPacketOffset + index * packetSize;
        if (io_->ReadAt(at, packet.data(), packet.size()) != packet.size()) return false;
        AsfPacketInfo info;
        uint64_t latest = 0;
        if (asf::Failed(ParsePacket(packet, info, [&](const AsfPayload& pl) {
                latest = std::max<uint64_t>(latest, pl.presentationTime);
            })))
            return false;
        send = info.sendTime;
        return latest < send + prerollMs + margin;
    };
    // The last packet sent at or before the target, with every send time
    // read on the way in order.
    uint64_t lo = 0, hi = header_.dataPacketCount - 1, loSend = 0, hiSend = 0;
    if (!sendTime(lo, loSend) || loSend > target || !sendTime(hi, hiSend) || hiSend < loSend) return 0;
    if (hiSend <= target) return hi;
    while (hi - lo > 1) {
        const uint64_t mid = lo + (hi - lo) / 2;
        uint64_t send = 0;
        if (!sendTime(mid, send) || send < loSend || send > hiSend) return 0;
        if (send <= target) {
            lo = mid;
            loSend = send;
        } else {
            hi = mid;
            hiSend = send;
        }
    }
    return lo;
}

void AsfReader::Close() {
    io_.reset();
    run_.reset();
    truncated_ = false;
    header_ = AsfHeader{};
    profile_.reset();
}

namespace {

// Puts an audio object scrambled by a spread of `span` rows back in order,
// into `out`; returns the object as it is when it is not spread that way.
std::span<const uint8_t> Unspread(std::span<const uint8_t> obj, size_t span, size_t packetSize, size_t chunk,
                                  std::vector<uint8_t>& out) {
    if (span <= 1 || chunk == 0 || packetSize % chunk != 0 || obj.size() != span * packetSize) return obj;
    out.resize(obj.size());
    const size_t chunksPerPacket = packetSize / chunk;
    for (size_t offset = 0; offset < obj.size(); offset += chunk) {
        size_t idx = offset / chunk;
        size_t src = (idx / span) + (idx % span) * chunksPerPacket;
        std::copy_n(obj.begin() + src * chunk, chunk, out.begin() + offset);
    }
    return out;
}

// Reads the sample duration (ms) from the payload extension data, when the stream declares one.
uint32_t SampleDurationMs(const AsfStreamConfig& s, std::span<const uint8_t> ext) {
    ByteReader r(ext);
    for (const auto& x : s.payloadExtensions) {
        // A size of 0xFFFF: the data states its own size first.
        const size_t n = x.dataSize == 0xFFFF ? r.U16LE() : x.dataSize;
        ByteReader data(r.Bytes(n));
        if (!r.Ok()) return 0;
        if (x.id == asfguid::kPayloadExtSampleDuration && n >= 2) return data.U16LE();
    }
    return 0;
}

}  // namespace

UninitBytes& AsfReader::RunState::FreeBlock() {
    RunState& r = *this;
    // A block nobody else holds; a few more are kept for the next reads.
    std::shared_ptr<UninitBytes>* found = nullptr;
    size_t spares = 0;
    for (size_t i = 0; i < r.blocks.size();) {
        if (r.blocks[i].use_count() != 1) {
            ++i;
        } else if (!found) {
            found = &r.blocks[i++];
        } else if (spares < kSpareBlocks) {
            ++spares;
            ++i;
        } else {
            r.blocks.erase(r.blocks.begin() + ptrdiff_t(i));  // after `found`: it stays where it is
        }
    }
    if (!found) {
        auto b = std::make_shared<UninitBytes>();
        b->Resize(r.blockSize);
        r.blocks.push_back(std::move(b));
        found = &r.blocks.back();
    }
    // Whoever let go of the block (on any thread) is done with its bytes.
    std::atomic_thread_fence(std::memory_order_acquire);
    r.block = *found;
    return **found;
}

AsfResult AsfReader::Run(IAsfSampleSink& sink, uint64_t firstPacket) {
    AsfResult hr = BeginRun(firstPacket);
    if (asf::Failed(hr)) return hr;
    bool done = false;
    while (!done) hr = Step(sink, done);
    return hr;
}

AsfResult AsfReader::BeginRun(uint64_t firstPacket) {
    run_.reset();
    if (!io_) return asf::kInvalidRequest;
    auto r = std::make_unique<RunState>();
    for (const auto& s : header_.profile.Streams()) r->streams[s.streamNumber].config = &s;
    r->prerollMs = header_.fileProperties.preroll;
    r->packetSize = header_.PacketSize();
    r->end = io_->Size();
    if (header_.dataObjectSize != 0) {
        const uint64_t declared = header_.dataObjectOffset + header_.dataObjectSize;
        if (declared < r->end)
            r->end = declared;
        else if (declared > r->end)
            r->cutShort = true;
    }
    r->maxPackets = header_.dataPacketCount ? header_.dataPacketCount : UINT64_MAX;
    r->pos = header_.firstPacketOffset;
    if (r->packetSize == 0) return asf::kInvalidData;
    if (firstPacket > 0) {
        // No further than the last whole packet: a run from past the end
        // ends there, as a run from the first packet does.
        const uint64_t whole = r->end > r->pos ? (r->end - r->pos) / r->packetSize : 0;
        r->packets = std::min(firstPacket, whole);
        r->pos += r->packets * r->packetSize;
    }
    r->blockSize = (kReadBlock + r->packetSize - 1) / r->packetSize * r->packetSize;
    run_ = std::move(r);
    return asf::kOk;
}

AsfResult AsfReader::Step(IAsfSampleSink& sink, bool& done) {
    done = true;
    if (!run_) return asf::kInvalidRequest;
    RunState& r = *run_;
    if (r.ended) return r.endResult;
    if (!io_) return asf::kInvalidRequest;
    auto finish = [&r](AsfResult hr) {
        r.ended = true;
        r.endResult = hr;
        return hr;
    };
    if (r.packets >= r.maxPackets) return finish(asf::kOk);
    const uint32_t packetSize = r.packetSize;
    if (r.blockAt == r.blockLen) {
        if (r.pos >= r.end || r.end - r.pos < packetSize) {
            // The end of the data, or bytes after its last whole packet. A
            // file cut short (a broken download) ends at its last whole
            // packet, as if it had been written that far.
            truncated_ = truncated_ || r.cutShort;
            return finish(asf::kOk);
        }
        const uint64_t whole = std::min<uint64_t>(
            {(r.end - r.pos) / packetSize, r.maxPackets - r.packets, r.blockSize / packetSize});
        if (!io_->Seek(r.pos)) return finish(asf::kHandleEof);
        r.block.reset();
        UninitBytes& into = r.FreeBlock();
        const size_t got = io_->Read(into.data(), size_t(whole) * packetSize);
        r.blockLen = got / packetSize * packetSize;
        r.blockAt = 0;
        r.pos += r.blockLen;
        if (r.blockLen == 0) return finish(asf::kHandleEof);
    }
    const std::span<const uint8_t> packet(r.block->data() + r.blockAt, packetSize);
    r.blockAt += packetSize;
    ++r.packets;

    r.doneUsed = 0;
    auto spare = [&r]() -> std::vector<uint8_t>& {
        if (r.doneUsed == r.done.size()) r.done.emplace_back();
        return r.done[r.doneUsed++];
    };
    // Hands over an object whose bytes lie in `pieces`, lent from `owners`.
    auto deliver = [&](StreamState& st, std::span<const std::span<const uint8_t>> pieces,
                       std::span<const AsfLentBlock> owners, size_t length, uint32_t pts, bool key,
                       uint32_t durMs) {
        const AsfStreamConfig& cfg = *st.config;
        std::vector<uint8_t>* assembly = pieces.size() > 1 ? &spare() : nullptr;
        std::span<const uint8_t> whole;
        if (cfg.SpreadSpan() > 1) {
            // Put back in order, in memory of this step.
            const AsfSampleBuffer gathered(pieces, owners, length, assembly);
            const std::span<const uint8_t> obj = gathered.Bytes();
            whole = Unspread(obj, cfg.SpreadSpan(), cfg.SpreadPacketSize(), cfg.SpreadChunkSize(), spare());
            if (whole.data() != obj.data()) {
                pieces = {&whole, 1};
                owners = {};
                assembly = nullptr;
            }
        }
        uint64_t time = pts > r.prerollMs ? (uint64_t(pts) - r.prerollMs) * 10000 : 0;
        // Every audio sample can start playback, whatever its payload says.
        if (cfg.streamType == asfguid::kAudioMedia) key = true;
        uint32_t flags = (key ? kSampleCleanPoint : 0) | (st.lost ? kSampleDataLoss : 0);
        st.lost = false;
        const AsfSampleBuffer sample(pieces, owners, length, assembly);
        AsfResult hr = sink.OnStreamSample(cfg.streamNumber, time, uint64_t(durMs) * 10000, flags, sample);
        if (hr != asf::kOk) {
            r.stop = true;
            if (asf::Failed(hr)) r.result = hr;
        }
    };
    // An object in one payload: handed over where it lies.
    auto deliverWhole = [&](StreamState& st, std::span<const uint8_t> bytes, uint32_t pts, bool key,
                            uint32_t durMs) {
        deliver(st, {&bytes, 1}, {&r.block, 1}, bytes.size(), pts, key, durMs);
    };
    auto onPayload = [&](const AsfPayload& pl) {
        if (r.stop) return;
        StreamState& st = r.streams[pl.streamNumber];
        if (!st.config) return;
        if (pl.compressed) {
            // A sub-payload of a compressed payload: a whole object.
            deliverWhole(st, pl.data, pl.presentationTime, pl.keyFrame, 0);
            return;
        }
        if (pl.objectOffset == 0) {
            if (st.active) st.lost = true;  // the previous object never completed
            st.active = pl.objectSize > 0;
            st.objectNumber = pl.objectNumber;
            st.objectSize = pl.objectSize;
            st.pts = pl.presentationTime;
            st.key = pl.keyFrame;
            st.durationMs = SampleDurationMs(*st.config, pl.replicated);
            st.Drop();
            if (st.active && pl.data.size() == pl.objectSize) {
                st.active = false;
                deliverWhole(st, pl.data, st.pts, st.key, st.durationMs);
                return;
            }
        } else if (!st.active || pl.objectNumber != st.objectNumber || pl.objectOffset != st.have ||
                   pl.objectSize != st.objectSize) {
            if (st.active) st.lost = true;
            st.active = false;
            st.Drop();
            return;
        }
        if (!st.active) return;
        if (pl.data.size() > st.objectSize - st.have) {
            st.active = false;
            st.lost = true;
            st.Drop();
            return;
        }
        if (!pl.data.empty() && !st.copying) {
            if (st.owners.empty() || st.owners.back() != r.block) {
                st.owners.push_back(r.block);
                if (st.owners.size() > 4 && st.owners.size() * r.blockSize > 4 * (st.have + pl.data.size())) {
                    st.copying = true;
                    for (const auto& piece : st.pieces)
                        st.copy.insert(st.copy.end(), piece.begin(), piece.end());
                    st.pieces.clear();
                    st.owners.clear();
                }
            }
        }
        if (st.copying)
            st.copy.insert(st.copy.end(), pl.data.begin(), pl.data.end());
        else if (!pl.data.empty())
            st.pieces.push_back(pl.data);
        st.have += pl.data.size();
        if (st.have == st.objectSize) {
            st.active = false;
            if (st.copying) {
                // Kept until the next step, in memory of this step.
                std::vector<uint8_t>& object = spare();
                object.swap(st.copy);
                const std::span<const uint8_t> bytes = object;
                deliver(st, {&bytes, 1}, {}, bytes.size(), st.pts, st.key, st.durationMs);
            } else {
                deliver(st, st.pieces, st.owners, st.have, st.pts, st.key, st.durationMs);
            }
            st.Drop();
        }
    };

    AsfPacketInfo info;
    const AsfResult hr = ParsePacket(packet, info, onPayload);
    if (asf::Failed(hr)) return finish(hr);
    if (r.stop) return finish(r.result);
    done = false;
    return asf::kOk;
}

}  // namespace vt
