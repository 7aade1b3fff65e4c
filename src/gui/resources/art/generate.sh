#!/usr/bin/env bash
# Renders the program's pictures and icons from the SVG sources in this folder
# into ../png/. Run it after changing any SVG and commit the PNGs with it; the
# build only compiles the PNGs into the program.
# Needs: rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
out=../png
mkdir -p "$out"

# Button pictures: 32 x 32 with alpha, and 64 x 64 for screens of a higher pixel ratio.
for name in IDP_SETTINGS IDP_SHOW_LOGS IDP_MAKE_TRANSPARENT IDP_EXIT IDP_NEW_SESSION IDP_OPEN_SESSION; do
    rsvg-convert -w 32 -h 32 -f png -o "$out/$name.png" "$name.svg"
    rsvg-convert -w 64 -h 64 -f png -o "$out/$name@2x.png" "$name.svg"
done

# Icons in every size a window, a task bar and a tray ask for.
for name in A_MAIN IDI_MESSAGE IDI_EMPTY; do
    sizes="16 24 32 48 64 128 256"
    for size in $sizes; do
        rsvg-convert -w "$size" -h "$size" -f png -o "$out/${name}_$size.png" "$name.svg"
    done
done
