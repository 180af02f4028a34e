#!/usr/bin/env bash
# The main job on the embedded default: a fresh machine state with the
# monitor installed, a real multi-page document (a public-domain text typeset
# by twdriver, then the sample page) printed on the default printer as one
# multipage TIFF Group 4 file, a PDF and PNG pages, and what came out.
# Installs what is missing and builds first. A format whose job fails is
# reported as failed, and the script exits 1 after showing everything.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh release >/dev/null
bin=$PWD/build/release/bin
root=${TW_ROOT:-$PWD/build/demo-root}
rm -rf "$root"
mkdir -p "$root"
root=$(cd "$root" && pwd)
export TW_ROOT=$root
text=$PWD/docs/demo/declaration-of-independence.txt
out="$root/drive_c/Users/Public/Documents/Tarnwick"
printer="Tarnwick Printer"

echo "== a fresh machine in $root: the monitor, its port and the default printer"
"$bin/twspool" init
"$bin/twspool" printers
"$bin/twspool" ports --level 2

echo
echo "== the document: $(basename "$text") typeset in Courier New 10 pt, then the sample page"
"$bin/twsample" "$root/sample.emf"
# One job per format, written as the driver writes it: the same pages, each
# job's record naming its format (code 7 with the multipage switch: one TIFF
# file of Group 4 images; 36 with it: one PDF; 24: PNG, a file per page).
driver() {  # driver JOB FIELD=VALUE...
  local job=$1
  shift
  local sets=()
  for s in "$@"; do sets+=(--set "$s"); done
  "$bin/twdriver" -o "$root/$job.twj" --printer "$printer" --dpi 300 "${sets[@]}" "$text" "$root/sample.emf"
}
driver tiff FileFormat=7 Flags=32
driver pdf FileFormat=36 Flags=32
driver png FileFormat=24

echo
echo "== printed on the default printer through the port monitor (the jobs share its port: one after another)"
set +e
"$bin/twspool" print --quiet --document "Declaration TIFF G4" "$root/tiff.twj" --document "Declaration PDF" \
  "$root/pdf.twj" --document "Declaration PNG" "$root/png.twj" | tee "$root/print.txt"
set -e
# Should the vector PDF fail: the image PDF of the same pages instead, and say so.
if grep -q "failed.*pdf.twj" "$root/print.txt"; then
  echo "(vector PDF, code 36, failed: printing the image PDF, code 20, instead)"
  driver pdf20 FileFormat=20 Flags=32
  set +e
  "$bin/twspool" print --quiet --document "Declaration PDF image" "$root/pdf20.twj" | tee -a "$root/print.txt"
  set -e
fi

echo
echo "== what came out"
echo "The output folder C:\\Users\\Public\\Documents\\Tarnwick:"
echo "  $out"
for f in "$out"/*; do
  if [[ -f $f ]]; then printf '  %10d  %s\n' "$(stat -c %s "$f")" "$(basename "$f")"; fi
done

pages_of() {  # what an independent reader says of a file
  local f=$1
  case "${f,,}" in
    *.tif)
      if command -v tiffinfo >/dev/null; then
        local n g4
        n=$(tiffinfo "$f" 2>/dev/null | grep -c "TIFF Directory")
        g4=$(tiffinfo "$f" 2>/dev/null | grep -c "Compression Scheme: CCITT Group 4")
        echo "$n pages (tiffinfo), $g4 of them Group 4"
      fi ;;
    *.pdf)
      if command -v pdfinfo >/dev/null; then
        echo "$(pdfinfo "$f" 2>/dev/null | awk '/^Pages:/ {print $2}') pages (pdfinfo)$(
          command -v qpdf >/dev/null && qpdf --check "$f" >/dev/null 2>&1 && echo ", qpdf --check: no errors")"
      fi ;;
    *.png)
      if command -v pngcheck >/dev/null; then pngcheck "$f" 2>&1 | tail -1 | sed "s|$out/||"; fi ;;
    *.bmp)
      if command -v bmptopnm >/dev/null; then bmptopnm "$f" 2>/dev/null | pnmfile | sed 's/^stdin:[[:space:]]*//'; fi ;;
  esac
}
for f in "$out"/*; do
  [[ -f $f ]] || continue
  case "${f,,}" in *.tif | *.pdf | *.png | *.bmp) printf '  %s: %s\n' "$(basename "$f")" "$(pages_of "$f")" ;; esac
done

show_text() {  # a group file: UTF-16 with its byte-order mark, or ANSI
  if [[ $(head -c 2 "$1" | od -An -tx1 | tr -d ' ') == fffe ]]; then iconv -f UTF-16 -t UTF-8 "$1"; else cat "$1"; fi
}
# The TIFF job's group file (else the first there is).
for g in "$out/Declaration TIFF G4.grp" "$out"/*.grp; do
  [[ -e $g ]] || continue
  echo "The group file $(basename "$g"):"
  show_text "$g" | tr -d '\r' | sed 's/^/  /'
  break
done

echo "The printer's document counter:"
"$bin/twreg" query 'HKU' /s 2>/dev/null | grep -E 'Tarnwick Printer$|LastDocNumber' || true
echo "The event log:"
"$bin/twspool" events --last 8 || true

echo
status=0
for kind in "TIFF Group 4:tiff.twj:tif" "PDF:pdf.twj:pdf" "PNG pages:png.twj:png"; do
  IFS=: read -r name job ext <<<"$kind"
  line=$(grep -E "	.*/$job\$" "$root/print.txt" || true)
  if [[ $name == PDF && $line == *failed* ]] && grep -qE "printed	.*/pdf20.twj$" "$root/print.txt"; then
    echo "  $name: image PDF written (vector PDF failed)"
  elif [[ $line == *printed* ]]; then
    echo "  $name: written"
  else
    echo "  $name: FAILED (${line%%	*})"
    status=1
  fi
done
echo "Output folder: $out"
exit $status
