#!/usr/bin/env python3
"""Writes the hand-made inputs of the regression replay (tests/regress/<target>/).

Each input is a few hundred bytes built field by field, so that what it breaks
is plain from the code. Run it from anywhere; it rewrites the files it owns.
"""
import os
import struct

ROOT = os.path.dirname(os.path.abspath(__file__))


def chunk(ckid, data):
    pad = b'\0' if len(data) % 2 else b''
    return ckid + struct.pack('<I', len(data)) + data + pad


def riff(form, *chunks):
    body = form + b''.join(chunks)
    return b'RIFF' + struct.pack('<I', len(body)) + body


def waveformat(tag, channels, rate, avg, align, bits, extra=b'', cb=None):
    cb = len(extra) if cb is None else cb
    return struct.pack('<HHIIHHH', tag, channels, rate, avg, align, bits, cb) + extra


def lst(form, *chunks):
    body = form + b''.join(chunks)
    return b'LIST' + struct.pack('<I', len(body)) + body


def strh(fcc_type, handler=b'\0\0\0\0', scale=1, rate=10, start=0, length=1, sample_size=0):
    return chunk(b'strh', fcc_type + handler + struct.pack('<IHHIIIIIIII', 0, 0, 0, 0, scale, rate, start,
                                                           length, 0, 0xFFFFFFFF, sample_size) + bytes(8))


def bitmapinfo(w=16, h=16, compression=b'MJPG'):
    return struct.pack('<IiiHH', 40, w, h, 1, 24) + compression + struct.pack('<IiiII', w * h * 3, 0, 0, 0, 0)


def avi(streams, samples, usec=100000):
    """streams: list of (strh, strf); samples: list of (ckid, data, flags)."""
    avih = chunk(b'avih', struct.pack('<14I', usec, 0, 0, 0x10, len(samples), 0, len(streams), 0, 16, 16,
                                      0, 0, 0, 0))
    hdrl = lst(b'hdrl', avih, *(lst(b'strl', h, chunk(b'strf', f)) for h, f in streams))
    movi_chunks = []
    index = []
    offset = 4
    for ckid, data, flags in samples:
        c = chunk(ckid, data)
        index.append(struct.pack('<4sIII', ckid, flags, offset, len(data)))
        offset += len(c)
        movi_chunks.append(c)
    return riff(b'AVI ', hdrl, lst(b'movi', *movi_chunks), chunk(b'idx1', b''.join(index)))


def flv_tag(tag_type, time, data):
    head = bytes([tag_type]) + len(data).to_bytes(3, 'big') + (time & 0xFFFFFF).to_bytes(3, 'big')
    return head + bytes([(time >> 24) & 0xFF]) + b'\0\0\0' + data + struct.pack('>I', 11 + len(data))


def flv(*tags, flags=1):
    return b'FLV\x01' + bytes([flags]) + struct.pack('>I', 9) + b'\0\0\0\0' + b''.join(tags)


def write(target, name, data):
    d = os.path.join(ROOT, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), 'wb') as f:
        f.write(data)


