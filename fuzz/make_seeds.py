#!/usr/bin/env python3
"""Writes the seed corpus of each harness from the real formats: feedback as
elements send it, nms.ini as the program writes it, level datagrams of a test
tone, ICMP echo answers and errors, configuration packets. Only the seed-*
files are (re)written; reproducers kept beside them stay."""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(harness, seeds):
    folder = os.path.join(HERE, "corpus", harness)
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, "seed-" + name), "wb") as f:
            f.write(data)


def addr(*texts):
    return b"".join(bytes(int(p) for p in text.split(".")) for text in texts)


def common(ip, name, role, serial):
    return (addr(ip, "255.255.255.0", "198.18.0.1", "198.18.1.7") + bytes([1, 0, 1])
            + name.ljust(16).encode("latin-1") + bytes([role]) + struct.pack(">I", serial))


ENCODER = common("198.18.0.21", "Studio enc 1", 1, 123456) + bytes([3, 4, 1, 6])
DECODER = common("198.18.0.22", "TX site dec", 2, 0x80000001) + bytes([30, 3, 4, 1, 5, 2, 100, 150])
write("feedback", {"encoder-44": ENCODER, "decoder-48": DECODER, "decoder-41": DECODER[:41],
                   "encoder-40": ENCODER[:40],
                   "role0-46": common("198.18.0.23", "unset", 0, 7) + bytes([2, 0, 0, 0, 0, 0])})

ENC = ("[001A2B3C4D01]\nNAME=STUDIO ENC 1    \nIP=198.18.0.21\nMASK=255.255.255.0\n"
       "GW=198.18.0.1\nREMOTE=198.18.1.7\nINPUT=1\nTYPE=0\nTX=1\nROLE=1\nSN=123456\n"
       "VER=3.4\nSFN=1\nBUF=6\n")
DEC = ("[001A2B3C4D02]\nNAME=TX SITE DEC     \nIP=198.18.0.22\nMASK=255.255.255.0\n"
       "GW=198.18.0.1\nREMOTE=198.18.0.21\nINPUT=0\nTYPE=0\nTX=0\nROLE=2\nSN=2147483649\n"
       "VER=3.4\nSFN=1\nBUF=5\nATT=30\nSDM=2\nSDL=100\nSDT=150\n")
# The lines before the first section name the writes: new key, value, new
# key name, new section name. The param-* seeds aim them at the store's known
# weak spots: a key that reads as a header, keys whose upper case leaves
# Latin-1, a rename to a name that folds to the old one.
write("ini", {
    "database": (ENC + DEC).encode("latin-1"),
    "database-crlf": (ENC + DEC).replace("\n", "\r\n").encode("latin-1"),
    "hand-edited": b"\xef\xbb\xbf; elements of the north site\n\n[001A2B3C4D01]\n  name = Studio  \n"
                   b"ip=198.18.0.21\n; moved\nbare line\n\n[001a2b3c4d01]\nIP=198.18.0.99\n[]\nX=1\n",
    "param-key-like-header": b";[T]\nv\n;NEWKEY\n;U\n[S]\nK=1\n[T]\nK=2\n",
    "param-latin1-keys": b";\xff\xb5\xdf\nv\n;\xb5\n;s\n[S]\n\xff=1\n\xb5=2\n",
    "param-rename-same-name": b"K\nv\n;k\n;a\x00b\n[a b]\nK=1\nK=2\n",
    "parameters": b";LOCATION\nNorth mast, rack 2 = top\n;NEWKEY\n;001A2B3C4D09\n" + ENC.encode("latin-1")})


def tone(peak):
    def sample(k):
        phase = k % 24
        value = peak if phase == 12 else round(peak * math.sin(2 * math.pi * phase / 48))
        return ((-value if k % 48 >= 24 else value) & 0xFFFFFF).to_bytes(3, "big")
    return b"".join(sample(k) for k in range(480))


