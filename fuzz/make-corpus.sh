#!/bin/sh
# Makes the starting corpus of each fuzz target in OUT/<target>/: small pictures of every kind
# the loader reads (JPEG baseline, progressive, grayscale, CMYK, restart markers, EXIF
# orientations, colour profiles; BMP of every header, depth and compression; PNG and GIF), drawn
# by ImageMagick and libjpeg-turbo's cjpeg, plus typed field values for the start button.
# Usage: fuzz/make-corpus.sh OUT
set -eu
out=${1:?usage: make-corpus.sh OUT}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

loader="$out/fuzz_picture_loader"
resize="$out/fuzz_resize_picture"
fields="$out/fuzz_start_button"
progressive="$out/fuzz_jpeg_progressive"
sequential="$out/fuzz_jpeg_sequential"
mkdir -p "$loader" "$resize" "$fields" "$progressive" "$sequential"

# A small picture with edges and colour, so the decoders have real work.
convert -size 24x16 gradient:red-blue -fill lime -draw 'rectangle 4,4 11,9' "$work/p.ppm"
convert "$work/p.ppm" -colorspace gray "$work/g.pgm"

cjpeg -quality 90 -outfile "$loader/baseline.jpg" "$work/p.ppm"
cjpeg -progressive -outfile "$loader/progressive.jpg" "$work/p.ppm"
cjpeg -grayscale -outfile "$loader/gray.jpg" "$work/g.pgm"
cjpeg -restart 1 -outfile "$loader/restart.jpg" "$work/p.ppm"
cjpeg -sample 1x1 -outfile "$loader/444.jpg" "$work/p.ppm"
cjpeg -arithmetic -outfile "$loader/arithmetic.jpg" "$work/p.ppm" 2>/dev/null || true
convert "$work/p.ppm" -colorspace CMYK "$loader/cmyk.jpg"
# Our progressive reader: progressive files at each sampling, DC scans interleaved or one
# component at a time with refinements, restart intervals, gray and CMYK.
printf '0: 0-0, 0, 1; 1: 0-0, 0, 0; 2: 0-0, 0, 0; 0: 1-63, 0, 0; 0: 0-0, 1, 0;' >"$work/scans"
for s in 1x1 2x1 2x2 1x2 4x1; do
    cjpeg -progressive -sample "$s" -restart 1 -outfile "$progressive/p$s.jpg" "$work/p.ppm"
done
cjpeg -scans "$work/scans" -sample 2x2 -restart 3B -outfile "$progressive/apart.jpg" "$work/p.ppm"
# Shrunk by four the same reader decodes the AC scans: bands in parts, AC refinements.
printf '0 1 2: 0-0, 0, 1; 0: 1-5, 0, 2; 1: 1-63, 0, 1; 2: 1-63, 0, 0; 0: 6-63, 0, 2; 0: 1-63, 2, 1; 0 1 2: 0-0, 1, 0; 1: 1-63, 1, 0; 0: 1-63, 1, 0;' >"$work/acscans"
cjpeg -scans "$work/acscans" -sample 2x1 -restart 2B -outfile "$progressive/ac.jpg" "$work/p.ppm"
cjpeg -progressive -grayscale -outfile "$progressive/gray.jpg" "$work/g.pgm"
convert "$work/p.ppm" -colorspace CMYK -interlace JPEG "$progressive/cmyk.jpg"
convert -size 80x64 gradient:white-black "$loader/shrinkable.jpg"
# Our sequential reader: baseline files at each sampling with restart intervals, a scan per
# component, optimised tables, gray, RGB and CMYK.
for s in 1x1 2x1 2x2 1x2 4x1; do
    cjpeg -sample "$s" -restart 1 -outfile "$sequential/s$s.jpg" "$work/p.ppm"
