#!/bin/sh
# Captures docs/window.png: the real window on a virtual X display, opened in a small demo
# folder of three pictures so the picture every run gives is the same.
#
# Usage: docs/make-screenshot.sh [path/to/quillane]        (default: build/quillane)
# Needs: xvfb (xvfb-run), imagemagick (import, convert), x11-utils (xwininfo).
# The picture is the window's client area: no window manager runs on the virtual display, so
# the frame and title bar (drawn by the desktop, not by Quillane) are not part of it.
set -eu

docs=$(cd "$(dirname "$0")" && pwd)
binary=$(realpath "${1:-$docs/../build/quillane}")
demo=${TMPDIR:-/tmp}/quillane-demo
out=$docs/window.png

# The window starts in the program's own folder: give it one with three pictures.
rm -rf "$demo"
mkdir -p "$demo/holiday" "$demo/scans"
cp "$binary" "$demo/quillane"
for colour in red green blue; do
    convert -size 64x48 "xc:$colour" "$demo/$colour.jpg"
done

export QUILLANE_DEMO="$demo" QUILLANE_SHOT="$out"
xvfb-run -a -s "-screen 0 520x440x24" sh -c '
    set -eu
    "$QUILLANE_DEMO/quillane" &
    app=$!
    tries=0
    until xwininfo -name "QuillaneV1.0" >/dev/null 2>&1; do
        tries=$((tries + 1))
        [ "$tries" -lt 100 ] || { echo "the window did not appear" >&2; kill "$app"; exit 1; }
        sleep 0.1
    done
    sleep 1  # let the widgets paint
    window=$(xwininfo -name "QuillaneV1.0" | awk "/Window id:/ { print \$4 }")
    import -window "$window" "$QUILLANE_SHOT"
    kill "$app"
'
rm -rf "$demo"
echo "wrote $out"
