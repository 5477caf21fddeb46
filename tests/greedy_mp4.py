# An MP4 of a few hundred bytes whose sample table asks for gigabytes of index: one chunk of
# COUNT constant-size samples; with "sizes", a table of COUNT sizes that the file does not hold,
# which a demuxer allocates whole before it reads. Usage: greedy_mp4.py FILE COUNT [sizes]
import os, struct, sys
def box(kind, *parts): body = b"".join(parts); return struct.pack(">I", 8 + len(body)) + kind + body
def full(kind, *parts): return box(kind, b"\0\0\0\0", *parts)
count = int(sys.argv[2])
esds = full(b"esds", bytes.fromhex("03190000000411401500000000000000000000000000000502121006800102"))
mp4a = box(b"mp4a", b"\0" * 6, struct.pack(">HQHHHHI", 1, 0, 2, 16, 0, 0, 44100 << 16), esds)
# One chunk of count constant-size samples.
stbl = box(b"stbl", full(b"stsd", struct.pack(">I", 1), mp4a), full(b"stts", struct.pack(">III", 1, count, 1024)),
           full(b"stsc", struct.pack(">IIII", 1, 1, count, 1)), full(b"stsz", struct.pack(">II", 0 if sys.argv[3:] == ["sizes"] else 100, count)),
           full(b"stco", struct.pack(">II", 1, 0)))
minf = box(b"minf", full(b"smhd", b"\0" * 4), box(b"dinf", full(b"dref", struct.pack(">I", 1), full(b"url ", b""))), stbl)
mdia = box(b"mdia", full(b"mdhd", struct.pack(">IIIIHH", 0, 0, 44100, 44100, 0, 0)),
           full(b"hdlr", struct.pack(">I4s12x", 0, b"soun"), b"s\0"), minf)
tkhd = box(b"tkhd", b"\0\0\0\3", struct.pack(">IIIII8xHHHH36xII", 0, 0, 1, 0, 1000, 0, 0, 0x100, 0, 0, 0))
moov = box(b"moov", full(b"mvhd", struct.pack(">IIII", 0, 0, 1000, 1000), struct.pack(">IH10x36x24xI", 0x10000, 0x100, 2)),
           box(b"trak", tkhd, mdia))
os.makedirs(os.path.dirname(sys.argv[1]), exist_ok=True)
open(sys.argv[1], "wb").write(box(b"ftyp", b"M4A \0\0\0\0M4A mp42isom") + moov + box(b"mdat", b"\0" * 64))
