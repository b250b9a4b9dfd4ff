#!/usr/bin/env bash
# Draws the station's artwork and writes the pictures the program is built with:
#   resources/logo.jpg            640 x 640 baseline JPEG, three components (stored in the program)
#   resources/icons/icon-N.png    the window icon, N = 256 128 64 48 32 16, 32-bit RGBA PNG
# Everything is drawn here from primitives with ImageMagick 6 and the Open Sans font of the Debian
# package fonts-open-sans; no outside picture goes in. Metadata that would carry a date or the
# tool's name is stripped, so running the script again gives the same bytes.
# Usage: tools/make-artwork.sh [REPOSITORY_ROOT]
set -euo pipefail

root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
fonts=/usr/share/fonts/truetype/open-sans
bold=$fonts/OpenSans-Bold.ttf
semibold=$fonts/OpenSans-Semibold.ttf
for f in "$bold" "$semibold"; do
  [ -r "$f" ] || { echo "missing $f (apt-get install fonts-open-sans)" >&2; exit 1; }
done
command -v convert >/dev/null || { echo "missing convert (apt-get install imagemagick)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$root/resources/icons"

# No date chunks, no text chunks, no profile: identical bytes on every run.
png_clean=(-strip -define png:exclude-chunks=date,time,tEXt,zTXt,iTXt)

# Palette. The dark tones are the window's: 0x212121 and the panel fill 0x191412 (RGB 18, 20, 25).
panel='#121419'
window='#212121'
amber='#f0a63c'
amber_dark='#c9822a'
leaf1='#6dbb7a'
leaf2='#4fa063'
leaf3='#3b8552'
trunk='#7a5236'
ground='#2c4a36'
text='#ececec'

# The emblem, 640 x 640 with transparency: a ring (the "O" of Ormelund) holding a grove of three
# trees on a hill, with radio waves rising from the tallest one. Centre 320, 300; the ring reaches
# 237 pixels out, inside the square 80, 60 to 560, 540.
cx=320
cy=300

# One radio wave around the tip 320, 200: a band 13 pixels wide on radius $1, reaching $2 degrees
# either side of straight up, with round ends; as -draw primitives. (ImageMagick closes a stroked
# open path, so the band is drawn filled.)
wave() {
  awk -v r="$1" -v a="$2" 'BEGIN {
    w = 6.5; s = sin(a * 3.14159265 / 180); c = cos(a * 3.14159265 / 180)
    o = r + w; i = r - w
    printf "path '"'"'M %.2f,%.2f A %.2f,%.2f 0 0,1 %.2f,%.2f L %.2f,%.2f A %.2f,%.2f 0 0,0 %.2f,%.2f Z'"'"' ",
      320 - o * s, 200 - o * c, o, o, 320 + o * s, 200 - o * c,
      320 + i * s, 200 - i * c, i, i, 320 - i * s, 200 - i * c
    printf "circle %.2f,%.2f %.2f,%.2f ", 320 - r * s, 200 - r * c, 320 - r * s + w, 200 - r * c
    printf "circle %.2f,%.2f %.2f,%.2f", 320 + r * s, 200 - r * c, 320 + r * s + w, 200 - r * c }'
}

# The scene inside the ring: night sky, hill, trees, waves; then cut to the ring's inner disc.
convert -size 640x640 "radial-gradient:#2b2d33-$panel" \
  -fill "$ground" -draw "ellipse 320,610 330,170 0,360" \
  -fill "#35593f" -draw "ellipse 150,560 200,110 0,360" \
  -fill "$trunk" \
  -draw "roundrectangle 312,300 328,455 5,5" \
  -draw "roundrectangle 193,355 207,470 5,5" \
  -draw "roundrectangle 433,345 447,465 5,5" \
  -fill "$leaf3" \
  -draw "circle 200,340 200,268" \
  -draw "circle 168,380 168,332" \
  -draw "circle 232,382 232,334" \
  -fill "$leaf2" \
  -draw "circle 440,330 440,255" \
  -draw "circle 405,372 405,322" \
  -draw "circle 475,372 475,322" \
  -fill "$leaf1" \
  -draw "circle 320,290 320,205" \
  -draw "circle 280,332 280,274" \
  -draw "circle 360,332 360,274" \
  -fill "$amber" -draw "$(wave 40 48)" -draw "$(wave 70 44)" -draw "$(wave 100 40)" \
  -draw "circle 320,200 320,190" \
  "$work/scene.png"
convert -size 640x640 xc:none -fill white -draw "circle $cx,$cy $cx,$((cy - 212))" "$work/disc.png"
convert "$work/scene.png" "$work/disc.png" -alpha off -compose CopyOpacity -composite \
  "$work/inner.png"

# The ring: a darker rim under the amber band gives it some depth.
convert -size 640x640 xc:none -fill none \
  -stroke "$amber_dark" -strokewidth 26 -draw "circle $cx,$cy $cx,$((cy - 224))" \
  -stroke "$amber" -strokewidth 18 -draw "circle $cx,$cy $cx,$((cy - 226))" \
  "$work/ring.png"
convert "$work/inner.png" "$work/ring.png" -compose Over -composite "$work/emblem.png"

# The logo: the emblem on the window's dark tones, with the station's name below it.
convert "$work/emblem.png" -crop 480x480+80+60 +repage -resize 420x420 "$work/emblem-logo.png"
convert -size 640x640 "radial-gradient:$window-$panel" \
  "$work/emblem-logo.png" -geometry +110+40 -compose Over -composite \
  -font "$bold" -pointsize 66 -kerning 5 -fill "$text" -gravity north \
  -annotate +0+470 "ORMELUND" \
  -font "$semibold" -pointsize 30 -kerning 22 -fill "$amber" \
  -annotate +0+558 "RADIO" \
  -colorspace sRGB -type TrueColor -strip \
  -interlace none -sampling-factor 2x2,1x1,1x1 -quality 92 \
  "$root/resources/logo.jpg"

# The icon: the emblem alone (the name cannot be read at 16 pixels) on a rounded dark tile with
# transparent corners, drawn once at 1024 and filtered down to each size.
convert -size 1024x1024 xc:none -fill "$window" -draw "roundrectangle 8,8 1015,1015 180,180" \
  "$work/tile.png"
convert "$work/emblem.png" -crop 480x480+80+60 +repage -resize 900x900 "$work/emblem-big.png"
convert "$work/tile.png" "$work/emblem-big.png" -gravity center -compose Over -composite \
  "$work/icon-1024.png"
for size in 256 128 64 48 32 16; do
  convert "$work/icon-1024.png" -filter Lanczos -resize "${size}x${size}" "${png_clean[@]}" \
    "PNG32:$root/resources/icons/icon-$size.png"
done
