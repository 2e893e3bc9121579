#!/bin/sh
# Builds the Debian package from this build tree, unpacks it into a scratch folder and checks
# what a user gets: the files, the package's dependencies, the manual page, and the unpacked
# quillane-batch converting a picture. Usage: deb-package-test.sh CPACK CPACK_CONFIG VERSION
set -eu
cpack=$1 config=$2 version=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$cpack" --config "$config" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; fail "cpack"; }
deb=$scratch/out/quillane_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $deb among: $(ls "$scratch/out")"

[ "$(dpkg-deb -f "$deb" Package Version Section)" = "Package: quillane
Version: $version
Section: graphics" ] || fail "control fields: $(dpkg-deb -f "$deb" Package Version Section)"
depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libjpeg62-turbo libstdc++6 qt6-qpa-plugins \
    'fonts-arphic-uming | fonts-noto-cjk'; do
    echo "$depends" | grep -qF "$d" || fail "Depends lacks $d: $depends"
done
outside=$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -v -e '^\./$' -e '^\./usr/' || true)
[ -z "$outside" ] || fail "files outside /usr: $outside"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
[ -x "$root/usr/bin/quillane" ] || fail "no usr/bin/quillane"
desktop=$root/usr/share/applications/quillane.desktop
grep -qx 'Exec=quillane' "$desktop" && grep -qx 'Icon=quillane' "$desktop" || fail "$desktop"
for size in 16 24 32 48 64 72 96 128; do
    icon=$root/usr/share/icons/hicolor/${size}x$size/apps/quillane.png
    [ "$(identify -format '%w %h' "$icon")" = "$size $size" ] || fail "icon $icon"
done
doc=$root/usr/share/doc/quillane
zcat "$doc/changelog.gz" | head -n 1 | grep -qF "quillane ($version) " || fail "changelog.gz"
grep -qx 'License: Expat' "$doc/copyright" && grep -q '^ Permission is hereby granted' "$doc/copyright" ||
    fail "copyright"
for page in quillane quillane-batch; do
    man=$root/usr/share/man/man1/$page.1.gz
    gzip -t "$man" && zcat "$man" | grep -q '^\.TH ' || fail "$man is not a gzip manual page"
done
# The page renders without a warning of groff and says what --help says. Its Chinese name needs
# a UTF-8 locale, which a minimal system or a container may not set (man then falls back to ASCII).
text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/quillane-batch.1.gz" 2>"$scratch/man.err")
[ ! -s "$scratch/man.err" ] || fail "man: $(cat "$scratch/man.err")"
for phrase in 'default 176' 'default 220' 'quality 90' 'EXIT STATUS'; do
    echo "$text" | grep -q "$phrase" || fail "manual page lacks '$phrase'"
done

batch=$root/usr/bin/quillane-batch
"$batch" --help | grep -q '^Usage: quillane-batch' || fail "unpacked --help"
mkdir "$scratch/pictures"
convert -size 40x30 gradient:red-blue "BMP3:$scratch/pictures/scan.bmp"
# Run-length data is Qt's to read, through the module the unpacked program finds in its lib folder.
convert -size 40x30 gradient:red-blue -colors 16 -type Palette -compress RLE "BMP3:$scratch/pictures/rle.bmp"
"$batch" --width 13 --height 7 "$scratch/pictures" 2>"$scratch/batch.err" ||
    fail "unpacked conversion: $(cat "$scratch/batch.err")"
for name in scan rle; do
    djpeg -pnm -outfile "$scratch/out.ppm" "$scratch/pictures/处理后$name.jpg" || fail "djpeg $name"
    [ "$(head -n 2 "$scratch/out.ppm" | tr '\n' ' ')" = "P6 13 7 " ] || fail "$name: output is not 13x7"
done
echo "ok: $(basename "$deb"), Depends: $depends"
