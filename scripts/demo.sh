#!/usr/bin/env bash
# The main job on the embedded default: a fresh machine state with the
# monitor installed, a sample page printed on the default printer, and what
# came out. Installs what is missing and builds first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh release >/dev/null
bin=$PWD/build/release/bin
root=${TW_ROOT:-$PWD/build/demo-root}
rm -rf "$root"
mkdir -p "$root"
export TW_ROOT=$root

echo "== a fresh machine in $root: the monitor, its port and the default printer"
"$bin/twspool" init
"$bin/twspool" printers
"$bin/twspool" ports --level 2

echo
echo "== the sample job: one page recorded as a metafile, written as the driver's command stream"
"$bin/twsample" "$root/sample.emf"
"$bin/twdriver" -o "$root/sample.twj" --printer "Tarnwick Printer" --dpi 300 "$root/sample.emf"
ls -l "$root/sample.emf" "$root/sample.twj" | awk '{print $5, $NF}'

echo
echo "== printed on the default printer through the port monitor"
"$bin/twspool" print --document "Sample page" "$root/sample.twj"

echo
echo "== what came out"
out="$root/drive_c/Users/Public/Documents/Tarnwick"
echo "The output folder C:\Users\Public\Documents\Tarnwick ($out):"
ls -l "$out" | awk 'NR > 1 {print $5, $NF}'
for f in "$out"/*.bmp; do
  [[ -e $f ]] || continue
  printf '%s: ' "$(basename "$f")"
  bmptopnm "$f" 2>/dev/null | pnmfile | sed 's/^stdin:[[:space:]]*//'
done
echo "The printer's document counter:"
"$bin/twreg" query 'HKU' /s 2>/dev/null | grep -E 'Tarnwick Printer$|LastDocNumber' || true
echo "The event log:"
"$bin/twspool" events --last 5 || true
