#!/bin/sh
# Compares the stretching filter's kernels on real photographs against ImageMagick's Lanczos
# resize of the full-resolution picture, and times the stretch. Bench only: the photographs are
# fetched here (Debian's wallpaper packages), cached outside the repository, never committed.
#
#   bench/quality/run.sh [BUILD_DIR] [WIDTH HEIGHT]
#
# BUILD_DIR holds a release build of the raster library (default: build). Needs imagemagick
# and libjpeg-turbo-progs; vipsthumbnail and gm are compared too when installed.
set -eu

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$repo/build}" && pwd)
width=${2:-176}
height=${3:-220}
cache=${QUILLANE_BENCH_CACHE:-$HOME/.cache/quillane-bench}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$cache"
for package in mate-backgrounds lomiri-wallpapers-20.04; do
    if ! ls "$cache"/${package}_*.deb >/dev/null 2>&1; then
        (cd "$cache" && apt-get download "$package")
    fi
    [ -d "$cache/x/$package" ] || dpkg-deb -x "$cache"/${package}_*.deb "$cache/x/$package"
done

driver=$work/stretch_driver
g++ -O2 -std=c++20 -I"$repo" "$repo/bench/quality/stretch_driver.cpp" \
    "$build/libquillane_raster.a" "$build/libquillane_base.a" -o "$driver"

psnr() {  # PSNR of $1 against $2 in dB ("inf" for identical pictures counts as 99)
    value=$(compare -metric PSNR "$1" "$2" null: 2>&1 || true)
    case $value in inf*) echo 99 ;; *) echo "$value" ;; esac
}

# The DCT scale the picture loader decodes at: the smallest of 1/8, 1/4, 1/2 that keeps at
# least twice the target size in each direction, else full size.
dct_scale() {
    for denominator in 8 4 2; do
        if [ $(( ($1 + denominator - 1) / denominator )) -ge $((2 * width)) ] &&
           [ $(( ($2 + denominator - 1) / denominator )) -ge $((2 * height)) ]; then
            echo "1/$denominator"; return
        fi
    done
    echo "1/1"
}

filters="lanczos3 lanczos2 mitchell"
results=$work/results
: >"$results"
find "$cache/x" -iname '*.jpg' | sort >"$work/photos"
echo "photos: $(wc -l <"$work/photos"), target ${width}x${height}"
while read -r photo; do
    name=$(basename "$photo" .jpg)
    ref=$cache/ref-${width}x${height}-$name.png
    [ -f "$ref" ] || convert "$photo" -auto-orient -filter Lanczos -resize "${width}x${height}!" "$ref"
    # djpeg does not apply an EXIF orientation; such pictures would be compared rotated.
    orientation=$(identify -format '%[orientation]' "$photo" 2>/dev/null || true)
    case $orientation in TopLeft | Undefined | "") ;; *) echo "skip $name: $orientation"; continue ;; esac
    # shellcheck disable=SC2046 # two numbers, split on purpose
    set -- $(identify -format '%w %h' "$photo")
    scale=$(dct_scale "$1" "$2")
    for mode in scaled full; do
        if [ $mode = scaled ]; then djpeg -scale "$scale" -ppm "$photo" >"$work/in.ppm"
        else djpeg -ppm "$photo" >"$work/in.ppm"; fi
        for filter in $filters; do
            "$driver" stretch "$filter" "$work/in.ppm" "$work/out.ppm" "$width" "$height"
            cjpeg -quality 90 "$work/out.ppm" >"$work/out.jpg"
            cjpeg -quality 90 -sample 1x1 "$work/out.ppm" >"$work/out444.jpg"
            echo "$mode-$filter $(psnr "$work/out.ppm" "$ref") $(psnr "$work/out.jpg" "$ref")" \
                "$(psnr "$work/out444.jpg" "$ref")" >>"$results"
        done
    done
    if command -v vipsthumbnail >/dev/null; then
        vipsthumbnail "$photo" --size "${width}x${height}!" -o "$work/vips.jpg[Q=90]"
        echo "vipsthumbnail - - $(psnr "$work/vips.jpg" "$ref")" >>"$results"
    fi
    if command -v gm >/dev/null; then
        gm convert -size "${width}x${height}" "$photo" -resize "${width}x${height}!" -quality 90 "$work/gm.jpg"
        echo "graphicsmagick - - $(psnr "$work/gm.jpg" "$ref")" >>"$results"
    fi
    echo "$name ${1}x$2 decoded at $scale"
done <"$work/photos"

echo
echo "mean PSNR (dB) against ImageMagick -filter Lanczos -resize ${width}x${height}! of the full picture"
echo "(q90 4:2:0 is cjpeg's default; 4:4:4 is -sample 1x1; the other tools' own q90 output is"
echo " listed under 4:4:4, which is what vipsthumbnail and GraphicsMagick choose at quality 90)"
printf '%-22s %10s %14s %14s %4s\n' contender stretched "q90 4:2:0" "q90 4:4:4" n
awk 'function show(v) { return v == "" ? "-" : sprintf("%.2f", v) }
     { n[$1]++; for (i = 2; i <= 4; i++) if ($i != "-") sum[$1, i] += $i }
     END { for (k in n) printf "%-22s %10s %14s %14s %4d\n", k,
           show(sum[k, 2] == "" ? "" : sum[k, 2] / n[k]), show(sum[k, 3] == "" ? "" : sum[k, 3] / n[k]),
           show(sum[k, 4] / n[k]), n[k] }' "$results" | sort
echo
"$driver" time
