#!/usr/bin/env python3
"""Writes the seed corpus of each harness from the real formats: feedback as
elements send it, nms.ini as the program writes it, level datagrams of a test
tone, ICMP echo answers and errors, configuration packets. Only the seed-*
files are (re)written; reproducers kept beside them stay."""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(harness, name, data):
    folder = os.path.join(HERE, "corpus", harness)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "seed-" + name), "wb") as f:
        f.write(data)


def addr(text):
    return bytes(int(p) for p in text.split("."))


def common(ip, name, role, serial):
    return (addr(ip) + addr("255.255.255.0") + addr("198.18.0.1") + addr("198.18.1.7")
            + bytes([1, 0, 1]) + name.ljust(16).encode("latin-1") + bytes([role])
            + struct.pack(">I", serial))


def feedback():
    encoder = common("198.18.0.21", "Studio enc 1", 1, 123456) + bytes([3, 4, 1, 6])
    decoder = common("198.18.0.22", "TX site dec", 2, 0x80000001) + bytes([30, 3, 4, 1, 5, 2, 100, 150])
    write("feedback", "encoder-44", encoder)
    write("feedback", "decoder-48", decoder)
    write("feedback", "decoder-41", decoder[:41])
    write("feedback", "encoder-40", encoder[:40])
    write("feedback", "role0-46", common("198.18.0.23", "unset", 0, 7) + bytes([2, 0, 0, 0, 0, 0]))


def ini():
    enc = ("[001A2B3C4D01]\nNAME=STUDIO ENC 1    \nIP=198.18.0.21\nMASK=255.255.255.0\n"
           "GW=198.18.0.1\nREMOTE=198.18.1.7\nINPUT=1\nTYPE=0\nTX=1\nROLE=1\nSN=123456\n"
           "VER=3.4\nSFN=1\nBUF=6\n")
    dec = ("[001A2B3C4D02]\nNAME=TX SITE DEC     \nIP=198.18.0.22\nMASK=255.255.255.0\n"
           "GW=198.18.0.1\nREMOTE=198.18.0.21\nINPUT=0\nTYPE=0\nTX=0\nROLE=2\nSN=2147483649\n"
           "VER=3.4\nSFN=1\nBUF=5\nATT=30\nSDM=2\nSDL=100\nSDT=150\n")
    write("ini", "database", (enc + dec).encode("latin-1"))
    write("ini", "database-crlf", (enc + dec).replace("\n", "\r\n").encode("latin-1"))
    write("ini", "hand-edited",
          b"\xef\xbb\xbf; elements of the north site\n\n[001A2B3C4D01]\n  name = Studio  \n"
          b"ip=198.18.0.21\n; moved\nbare line\n\n[001a2b3c4d01]\nIP=198.18.0.99\n[]\nX=1\n")
    # The lines before the first section name the writes: new key, value,
    # new key name, new section name.
    # The same layout aimed at the store's known weak spots: a key that reads
    # as a header, keys whose upper case leaves Latin-1, a rename to a name
    # that folds to the old one.
    write("ini", "param-key-like-header", b";[T]\nv\n;NEWKEY\n;U\n[S]\nK=1\n[T]\nK=2\n")
    write("ini", "param-latin1-keys", b";\xff\xb5\xdf\nv\n;\xb5\n;s\n[S]\n\xff=1\n\xb5=2\n")
    write("ini", "param-rename-same-name", b"K\nv\n;k\n;a\x00b\n[a b]\nK=1\nK=2\n")
    write("ini", "parameters",
          b";LOCATION\nNorth mast, rack 2 = top\n;NEWKEY\n;001A2B3C4D09\n" + enc.encode("latin-1"))


def tone(peak):
    samples = []
    for k in range(480):
        phase = k % 48
        sign = -1 if phase >= 24 else 1
        phase %= 24
        value = peak if phase == 12 else round(peak * math.sin(2 * math.pi * phase / 48))
        samples.append((sign * value) & 0xFFFFFF)
    return b"".join(struct.pack(">I", s)[1:] for s in samples)


def level():
    write("level", "tone-minus-6", tone(4204800))
    write("level", "tone-full", tone(8388607))
    write("level", "silence", bytes(1440))
    write("level", "short", tone(1000)[:100])


def checksum(data):
    if len(data) % 2:
        data += b"\0"
    total = sum(struct.unpack(">%dH" % (len(data) // 2), data))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def stamp(icmp):
    icmp = icmp[:2] + b"\0\0" + icmp[4:]
    return icmp[:2] + struct.pack(">H", checksum(icmp)) + icmp[4:]


def ipv4(source, destination, payload):
    header = struct.pack(">BBHHHBBH4s4s", 0x45, 0, 20 + len(payload), 1, 0, 64, 1, 0,
                         addr(source), addr(destination))
    return header[:10] + struct.pack(">H", checksum(header)) + header[12:] + payload


def icmp():
    destination, ident, seq = "198.18.0.21", 0x1234, 7
    key = addr(destination) + struct.pack(">HH", ident, seq)
    request = stamp(struct.pack(">BBHHH", 8, 0, 0, ident, seq) + b"hello")
    reply = stamp(struct.pack(">BBHHH", 0, 0, 0, ident, seq) + b"hello")
    quoted = ipv4("198.18.0.2", destination, request)[:28]
    unreachable = stamp(struct.pack(">BBHI", 3, 1, 0, 0) + quoted)
    exceeded = stamp(struct.pack(">BBHI", 11, 0, 0, 0) + quoted)
    # Header: key, source, then origin, type, code, error number of a queued error.
    write("icmp", "reply-datagram", key + addr(destination) + bytes(4) + reply)
    write("icmp", "reply-raw", key + addr(destination) + bytes(4) + ipv4(destination, "198.18.0.2", reply))
    write("icmp", "unreachable-raw", key + addr("198.18.0.1") + bytes(4) + ipv4("198.18.0.1", "198.18.0.2", unreachable))
    write("icmp", "ttl-datagram", key + addr("198.18.0.1") + bytes(4) + exceeded)
    write("icmp", "queued-icmp", key + addr("198.18.0.1") + bytes([2, 3, 1, 0]) + request[:8])
    write("icmp", "queued-local", key + addr("198.18.0.1") + bytes([1, 0, 0, 113]))


def simcodec():
    config = (addr("198.18.0.21") + addr("255.255.255.0") + addr("198.18.0.1") + addr("198.18.1.7")
              + bytes([1, 0, 1]) + b"STUDIO ENC 1    ")
    write("simcodec", "encoder-35", config)
    write("simcodec", "decoder-40", config + bytes([1, 5, 2, 100, 150]))
    write("simcodec", "address-text", b"198.18.0.21")


def nmsctl():
    # An ELEMENT line, then the KEY=VALUE lines of a set.
    write("nmsctl", "mac-decoder", b"02:00:c6:12:00:0c\nname=Tx b\nsdl=100\nsdt=220\nbuf=8\n")
    write("nmsctl", "bare-mac-encoder", b"0200C612000B\nip=10.0.0.1\nINPUT=1\nbound=2")
    write("nmsctl", "name-ambiguous", b" studio \ngw=198.18.0.256")
    write("nmsctl", "address", b"198.18.0.012\nremote=198.18.0.11\nmask=255.255.0.0\ntx=1")
    write("nmsctl", "refusals", b"TX SITE\nsdm=3\nname=\ncolour=red\nip")


feedback()
nmsctl()
ini()
level()
icmp()
simcodec()
