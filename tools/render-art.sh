#!/usr/bin/env bash
# Renders the artwork sources (res/art/*.svg) to the PNG resources in res/
# and builds the application icon. The PNGs are committed, so a build never
# needs this script; run it after changing a source and commit the result.
#   tools/render-art.sh [--check]
# --check only verifies that every PNG has the size its source declares.
set -euo pipefail
cd "$(dirname "$0")/.."
art=res/art

check_only=0
[[ "${1:-}" == "--check" ]] && check_only=1

for tool in rsvg-convert convert identify optipng; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

# The pixel size written in an SVG's root element.
svg_size() {
    local w h
    w=$(grep -o -m1 '<svg[^>]*' "$1" | grep -o ' width="[0-9]*"' | grep -o '[0-9]*')
    h=$(grep -o -m1 '<svg[^>]*' "$1" | grep -o ' height="[0-9]*"' | grep -o '[0-9]*')
    echo "${w}x${h}"
}

status=0
for svg in "$art"/img_*.svg; do
    name=$(basename "$svg" .svg)
    png=res/$name.png
    want=$(svg_size "$svg")
    if (( ! check_only )); then
        # 8-bit RGBA, no metadata chunks: small files that every decoder reads.
        rsvg-convert --format=png "$svg" -o "$png.tmp"
        convert "$png.tmp" -strip -define png:color-type=6 -define png:bit-depth=8 \
            -define png:compression-level=9 "PNG32:$png"
        rm -f "$png.tmp"
        # The same pixels in the same form, compressed harder: the images
        # ship inside the program.
        optipng -quiet -o7 -nc -nb -np -strip all "$png"
    fi
    got=$(identify -format '%wx%h' "$png")
    if [[ "$got" != "$want" ]]; then
        echo "$png: $got, expected $want" >&2
        status=1
    else
        printf '%-22s %-8s %6d bytes\n' "$png" "$got" "$(stat -c %s "$png")"
    fi
done

# Icon 107: a hand-tuned 16-pixel drawing, and the large drawing at 32 and 48.
if (( ! check_only )); then
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' EXIT
    rsvg-convert -w 16 -h 16 "$art/icon_16.svg" -o "$tmp/16.png"
    rsvg-convert -w 32 -h 32 "$art/icon.svg" -o "$tmp/32.png"
    rsvg-convert -w 48 -h 48 "$art/icon.svg" -o "$tmp/48.png"
    convert "$tmp/16.png" "$tmp/32.png" "$tmp/48.png" -strip res/icon.ico
    # The 48-pixel entry as PNG: 1.6 KB instead of 9.6 KB.
    optipng -quiet -o7 -nc -nb -np -strip all "$tmp/48.png"
    python3 "$(dirname "$0")/pack-icon.py" res/icon.ico "$tmp/48.png"
fi
sizes=$(identify -format '%wx%h ' res/icon.ico)
if [[ "$sizes" != "16x16 32x32 48x48 " ]]; then
    echo "res/icon.ico: $sizes, expected 16x16 32x32 48x48" >&2
    status=1
else
    printf '%-22s %-8s %6d bytes\n' res/icon.ico "16,32,48" "$(stat -c %s res/icon.ico)"
fi
exit $status
