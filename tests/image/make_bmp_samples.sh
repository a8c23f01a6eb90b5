#!/usr/bin/env bash
# Writes BMP files in every depth the decoder reads, made by ImageMagick rather than by onebox,
# each with ImageMagick's own decoding of it beside it as raw RGB rows, top row first:
#   make_bmp_samples.sh OUTDIR
# The pictures are deterministic (seeded plasma, gradients), with odd widths so that row
# padding is exercised.
set -euo pipefail
out=$1
convert=/usr/bin/convert
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

"$convert" -size 37x21 -seed 3 plasma:fractal "$tmp/photo.png"
"$convert" -size 61x9 -seed 11 plasma:fractal "$tmp/wide.png"
# Flat bands give RLE8 long runs, as screenshots and drawings do.
"$convert" -size 53x17 gradient:red-blue -posterize 24 "$tmp/bands.png"

make() { # name source format options...
    local name=$1 src=$2 format=$3
    shift 3
    "$convert" "$tmp/$src.png" "$@" "$format:$tmp/$name.bmp"
    "$convert" "$tmp/$name.bmp" -depth 8 "rgb:$tmp/$name.rgb"
}

make bits1 photo BMP3 -monochrome
make bits1_wide wide BMP3 -monochrome
make bits4 photo BMP3 -colors 12 -compress None
make bits4_wide wide BMP3 -colors 16 -compress None
make bits8 photo BMP3 -colors 200 -compress None
make bits8_wide wide BMP3 -colors 40 -compress None
make rle8 photo BMP3 -colors 200
make rle8_wide wide BMP3 -colors 40
make rle8_bands bands BMP3 -colors 24
# A later info header with the channel masks, the way ImageMagick writes 16 bits readably.
make bits16 photo BMP -define bmp:subtype=RGB555
make bits16_wide wide BMP -define bmp:subtype=RGB555
make bits24 photo BMP3 -type truecolor
make bits24_v5 wide BMP -type truecolor
make bits32 photo BMP -alpha set -channel A -evaluate set 50% +channel
make bits32_wide wide BMP -alpha set -channel A -evaluate set 80% +channel

mv "$tmp"/*.bmp "$tmp"/*.rgb "$out"/
