# Sourced by the test scripts.

# The rows that match a message match lodrix-playlist's English texts, and the system's own
# reasons in English: the language is set here, never taken from whoever runs the suite.
export LC_ALL=C.UTF-8
unset LANGUAGE

# skip REASON: the test cannot run here (exit 77), except in CI, where a skip could hide a
# missing install step and so fails.
skip() {
    if [ "${CI:-}" = true ]; then echo "FAIL in CI: $*" >&2; exit 1; fi
    echo "SKIP: $*" >&2
    exit 77
}

# need COMMAND... : skip unless every tool is installed.
need() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
    done
}

# write_wav FILE MS [SAMPLES]: MS milliseconds and SAMPLES eighths of one more of silence,
# 8-bit mono at 8000 Hz: a real file whose length VLC and FFmpeg read exactly.
write_wav() {
    data=$(($2 * 8 + ${3:-0}))
    {
        printf 'RIFF'; le32 $((data + 36)); printf 'WAVEfmt '; le32 16
        printf '\001\000\001\000'; le32 8000; le32 8000; printf '\001\000\010\000data'; le32 "$data"
        head -c "$data" /dev/zero | tr '\000' '\200'
    } >"$1"
}
le32() {
    n=$1
    for _ in 1 2 3 4; do
        printf "\\$(printf %03o $((n % 256)))"
        n=$((n / 256))
    done
}

# write_rip FOLDER LAYOUT ENCODING PERFORMER ALBUM FILES TITLES: FOLDER/rip.cue as a ripper
# writes it, and a WAV of 3 s for each of FILES (names separated by "|"). LAYOUT eac: REM
# GENRE, DATE, DISCID and COMMENT, a pregap (INDEX 00) before each later track of a file;
# foobar2000: REM lines of ReplayGain; both CR LF. ENCODING is python's name of a code page,
# utf-16 with the byte-order mark EAC writes, or utf-16-be with one; the FILE names are in it
# too. One file: tracks at 0, 1, 2 s, ... of it (3 s long, or a second for each), titled TITLES
# (separated by "|"); several: a track each. A FILE given as raw:NAME is named on disk in ENCODING's bytes, as an archive
# made on Windows unpacks; the others in UTF-8.
write_rip() {
    python3 - "$@" <<'PY'
import os, sys, wave
folder, layout, encoding, performer, album = sys.argv[1:6]
files, titles = sys.argv[6].split("|"), sys.argv[7].split("|")
os.makedirs(folder, exist_ok=True)
lines = ['REM GENRE "Pop"', "REM DATE 1998", "REM DISCID 8A0B6C0C"]
lines += ['REM COMMENT "ExactAudioCopy v1.6"'] if layout == "eac" else ["REM REPLAYGAIN_ALBUM_GAIN -6.54 dB"]
lines += [f'PERFORMER "{performer}"', f'TITLE "{album}"']
for n, title in enumerate(titles):
    name = files[min(n, len(files) - 1)]
    if n < len(files):
        lines.append(f'FILE "{name.replace("raw:", "", 1)}" WAVE')
    lines += [f"  TRACK {n + 1:02d} AUDIO", f'    TITLE "{title}"', f'    PERFORMER "{performer}"']
    if layout != "eac":
        lines.append("    REM REPLAYGAIN_TRACK_GAIN -7.12 dB")
    start = 0 if len(files) > 1 else n
    if layout == "eac" and start > 0:
        lines.append(f"    INDEX 00 00:{start - 1:02d}:60")
    lines.append(f"    INDEX 01 00:{start:02d}:00")
text = "".join(line + "\r\n" for line in lines)
mark = b"\xfe\xff" if encoding == "utf-16-be" else b""
with open(os.path.join(folder, "rip.cue"), "wb") as sheet:
    sheet.write(mark + text.encode(encoding))
for name in files:
    path = os.fsencode(folder) + b"/" + (name[4:].encode(encoding) if name.startswith("raw:") else name.encode())
    with open(path, "wb") as raw, wave.open(raw) as audio:
        audio.setnchannels(1), audio.setsampwidth(1), audio.setframerate(8000)
        audio.writeframes(b"\x80" * 8000 * (max(3, len(titles)) if len(files) == 1 else 3))
PY
}

# id3v2_latin1 FILE ENCODING TITLE ARTIST ALBUM: puts before FILE an ID3v2.3 tag whose frames
# are Latin-1 by their encoding byte and in ENCODING (python's name of a code page) by their
# bytes, as a tagger set to that code page writes them.
id3v2_latin1() {
    python3 -c 'import sys
path, encoding, *texts = sys.argv[1:]
frames = b"".join(key + (len(text.encode(encoding)) + 1).to_bytes(4, "big") + bytes(3) + text.encode(encoding)
                  for key, text in zip((b"TIT2", b"TPE1", b"TALB"), texts))
size = bytes((len(frames) >> shift) & 0x7F for shift in (21, 14, 7, 0))
audio = open(path, "rb").read()
open(path, "wb").write(b"ID3\3\0\0" + size + frames + audio)' "$@"
}

# id3v1 FILE ENCODING TITLE ARTIST ALBUM: appends to FILE an ID3v1 tag in ENCODING (python's
# name of a code page), as a tagger set to that code page writes it.
id3v1() {
    python3 -c 'import sys
path, encoding, *fields = sys.argv[1:]
texts = [field.encode(encoding)[:30].ljust(30, b"\0") for field in fields]
open(path, "ab").write(b"TAG" + b"".join(texts) + b"1988" + bytes(30) + b"\xff")' "$@"
}
