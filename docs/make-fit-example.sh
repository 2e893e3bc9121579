#!/bin/sh
# Makes docs/fit-stretch-vs-cover.png: a 3:4 portrait made 4:5 (240 x 300) by quillane-batch,
# stretched as the window does (left) and with --fit cover (right), side by side.
#
# Usage: docs/make-fit-example.sh [path/to/quillane-batch]   (default: build/quillane-batch)
# Needs: imagemagick (convert, montage) and the DejaVu Sans font for the captions.
set -eu

docs=$(cd "$(dirname "$0")" && pwd)
batch=$(realpath "${1:-$docs/../build/quillane-batch}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out=$docs/fit-stretch-vs-cover.png

# The portrait: a round face, shoulders and a grid, so that squashing shows at a glance.
mkdir "$work/photos"
convert -size 600x800 xc:'#438edb' \
    -stroke '#6fa8e4' -strokewidth 2 \
    -draw 'path "M 0,100 L 600,100 M 0,300 L 600,300 M 0,500 L 600,500 M 0,700 L 600,700"' \
    -draw 'path "M 100,0 L 100,800 M 300,0 L 300,800 M 500,0 L 500,800"' \
    -stroke none -fill '#2d3a4a' -draw 'ellipse 300,800 260,190 180,360' \
    -fill '#3b2a20' -draw 'circle 300,355 300,160' \
    -fill '#f1c9a5' -draw 'rectangle 262,520 338,640' -draw 'circle 300,390 300,230' \
    -fill '#2b2b2b' -draw 'circle 240,390 240,404' -draw 'circle 360,390 360,404' \
    -fill none -stroke '#a0524a' -strokewidth 6 -draw 'arc 255,430 345,490 20,160' \
    -quality 95 "$work/photos/portrait.jpg"

for fit in stretch cover; do
    "$batch" --width 240 --height 300 --fit "$fit" --prefix "$fit-" --output "$work/out" \
        "$work/photos"
done
montage -font DejaVu-Sans -pointsize 15 \
    -label 'stretched (today)' "$work/out/stretch-portrait.jpg" \
    -label '--fit cover' "$work/out/cover-portrait.jpg" \
    -tile 2x1 -geometry +8+6 -background white "$work/pair.png"
convert "$work/pair.png" -strip -colors 64 -define png:compression-level=9 "$out"
echo "wrote $out"
