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


if __name__ == '__main__':
    main()
