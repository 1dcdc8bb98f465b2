#!/usr/bin/env bash
# Regenerates the launcher's own binary resources (committed under resources/): the windowed build's
# 400 x 300, 8-bit splash bitmap, the console build's 1 x 1 monochrome placeholder, the group icon and
# the message table.
set -euo pipefail
cd "$(dirname "$0")/../resources"
font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
plain=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
# The splash is drawn without anti-aliasing in eight flat colours and stored run-length encoded: every
# row then takes a few runs, so the whole 400 x 300 image costs about 4.5 KiB of the launcher's size.
convert -size 400x300 xc:'#1d4e6f' -fill '#16324f' -draw 'rectangle 0,0 399,150' +antialias \
  -fill '#f4a259' -draw 'circle 70,80 70,40' \
  -fill '#f4f1de' -draw 'roundrectangle 52,62 88,98 6,6' \
  -fill '#16324f' -draw 'rectangle 60,70 80,90' \
  -fill white -font "$font" -pointsize 34 -annotate +120+95 'Harbor Desk' \
  -fill '#f4a259' -draw 'rectangle 40,210 360,214' \
  +dither -colors 8 -type Palette -depth 8 -compress RLE BMP3:splash.bmp
convert -size 1x1 xc:black -monochrome -type Bilevel BMP3:placeholder.bmp
# The icon's images are stored PNG-compressed (Windows reads icons in that form since Vista): 1.7 KiB
# instead of 15 KiB for the same three sizes.
for s in 16 32 48; do
  convert -size ${s}x${s} xc:none -fill '#2a6f97' -draw "roundrectangle 0,0 $((s-1)),$((s-1)) $((s/5)),$((s/5))" \
    -fill '#f4a259' -draw "circle $((s/2)),$((s/2)) $((s/2)),$((s/5))" -strip -define png:compression-level=9 \
    PNG32:/tmp/icon-$s.png
done
python3 - /tmp/icon-16.png /tmp/icon-32.png /tmp/icon-48.png <<'PY'
import struct, sys
images = [open(name, "rb").read() for name in sys.argv[1:]]
sizes = [16, 32, 48]
ico = struct.pack("<HHH", 0, 1, len(images))
offset = 6 + 16 * len(images)
for size, image in zip(sizes, images):
    ico += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
    offset += len(image)
open("app.ico", "wb").write(ico + b"".join(images))
PY
rm -f /tmp/icon-{16,32,48}.png

# Message table 1: two blocks of one ANSI entry each, 0x40000001 (information) and 0xC0000002 (error),
# both "%1" CR LF, so that the event log shows each record as the reported text itself.
#   header: block count; blocks: low id, high id, offset of the entries; entry: length, flags 0 (ANSI),
#   text padded with zeros to a multiple of four bytes.
entry='\x0c\x00\x00\x00%%1\r\n\x00\x00\x00\x00'
header='\x02\x00\x00\x00\x01\x00\x00\x40\x01\x00\x00\x40\x1c\x00\x00\x00\x02\x00\x00\xc0\x02\x00\x00\xc0\x28\x00\x00\x00'
printf "$header$entry$entry" > messages.bin
