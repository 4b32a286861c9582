#!/usr/bin/env bash
# Regenerates the pictures in resources/: the about-page picture (about.jpg,
# 800 x 920 baseline JPEG), the application icon (hytune.png, 32 x 32, and
# hytune.svg) and the desktop icons (icons/hicolor/NxN/apps/hytune.png).
# Needs ImageMagick 6 and the WenQuanYi Zen Hei font (fonts-wqy-zenhei). Run
# by hand only; the pictures are committed and building needs neither.
#
# Everything is drawn here from plain shapes; no outside artwork is used.
set -euo pipefail

res=$(cd "$(dirname "$0")/../resources" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

font=$(fc-list -f '%{file}\n' ':family=WenQuanYi Zen Hei' | head -n 1)
if [[ -z "$font" ]]; then
    echo "make-art: the font WenQuanYi Zen Hei is not installed (apt install fonts-wqy-zenhei)" >&2
    exit 1
fi

# Palette shared by the icon and the about picture.
teal=#12806a      # icon tile
teal_dark=#0c5f4f # icon tile, lower edge
navy=#0e2238      # about background, top
deep=#10404f      # about background, bottom
cream=#fbf7ee     # clock face
ink=#1c2b3a       # clock hands
amber=#f2a93b     # ring and sound waves
coral=#e4572e     # second hand

# Point on a circle: pt CX CY R DEG (degrees clockwise from 12 o'clock).
pt() { awk -v cx="$1" -v cy="$2" -v r="$3" -v d="$4" \
    'BEGIN { a = d * atan2(0, -1) / 180; printf "%.2f,%.2f", cx + r * sin(a), cy - r * cos(a) }'; }

# SVG path of a clockwise arc: arc CX CY R FROM TO (degrees as for pt).
arc() { echo "M $(pt "$1" "$2" "$3" "$4") A $3,$3 0 0,1 $(pt "$1" "$2" "$3" "$5")"; }

# The same arc as ImageMagick polyline points, one every 2 degrees (its own
# arc command closes the stroke back to the start point).
arcpts() { awk -v cx="$1" -v cy="$2" -v r="$3" -v from="$4" -v to="$5" 'BEGIN {
    for (d = from; d <= to + 1e-9; d += 2) {
        a = d * atan2(0, -1) / 180
        printf "%.2f,%.2f ", cx + r * sin(a), cy - r * cos(a)
    } }'; }

# ---------------------------------------------------------------------------
# Icon: a teal rounded tile, a cream clock face with an amber rim showing
# three o'clock, and two sound waves leaving it to the right. Drawn on a
# 256-unit grid; the same shapes go into the SVG and into the PNGs.

icon_shapes() { # icon_shapes svg|mvg [bold]; bold: heavier lines for the small sizes
    local cx=98 cy=128 r=70 rim=14 hand=15 wave=16
    if [[ ${2:-} == bold ]]; then
        cx=96 r=66 rim=16 hand=16 wave=22 # on the 8-unit pixel grid of 32 x 32
    fi
    local hour min
    hour="$(pt $cx $cy 0 0) $(pt $cx $cy 40 90)"
    min="$(pt $cx $cy 0 0) $(pt $cx $cy 50 0)"
    if [[ $1 == svg ]]; then
        cat <<EOF
<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">
  <defs>
    <linearGradient id="tile" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="$teal"/>
      <stop offset="1" stop-color="$teal_dark"/>
    </linearGradient>
  </defs>
  <rect x="12" y="12" width="232" height="232" rx="52" fill="url(#tile)"/>
  <circle cx="$cx" cy="$cy" r="$r" fill="$cream" stroke="$amber" stroke-width="$rim"/>
  <g stroke="$ink" stroke-width="$hand" stroke-linecap="round" fill="none">
    <polyline points="${min% *} ${min#* }"/>
    <polyline points="${hour% *} ${hour#* }"/>
  </g>
  <circle cx="$cx" cy="$cy" r="11" fill="$coral"/>
  <g stroke="$cream" stroke-width="$wave" stroke-linecap="round" fill="none">
    <path d="$(arc $cx $cy 96 56 124)"/>
    <path d="$(arc $cx $cy 122 56 124)" stroke-opacity="0.75"/>
  </g>
</svg>
EOF
    else
        # ImageMagick draw commands on the same grid (scaled by the caller).
        cat <<EOF
fill $cream stroke $amber stroke-width $rim circle $cx,$cy $cx,$((cy - r))
stroke $ink stroke-width $hand stroke-linecap round fill none
line ${min% *} ${min#* }
line ${hour% *} ${hour#* }
stroke none fill $coral circle $cx,$cy $cx,$((cy - 11))
stroke $cream stroke-width $wave stroke-linecap round stroke-linejoin round fill none
polyline $(arcpts $cx $cy 96 56 124)
stroke-opacity 0.75 polyline $(arcpts $cx $cy 122 56 124)
EOF
    fi
}

render_icon() { # render_icon SIZE OUT
    local size=$1 out=$2 big=$(($1 * 8)) weight=
    ((size <= 48)) && weight=bold
    local s
    s=$(awk -v b="$big" 'BEGIN { printf "%.5f", b / 256 }')
    # Tile with a vertical gradient, cut to a rounded square.
    convert -size "${big}x${big}" gradient:"$teal-$teal_dark" \
        \( -size "${big}x${big}" xc:black -fill white \
        -draw "affine $s,0,0,$s,0,0 roundrectangle 12,12 243,243 52,52" \) \
        -alpha off -compose CopyOpacity -composite -compose over \
        -draw "affine $s,0,0,$s,0,0 $(icon_shapes mvg $weight | tr '\n' ' ')" \
        -filter Box -resize "${size}x${size}" "$tmp/icon.png"
    mkdir -p "$(dirname "$out")"
    # The window icon has 256 colours at most (an indexed PNG with per-entry
    # alpha); the desktop sizes keep full 8-bit RGBA.
    local reduce=() format=PNG32
    if ((size == 32)); then
        reduce=(+dither -colors 256) format=png
    fi
    convert "$tmp/icon.png" -depth 8 "${reduce[@]}" -strip \
        -define png:exclude-chunks=date,time "$format:$out"
}

icon_shapes svg >"$res/hytune.svg"
render_icon 32 "$res/hytune.png"
for n in 48 64 128 256; do
    render_icon "$n" "$res/icons/hicolor/${n}x${n}/apps/hytune.png"
done

# ---------------------------------------------------------------------------
# About picture: a large clock face with sound waves on both sides, the
# program's name and its three uses, on a deep blue-green background.

W=800 H=920 cx=400 cy=345 r=225

{
    # Soft shadow under the face is drawn separately; here the face itself.
    echo "fill $cream stroke $amber stroke-width 22 circle $cx,$cy $cx,$((cy - r))"
    # Hour markers: bold bars, longer at 12, 3, 6 and 9.
    echo "stroke $ink stroke-linecap round fill none"
    for h in $(seq 0 11); do
        if ((h % 3 == 0)); then
            echo "stroke-width 16 line $(pt $cx $cy 190 $((h * 30))) $(pt $cx $cy 150 $((h * 30)))"
        else
            echo "stroke-width 11 line $(pt $cx $cy 190 $((h * 30))) $(pt $cx $cy 168 $((h * 30)))"
        fi
    done
    # Hands at about ten past ten, the second hand with a short tail.
    echo "stroke-width 24 line $(pt $cx $cy 22 125) $(pt $cx $cy 105 305)"
    echo "stroke-width 16 line $(pt $cx $cy 28 234) $(pt $cx $cy 150 54)"
    echo "stroke $coral stroke-width 7 line $(pt $cx $cy 44 396) $(pt $cx $cy 165 216)"
    echo "stroke none fill $coral circle $cx,$cy $cx,$((cy - 17))"
    echo "fill $cream circle $cx,$cy $cx,$((cy - 6))"
    # Sound waves, fading outwards, on both sides of the face.
    echo "fill none stroke $amber stroke-linecap round stroke-linejoin round stroke-width 18"
    op=(1.0 0.7 0.42)
    for i in 0 1 2; do
        rr=$((r + 52 + i * 42))
        echo "stroke-opacity ${op[i]} polyline $(arcpts $cx $cy $rr 62 118)"
        echo "stroke-opacity ${op[i]} polyline $(arcpts $cx $cy $rr 242 298)"
    done
} >"$tmp/clock.mvg"

# Equaliser bars under the text, like a short burst of speech.
{
    echo "fill $amber stroke none"
    heights=(10 18 30 46 62 40 24 52 70 52 24 40 62 46 30 18 10)
    n=${#heights[@]}
    x0=$((cx - (n * 22 - 10) / 2))
    for i in "${!heights[@]}"; do
        h=${heights[i]}
        x=$((x0 + i * 22))
        echo "fill-opacity 0.85 roundrectangle $x,$((850 - h / 2)) $((x + 12)),$((850 + h / 2)) 6,6"
    done
} >"$tmp/bars.mvg"

convert -size "${W}x${H}" gradient:"$navy-$deep" \
    \( -size "${W}x${H}" radial-gradient:'#2a8a86'-none -resize 130% -gravity north -crop "${W}x${H}+0+0" +repage \
    -channel A -evaluate multiply 0.55 +channel \) -gravity center -compose over -composite \
    \( -size "${W}x${H}" xc:none -fill '#000000a0' -draw "circle $cx,$((cy + 14)) $cx,$((cy - r + 2))" -blur 0x18 \) \
    -compose over -composite \
    -draw "$(<"$tmp/clock.mvg")" \
    -font "$font" -fill white -gravity north -pointsize 80 -annotate +0+625 '禾音语音报时器' \
    -fill '#bfe3dc' -pointsize 36 -annotate +0+740 '语音报时 · 倒计时 · 循环计时' \
    -gravity northwest -draw "$(<"$tmp/bars.mvg")" \
    -strip -sampling-factor 2x2 -interlace none -quality 85 "$res/about.jpg"

identify "$res/about.jpg" "$res/hytune.png" "$res"/icons/hicolor/*/apps/hytune.png
