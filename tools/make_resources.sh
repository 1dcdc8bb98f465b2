#!/usr/bin/env bash
# Regenerates the launcher's own binary resources (committed under resources/): the windowed build's
# 400 x 300, 8-bit splash bitmap (flat colours, run-length encoded, to keep the executable small), the console build's 1 x 1 monochrome placeholder, the group icon and the
# message table.
set -euo pipefail
cd "$(dirname "$0")/../resources"
font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
plain=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
convert -size 400x300 xc:'#1d4e6f' -fill '#16324f' -draw 'rectangle 0,0 399,150' \
  -fill '#f4a259' -draw 'circle 70,80 70,40' \
  -fill '#f4f1de' -draw 'roundrectangle 52,62 88,98 6,6' \
  -fill '#16324f' -draw 'rectangle 60,70 80,90' \
  -fill white -font "$font" -pointsize 34 -annotate +120+95 'Harbor Desk' \
  -fill '#d8e2dc' -font "$plain" -pointsize 15 -annotate +122+122 'Shipping schedules, made simple' \
  -fill '#f4a259' -draw 'rectangle 40,210 360,214' \
  -fill '#d8e2dc' -font "$plain" -pointsize 13 -annotate +40+245 'Starting the application...' \
  -fill '#9fb7c9' -font "$plain" -pointsize 11 -annotate +40+275 'Version 1.0' \
  +dither -colors 48 -type Palette -depth 8 -compress RLE BMP3:splash.bmp
convert -size 1x1 xc:black -monochrome -type Bilevel BMP3:placeholder.bmp
for s in 16 32 48; do
  convert -size ${s}x${s} xc:none -fill '#2a6f97' -draw "roundrectangle 0,0 $((s-1)),$((s-1)) $((s/5)),$((s/5))" \
    -fill '#f4a259' -draw "circle $((s/2)),$((s/2)) $((s/2)),$((s/5))" PNG32:/tmp/icon-$s.png
done
convert /tmp/icon-16.png /tmp/icon-32.png /tmp/icon-48.png app.ico
rm -f /tmp/icon-{16,32,48}.png

# Message table 1: two blocks of one ANSI entry each, 0x40000001 (information) and 0xC0000002 (error),
# both "%1" CR LF, so that the event log shows each record as the reported text itself.
#   header: block count; blocks: low id, high id, offset of the entries; entry: length, flags 0 (ANSI),
#   text padded with zeros to a multiple of four bytes.
entry='\x0c\x00\x00\x00%%1\r\n\x00\x00\x00\x00'
header='\x02\x00\x00\x00\x01\x00\x00\x40\x01\x00\x00\x40\x1c\x00\x00\x00\x02\x00\x00\xc0\x02\x00\x00\xc0\x28\x00\x00\x00'
printf "$header$entry$entry" > messages.bin
