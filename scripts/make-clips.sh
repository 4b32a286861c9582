#!/usr/bin/env bash
# Regenerates the 23 speech clips in resources/clips from espeak-ng's Mandarin
# pinyin voice and sox. Run by hand only; the clips are committed and building
# needs neither tool.
#
# Every clip: RIFF WAVE, PCM, mono, 22050 Hz, 16-bit, 44-byte header, data of
# exactly the length in the table below (silence trimmed, then padded).
set -euo pipefail

out=$(cd "$(dirname "$0")/../resources/clips" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# index  data-bytes  pinyin (tone-numbered)  espeak pitch
clips=(
    "0 20830 ling2 50" "1 21982 yi1 50" "2 16222 er4 50" "3 30000 san1 50"
    "4 23134 si4 50" "5 30046 wu3 50" "6 19678 liu4 50" "7 27742 qi1 50"
    "8 20830 ba1 50" "9 28894 jiu3 50" "10 27742 shi2 50" "11 24286 xian4 50"
    "12 17374 zai4 50" "13 32350 jian1 50" "14 40000 dian3 50" "15 31198 zheng3 50"
    "16 17374 ban4 50" "17 27742 fen1 42" "18 18526 hai2 50" "19 18526 you3 50"
    "20 28894 fen1 50" "21 24286 zhong1 50"
)

fit() { # fit IN OUT BYTES: trim silence, squeeze if too long, pad to exactly BYTES of data
    local in=$1 dst=$2 bytes=$3 frames=$(($3 / 2))
    sox "$in" "$tmp/trim.wav" silence 1 0.005 0.5% reverse silence 1 0.005 0.5% reverse
    local have
    have=$(soxi -s "$tmp/trim.wav")
    local src="$tmp/trim.wav"
    if ((have > frames - 220)); then # leave 10 ms of tail at least
        sox "$tmp/trim.wav" "$tmp/tempo.wav" tempo -s "$(echo "scale=4; $have / ($frames - 220)" | bc)"
        src="$tmp/tempo.wav"
    fi
    sox -D "$src" -r 22050 -c 1 -b 16 -e signed-integer -t wavpcm "$dst" pad 0 2 trim 0 "${frames}s"
}

for entry in "${clips[@]}"; do
    read -r index bytes word pitch <<<"$entry"
    espeak-ng -v cmn-latn-pinyin+f3 -p "$pitch" -w "$tmp/raw.wav" "$word"
    fit "$tmp/raw.wav" "$out/WAV$index.wav" "$bytes"
done

# 22: the built-in last-second alert, a short tone.
sox -D -r 22050 -c 1 -n -b 16 -e signed-integer -t wavpcm "$out/WAV22.wav" \
    synth 0.454 sine 1318.5 fade q 0.005 0.454 0.40 vol 0.5 trim 0 10000s

# WAV0 carries metadata after its samples (an INFO list and an ID3 tag), as
# clips exported from sound editors do; the player must skip such chunks.
python3 - "$out/WAV0.wav" <<'PY'
import struct, sys
path = sys.argv[1]
data = open(path, "rb").read()
assert data[36:40] == b"data" and len(data) == 44 + struct.unpack("<I", data[40:44])[0]
info = b"INFO"
for key, text in ((b"INAM", b"ling2"), (b"ISFT", b"espeak-ng + sox (hytune make-clips.sh)")):
    text += b"\0" * (2 - len(text) % 2 if len(text) % 2 else 2)
    info += key + struct.pack("<I", len(text)) + text
info += b"\0" * (256 - len(info))
assert len(info) == 256
tag = b"ID3\x03\x00\x00" + bytes([0, 0, 4, 55])  # ID3v2.3, size 567 (syncsafe)
title = b"\0ling2"
tag += b"TIT2" + struct.pack(">I", len(title)) + b"\0\0" + title
tag += b"\0" * (573 - len(tag))
assert len(tag) == 573
data += b"LIST" + struct.pack("<I", 256) + info + b"id3 " + struct.pack("<I", 573) + tag + b"\0"
data = data[:4] + struct.pack("<I", len(data) - 8) + data[8:]
open(path, "wb").write(data)
PY

ls -l "$out"
