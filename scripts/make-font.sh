#!/usr/bin/env bash
# Regenerates resources/fonts/hysong.ttf: the Song-style face the window is
# drawn with, cut down from AR PL UMing CN to the characters of the window's
# own texts (the form, the program's messages) and printable ASCII, and
# renamed "HyTune Song" as a modified version of the original, with "宋体"
# as its Chinese family name. The program
# embeds it, so the window looks the same on every desktop and does not map a
# 20 MB font file to draw a few dozen characters; any other text (web tips)
# falls back to the installed CJK fonts.
#
# Needs fonttools (apt install fonttools) and fonts-arphic-uming. Run by hand
# after changing a Chinese text of the window; the output is committed and
# building needs neither. tests/gui/test_formfeatures.cpp fails when a text of
# the window has a character the face lacks.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
out="$here/resources/fonts"
source_font=/usr/share/fonts/truetype/arphic/uming.ttc
command -v pyftsubset >/dev/null || { echo "make-font: pyftsubset missing (apt install fonttools)" >&2; exit 1; }
[[ -f "$source_font" ]] || { echo "make-font: $source_font missing (apt install fonts-arphic-uming)" >&2; exit 1; }
index=$(fc-scan -f '%{index}|%{family}\n' "$source_font" | awk -F'|' '$2 == "AR PL UMing CN" {print $1; exit}')
[[ -n "$index" ]] || { echo "make-font: no AR PL UMing CN face in $source_font" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Every character outside ASCII in the form and the window's sources, and the
# fullwidth punctuation a Chinese text may use; all of printable ASCII.
/usr/bin/python3 - "$here" >"$tmp/text" <<'PY'
import pathlib, sys
root = pathlib.Path(sys.argv[1])
files = [root / "resources/tunemain.ui"]
for sub in ("src/shell", "src/core", "src/platform"):
    files += sorted((root / sub).rglob("*.cpp")) + sorted((root / sub).rglob("*.h"))
chars = set(chr(c) for c in range(0x20, 0x7F))
chars |= set("，。：；！？、（）《》“”‘’…—　")
for f in files:
    chars |= {c for c in f.read_text(encoding="utf-8") if ord(c) > 0x7F}
print("".join(sorted(chars)))
PY

pyftsubset "$source_font" --font-number="$index" --text-file="$tmp/text" \
    --layout-features="*" --drop-tables-=EBDT,EBLC \
    --output-file="$tmp/subset.ttf"

/usr/bin/python3 - "$tmp/subset.ttf" "$out/hysong.ttf" "$(date -u +%Y-%m-%d)" <<'PY'
import sys
from fontTools.ttLib import TTFont
font = TTFont(sys.argv[1])
names = font["name"]
family = "HyTune Song"
for record in list(names.names):
    if record.nameID in (1, 16):
        record.string = family
    elif record.nameID in (3,):
        record.string = family + " Light; subset"
    elif record.nameID in (4,):
        record.string = family + " Light"
    elif record.nameID in (6,):
        record.string = "HyTuneSong-Light"
# The window asks for "宋体": the face answers to that name too (as its
# Chinese family name), so Qt finds it by name and looks for installed
# fallback faces only when a text has a character the face lacks.
names.setName("宋体", 1, 3, 1, 0x804)
# The notice the font's licence asks of a modified file: how and when.
names.setName("Modified " + sys.argv[3] + ": subset of AR PL UMing CN cut down to the "
              "characters of the window of hytune (scripts/make-font.sh) and renamed "
              + family + ".", 10, 3, 1, 0x409)
font.save(sys.argv[2])
PY
cp /usr/share/doc/fonts-arphic-uming/copyright "$out/LICENSE.uming"
echo "make-font: $(wc -c <"$out/hysong.ttf") bytes, $(wc -m <"$tmp/text") characters"
