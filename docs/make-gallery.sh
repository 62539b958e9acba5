#!/usr/bin/env bash
# Redraws the pictures of docs/effects.md: runs the demo and keeps each of
# its stills as a 160x120 PNG with a 128-colour palette (about 12 kB each).
# Usage: docs/make-gallery.sh [path/to/quexal]   (default: build/quexal)
set -euo pipefail
cd "$(dirname "$0")/.."
exe=${1:-build/quexal}
command -v convert >/dev/null || { echo "make-gallery: needs ImageMagick (scripts/setup.sh)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! "$exe" demo --out "$work" >"$work.log" 2>&1; then
  cat "$work.log" >&2
  exit 1
fi
rm -f "$work.log"
out=docs/effects
rm -rf "$out"
mkdir -p "$out"
for still in "$work"/*_f[0-9]*.png "$work"/sample_*.png; do
  name=$(basename "$still")
  [[ $name == *_f62.png ]] && continue  # three frames show the sway well enough
  name=${name/_f45.png/.png}  # the showcase frame needs no number
  convert "$still" -resize 160x120 -strip -colors 128 "PNG8:$out/$name"
done
echo "make-gallery: $(ls "$out" | wc -l) pictures, $(du -sh "$out" | cut -f1) in $out"
