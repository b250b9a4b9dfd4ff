#!/usr/bin/env bash
# The committed logo and icons are what tools/make-artwork.sh draws, byte for byte, and have the
# form the program relies on: a 640 x 640 baseline JPEG with three components, and 32-bit RGBA
# PNG icons of 256, 128, 64, 48, 32 and 16 pixels.
# Usage: test_artwork.sh PROGRAM SOURCE_DIR BINARY_DIR (the program is not used)
set -euo pipefail
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$source_dir/tools/make-artwork.sh" "$work"

status=0
outputs=(resources/logo.jpg)
for size in 256 128 64 48 32 16; do outputs+=("resources/icons/icon-$size.png"); done
for file in "${outputs[@]}"; do
  if ! cmp -s "$work/$file" "$source_dir/$file"; then
    echo "FAIL: $file differs from what the script draws" >&2
    status=1
  fi
done

# Walks the JPEG's markers up to the first scan: the frame header must be SOF0 (baseline).
python3 - "$source_dir/resources/logo.jpg" <<'EOF' || status=1
import sys
data = open(sys.argv[1], "rb").read()
assert data[:2] == b"\xff\xd8", "no JPEG start marker"
i = 2
while True:
    marker, length = data[i + 1], int.from_bytes(data[i + 2:i + 4], "big")
    if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
        height = int.from_bytes(data[i + 5:i + 7], "big")
        width = int.from_bytes(data[i + 7:i + 9], "big")
        found = (hex(marker), width, height, data[i + 9])
        if found != ("0xc0", 640, 640, 3):
            sys.exit("FAIL: logo frame (marker, width, height, components) = %s" % (found,))
        break
    if marker == 0xDA:
        sys.exit("FAIL: logo has no frame header before its scan")
    i += 2 + length
EOF

for size in 256 128 64 48 32 16; do
  file=$source_dir/resources/icons/icon-$size.png
  # IHDR: width, height, bit depth 8, colour type 6 (RGBA).
  got=$(python3 -c '
import sys
d = open(sys.argv[1], "rb").read()
print(int.from_bytes(d[16:20], "big"), int.from_bytes(d[20:24], "big"), d[24], d[25])' "$file")
  if [ "$got" != "$size $size 8 6" ]; then
    echo "FAIL: icon-$size.png is '$got' (width height depth colour-type), not 8-bit RGBA" >&2
    status=1
  fi
done

[ $status -eq 0 ] && echo "artwork: ok"
exit $status