def main():
    # IMA ADPCM whose samples-per-block (65535) and 1-byte blocks promise a
    # PCM buffer of gigabytes for one 12 KiB piece of the file: 76 bytes.
    ima = riff(b'WAVE',
               chunk(b'fmt ', waveformat(0x11, 2, 8000, 4000, 1, 4, struct.pack('<H', 65535))),
               chunk(b'fact', struct.pack('<I', 0xFFFFFFFF)),
               chunk(b'data', bytes(16)))
    assert len(ima) == 76, len(ima)
    write('wav_ops', 'ima-adpcm-huge-pcm.wav', ima)
    # The same with 65535 channels: tens of terabytes, an allocation that
    # throws and so aborted the release build's extract.
    ima = ima.replace(struct.pack('<HH', 0x11, 2), struct.pack('<HH', 0x11, 0xFFFF), 1)
    write('wav_ops', 'ima-adpcm-huge-pcm-abort.wav', ima)

    # GSM 6.10 (65-byte blocks of 320 samples) claiming 32767 channels: the
    # PCM pairing of one 12 KiB piece came to 3.8 GB. 320 bytes.
    gsm = riff(b'WAVE',
               chunk(b'fmt ', waveformat(0x31, 32767, 8000, 1625, 65, 0, struct.pack('<H', 320))),
               chunk(b'fact', struct.pack('<I', 1280)),
               chunk(b'data', bytes(260)))
    assert len(gsm) == 320, len(gsm)
    write('wav_ops', 'gsm-wrong-channels.wav', gsm)

    # An AVI whose audio format block (18 bytes) says 200 extra bytes follow.
    pcm = waveformat(1, 1, 8000, 16000, 2, 16)
    short_fmt = waveformat(0x11, 1, 8000, 4055, 256, 4, cb=200)
    bad = avi([(strh(b'vids', b'MJPG'), bitmapinfo()),
               (strh(b'auds', scale=256, rate=4055, length=2, sample_size=256), short_fmt)],
              [(b'00dc', bytes(32), 0x10), (b'01wb', bytes(512), 0x10)])
    write('avi_ops', 'audio-format-cbsize-past-block.avi', bad)
    write('avi_reader', 'audio-format-cbsize-past-block.avi', bad)
    # A WAV whose 'fmt ' chunk (18 bytes) says 0xFFFF extra bytes follow.
    wav = riff(b'WAVE', chunk(b'fmt ', waveformat(0x11, 1, 8000, 4055, 256, 4, cb=0xFFFF)),
               chunk(b'data', bytes(512)))
    write('wav_ops', 'fmt-cbsize-past-chunk.wav', wav)
    write('wav_reader', 'fmt-cbsize-past-chunk.wav', wav)
    del pcm

    # A stream whose 'strf' chunk is empty: a read of no bytes into no buffer.
    empty = avi([(strh(b'vids', b'MJPG'), b'')], [(b'00dc', bytes(8), 0x10)])
    write('avi_reader', 'empty-strf.avi', empty)
    # The same for an audio stream, which separation writes as a WAV file.
    empty = avi([(strh(b'vids', b'MJPG'), bitmapinfo()), (strh(b'auds', sample_size=2), b'')],
                [(b'00dc', bytes(8), 0x10), (b'01wb', bytes(8), 0x10)])
    write('avi_ops', 'audio-empty-strf.avi', empty)

    # Stream headers whose scale and rate put times out of every integer's
    # range: the frame duration of the AVI header (a double converted to 32
    # bits), the audio position of the stream save (to 64 bits), the audio
    # range of the join (a 32-bit difference).
    for name, vs, vr, as_, ar, start in (('stream-scale-huge.avi', 0x7FFFFFFF, 1, 1, 1, 0),
                                         ('stream-rates-far-apart.avi', 0xFFFFFFFF, 1, 1, 0xFFFFFFFF, 0),
                                         ('stream-start-overflow.avi', 0x80000000, 0x7FFFFFFF, 1, 1, 0x7FFFFFFF)):
        f = avi([(strh(b'vids', b'MJPG', scale=vs, rate=vr, start=start, length=1), bitmapinfo()),
                 (strh(b'auds', scale=as_, rate=ar, start=start, length=1, sample_size=2),
                  waveformat(1, 1, 8000, 16000, 2, 16))],
                [(b'00dc', bytes(32), 0x10), (b'01wb', bytes(64), 0x10), (b'00dc', bytes(32), 0x10)])
        write('avi_ops', name, f)

    # H.263 key frames at 0, 40 and 80 ms, then one at 24.8 days: the AVI of
    # the video filled the jump with 53 million empty frames (1.4 GB, 790 MB
    # of memory) from 141 bytes.
    key = bytes([0x12]) + bytes(16)
    gap = flv(*(flv_tag(9, t, key) for t in (0, 40, 80, 0x7FFFFFFF)))
    assert len(gap) == 141, len(gap)
    write('flv_ops', 'timestamp-jump.flv', gap)
    write('flv_reader', 'timestamp-jump.flv', gap)


if __name__ == '__main__':
    main()