write("level", {"tone-minus-6": tone(4204800), "tone-full": tone(8388607),
                "silence": bytes(1440), "short": tone(1000)[:100]})


def checksum(data):
    total = sum(struct.unpack(">%dH" % ((len(data) + 1) // 2), data + b"\0" * (len(data) % 2)))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def stamp(icmp):  # with its checksum filled in
    icmp = icmp[:2] + b"\0\0" + icmp[4:]
    return icmp[:2] + struct.pack(">H", checksum(icmp)) + icmp[4:]


def ipv4(source, destination, payload):
    header = struct.pack(">BBHHHBBH", 0x45, 0, 20 + len(payload), 1, 0, 64, 1, 0) + addr(source, destination)
    return header[:10] + struct.pack(">H", checksum(header)) + header[12:] + payload


# Header of each: destination, identifier, sequence, source, then origin,
# type, code and error number of a queued error.
DEST, ME, ROUTER = "198.18.0.21", "198.18.0.2", "198.18.0.1"
KEY = addr(DEST) + struct.pack(">HH", 0x1234, 7)
REQUEST = stamp(struct.pack(">BBHHH", 8, 0, 0, 0x1234, 7) + b"hello")
REPLY = stamp(struct.pack(">BBHHH", 0, 0, 0, 0x1234, 7) + b"hello")
QUOTED = ipv4(ME, DEST, REQUEST)[:28]
write("icmp", {
    "reply-datagram": KEY + addr(DEST) + bytes(4) + REPLY,
    "reply-raw": KEY + addr(DEST) + bytes(4) + ipv4(DEST, ME, REPLY),
    "unreachable-raw": KEY + addr(ROUTER) + bytes(4) + ipv4(ROUTER, ME, stamp(struct.pack(">BBHI", 3, 1, 0, 0) + QUOTED)),
    "ttl-datagram": KEY + addr(ROUTER) + bytes(4) + stamp(struct.pack(">BBHI", 11, 0, 0, 0) + QUOTED),
    "queued-icmp": KEY + addr(ROUTER) + bytes([2, 3, 1, 0]) + REQUEST[:8],
    "queued-local": KEY + addr(ROUTER) + bytes([1, 0, 0, 113])})

CONFIG = addr("198.18.0.21", "255.255.255.0", "198.18.0.1", "198.18.1.7") + bytes([1, 0, 1]) + b"STUDIO ENC 1    "
write("simcodec", {"encoder-35": CONFIG, "decoder-40": CONFIG + bytes([1, 5, 2, 100, 150]),
                   "address-text": b"198.18.0.21"})

# An ELEMENT line, then the KEY=VALUE lines of a set.
write("nmsctl", {"mac-decoder": b"02:00:c6:12:00:0c\nname=Tx b\nsdl=100\nsdt=220\nbuf=8\n",
                 "bare-mac-encoder": b"0200C612000B\nip=10.0.0.1\nINPUT=1\ntype=0",
                 "name-ambiguous": b" studio \ngw=198.18.0.256",
                 "address": b"198.18.0.012\nremote=198.18.0.11\nmask=255.255.0.0\ntx=1",
                 "refusals": b"TX SITE\nsdm=3\nname=\ncolour=red\nip"})

# What the ICMP helper reads from its parent: a request (version, address,
# identifier, sequence, payload length, payload); the answers it writes are
# fed to the parent's reader by the same harness.
HELPER_REQUEST = bytes([1]) + addr(DEST) + struct.pack(">HHB", 0x1234, 7, 5) + b"hello"
write("icmphelper", {
    "request": HELPER_REQUEST,
    "request-empty-payload": bytes([1]) + addr(DEST) + struct.pack(">HHB", 0x1234, 8, 0),
    "answer-reply": struct.pack(">BBBBHH", 1, 1, 0, 0, 0x1234, 7) + addr(DEST) + bytes(4)
    + struct.pack(">qq", 5_000_000_000, 5_000_300_000)})