done
printf '0; 1; 2;' >"$work/apart"
cjpeg -scans "$work/apart" -sample 2x2 -restart 2B -outfile "$sequential/apart.jpg" "$work/p.ppm"
cjpeg -optimize -quality 100 -outfile "$sequential/optimized.jpg" "$work/p.ppm"
cjpeg -grayscale -restart 3B -outfile "$sequential/gray.jpg" "$work/g.pgm"
cjpeg -rgb -outfile "$sequential/rgb.jpg" "$work/p.ppm"
convert "$work/p.ppm" -colorspace CMYK "$sequential/cmyk.jpg"
# EXIF orientation: an APP1 block with the one tag, put right after the start marker.
for o in 3 6 8; do
    {
        printf '\377\330\377\341\000\042Exif\000\000MM\000\052\000\000\000\010'
        printf '\000\001\001\022\000\003\000\000\000\001\000'
        printf "\\$(printf %03o "$o")"
        printf '\000\000\000\000\000\000'
        tail -c +3 "$loader/baseline.jpg"
    } >"$loader/orient$o.jpg"
done

convert "$work/p.ppm" bmp3:"$loader/info24.bmp"
convert "$work/p.ppm" bmp2:"$loader/core24.bmp"
convert "$work/p.ppm" bmp:"$loader/v5.bmp"
convert "$work/p.ppm" -colors 2 -type palette bmp3:"$loader/bits1.bmp"
convert "$work/p.ppm" -colors 16 -type palette bmp3:"$loader/bits4.bmp"
convert "$work/p.ppm" -colors 200 -type palette bmp3:"$loader/bits8.bmp"
convert "$work/p.ppm" -colors 200 -type palette -compress RLE bmp3:"$loader/rle8.bmp"
convert "$work/p.ppm" -alpha on bmp:"$loader/bits32.bmp"
convert "$work/p.ppm" -define bmp:subtype=RGB565 bmp:"$loader/bits16.bmp"
convert "$work/p.ppm" "$loader/p.png"
# Colour profiles (Debian's colord-data): converted and embedded by ImageMagick.
icc=/usr/share/color/icc/colord
if [ -f "$icc/AdobeRGB1998.icc" ]; then
    tag="-profile $icc/sRGB.icc -profile"
    convert "$work/p.ppm" $tag "$icc/AdobeRGB1998.icc" "$loader/adobe.jpg"
    convert "$work/p.ppm" $tag "$icc/ProPhotoRGB.icc" -interlace JPEG "$loader/prophoto.jpg"
    convert "$work/p.ppm" $tag "$icc/SwappedRedAndGreen.icc" bmp:"$loader/v5-profile.bmp"
    convert "$work/p.ppm" $tag "$icc/SwappedRedAndGreen.icc" "$loader/profile.png"
    convert "$work/g.pgm" -profile "$icc/AdobeRGB1998.icc" "$loader/gray-rgb-profile.jpg"
    cp "$icc/SwappedRedAndGreen.icc" "$loader/swapped.icc"  # tried as a BMP's profile
fi
convert "$work/p.ppm" "$loader/p.gif"

# The conversion target reads two size bytes first: 40 x 31, then 16 x 1.
for f in baseline.jpg progressive.jpg cmyk.jpg orient6.jpg info24.bmp rle8.bmp bits16.bmp p.png; do
    { printf '\047\036'; cat "$loader/$f"; } >"$resize/$f"
done
{ printf '\017\000'; cat "$loader/gray.jpg"; } >"$resize/one-row.jpg"

# Fields as FuzzedDataProvider reads them: the first ends at a backslash and the one character
# after it; the second is the rest.
i=0
for pair in '176|220' ' 176 | 220 ' '176.5|177.5' '40000|220' '-5|7' '1e3|0' 'abc|1' '|' \
    '3.|.5' '+12|-0' '1E-2|32767' '32767|32767'; do
    i=$((i + 1))
    printf '%s\\x%s' "${pair%%|*}" "${pair#*|}" >"$fields/pair$i"
done

# Committed inputs that once broke something belong in every run.
if [ -d "$here/../tests/data/malformed" ]; then
    cp "$here"/../tests/data/malformed/* "$loader"/ 2>/dev/null || true
fi
echo "corpus: $(ls "$loader" | wc -l) pictures, $(ls "$resize" | wc -l) conversions, $(ls "$fields" | wc -l) field pairs in $out"
