#!/usr/bin/env bash
# Text documents printed to files, ours against Ghostscript, on this machine
# in one run. Ours: `twspool print` of the stream `twdriver` writes of the
# text (on enscript's Letter grid: 65 lines of Courier 10 pt); Ghostscript's:
# `gs` of what `enscript -B -f Courier10 -M Letter` makes of the same text
# (through ps2pdf for the TIFF device). Only the printing command is timed
# (the stream and the PostScript/PDF are made before), median of RUNS runs.
#
#   tools/bench/compare/gs_compare.sh [--no-setup] [--no-build] [--runs N] [--pages N] [--out FILE]
#
# Prints a Markdown table (also written to FILE, default
# build/bench/gs_compare.md). Installs Ghostscript and enscript through
# setup.sh first unless --no-setup; without them Ghostscript's side is
# skipped with a message. Not part of the test command.
set -euo pipefail
cd "$(dirname "$0")/../../.."
src=$PWD
runs=5 pages=100 setup=1 build=1 table=$src/build/bench/gs_compare.md
while (($#)); do
  case $1 in
    --no-setup) setup=0 ;;
    --no-build) build=0 ;;
    --runs) runs=$2; shift ;;
    --pages) pages=$2; shift ;;
    --out) table=$2; shift ;;
    *) echo "usage: $0 [--no-setup] [--no-build] [--runs N] [--pages N] [--out FILE]" >&2; exit 2 ;;
  esac
  shift
done
if ((setup)); then tools/bench/compare/setup.sh || echo "gs_compare: set-up failed; going on with what is installed" >&2; fi
((build)) && scripts/build.sh release >/dev/null
bin=$src/build/release/bin
work=$src/build/bench/gs_compare
rm -rf "$work"
mkdir -p "$work"
export TW_ROOT=$work/root
out=$TW_ROOT/drive_c/Users/Public/Documents/Tarnwick
have_gs=1
for tool in gs enscript ps2pdf; do
  command -v $tool >/dev/null || { have_gs=0; echo "gs_compare: $tool is not installed: Ghostscript's side is skipped" >&2; }
done
[[ -x /usr/bin/time ]] || { echo "gs_compare: /usr/bin/time (Debian package time) is needed" >&2; exit 1; }

load_at_start=$(cut -d' ' -f1-3 /proc/loadavg)
"$bin/twspool" init >/dev/null
"$bin/twspool" add-port TW02: >/dev/null
"$bin/twspool" add-printer "Second Printer" --port TW02: >/dev/null

tiff_pages() { tiffinfo "$1" 2>/dev/null | grep -c "TIFF Directory" || true; }
pdf_pages() { pdfinfo "$1" 2>/dev/null | awk '/^Pages:/ {print $2}'; }
first_file() { find "$1" -maxdepth 1 -name "*.$2" | head -1; }

# A text of N full pages: 65 lines a page of 80 columns, from the
# public-domain text in docs/demo run on without line breaks.
make_text() {  # make_text PAGES FILE
  local lines=$(($1 * 65)) body
  body=$(tr -s '\n ' '  ' <"$src/docs/demo/declaration-of-independence.txt" | fold -w 80)
  : >"$2"
  while (($(wc -l <"$2") < lines)); do printf '%s\n' "$body" >>"$2"; done
  head -n "$lines" "$2" >"$2.tmp" && mv "$2.tmp" "$2"
}
# Our job of a text: FORMAT [FIELD=VALUE...]; the stream of `twdriver`.
our_job() {  # our_job TEXT JOB PRINTER FIELD=VALUE...
  local text=$1 job=$2 printer=$3
  shift 3
  local sets=()
  for s in "$@"; do sets+=(--set "$s"); done
  local made
  made=$("$bin/twdriver" -o "$job" --printer "$printer" --dpi 300 --text-grid enscript "${sets[@]}" "$text")
  # START_DOC, START_PAGE and END_PAGE of each page, END_DOC.
  local commands
  commands=$(sed -E 's/.*: ([0-9]+) commands.*/\1/' <<<"$made")
  echo $(((commands - 2) / 2)) >"$job.pages"
}
their_input() {  # their_input TEXT OURJOB -> TEXT.ps, TEXT.pdf; fails when the page counts differ
  enscript -q -B -f Courier10 -M Letter -p "$1.ps" "$1"
  ps2pdf "$1.ps" "$1.pdf"
  local theirs ours
  theirs=$(pdf_pages "$1.pdf") ours=$(cat "$2.pages")
  [[ $theirs == "$ours" ]] || { echo "gs_compare: $1: enscript made $theirs pages, twdriver $ours" >&2; return 1; }
}

# One timed command: "wall cpu rss_kb" on stdout; its own output discarded.
timed() {
  local f=$work/time.txt
  /usr/bin/time -f "%e %U %S %M" -o "$f" "$@" >/dev/null 2>"$work/stderr.txt" || {
    echo "gs_compare: failed: $*" >&2
    cat "$work/stderr.txt" >&2
    return 1
  }
  awk '{printf "%s %.2f %s\n", $1, $2 + $3, $4}' "$f"
}
# Median of RUNS runs of a command: "wall cpu rss_kb" (each the median of its column).
median_of() {
  local results=()
  for ((r = 0; r < runs; r++)); do
    rm -rf "$out"/* "$work"/gs-out* 2>/dev/null || true
    results+=("$(timed "$@")") || return 1
  done
  printf '%s\n' "${results[@]}" | awk -v n="$runs" '
    { w[NR] = $1; c[NR] = $2; m[NR] = $3 }
    function med(a,   i, j, t) { for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
                                 return a[int((n + 1) / 2)] }
    END { printf "%s %s %s\n", med(w), med(c), med(m) }'
}

rows=()
missing=()
# A row from two "wall cpu rss_kb" results (either may be empty: not measured).
compare() {  # compare WHAT PAGES OURS THEIRS
  rows+=("$(awk -v what="$1" -v n="$2" -v ours="$3" -v theirs="$4" 'BEGIN {
    split(ours, o, " "); split(theirs, t, " ")
    fmt = "%.1f pages/s (%.2f s), CPU %.2f s, %.1f MB"
    a = ours == "" ? "not measured" : sprintf(fmt, n / o[1], o[1], o[2], o[3] / 1024)
    b = theirs == "" ? "not measured" : sprintf(fmt, n / t[1], t[1], t[2], t[3] / 1024)
    r = ours == "" || theirs == "" ? "–" : sprintf("**%.2f** speed, %.2f CPU, %.2f memory", t[1] / o[1], o[2] / t[2], o[3] / t[3])
    printf "| %s | %s | %s | %s |", what, a, b, r }')")
}
# Two jobs at once against one: pages/s of each and the speed-up.
speedup() {  # speedup WHO PAGES ONE TWO
  [[ -n $3 && -n $4 ]] || return 0
  rows+=("$(awk -v who="$1" -v n="$2" -v one="$3" -v two="$4" 'BEGIN {
    split(one, a, " "); split(two, b, " ")
    printf "| %s: one job against two at once | %.1f against %.1f pages/s | | speed-up **%.2f** |",
      who, n / a[1], 2 * n / b[1], 2 * a[1] / b[1] }')")
}
# Our median of a print command when it writes a file of EXT with N pages;
# else nothing, and the reason goes to $work/missing.txt.
ours_of() {  # ours_of WHAT EXT N twspool-print-arguments...
  local what=$1 ext=$2 n=$3 file got
  shift 3
  rm -rf "${out:?}"/*
  if ! "$bin/twspool" print --quiet "$@" >"$work/print.txt" 2>&1; then
    echo "$what, ours: $(grep -m1 -v '^	' "$work/print.txt" | tr '\t' ' ')" >>"$work/missing.txt"
    return 0
  fi
  file=$(first_file "$out" "$ext")
  if [[ $ext == tif ]]; then got=$(tiff_pages "$file"); else got=$(pdf_pages "$file"); fi
  if [[ $got != "$n" ]]; then
    echo "$what, ours: the $ext file has ${got:-no} pages, not $n" >>"$work/missing.txt"
    return 0
  fi
  median_of "$bin/twspool" print --quiet "$@" || true
}
# Ghostscript's median, after checking the page count of its output.
theirs_of() {  # theirs_of WHAT EXT N INPUT DEVICE-ARGUMENTS...
  local what=$1 ext=$2 n=$3 input=$4 got
  shift 4
  ((have_gs)) || return 0
  gs -q -dNOPAUSE -dBATCH -dSAFER "$@" -sOutputFile="$work/gs-check.$ext" "$input" >/dev/null 2>&1 || true
  if [[ $ext == tif ]]; then got=$(tiff_pages "$work/gs-check.$ext"); else got=$(pdf_pages "$work/gs-check.$ext"); fi
  if [[ $got != "$n" ]]; then
    echo "$what, Ghostscript: its $ext file has ${got:-no} pages, not $n" >>"$work/missing.txt"
    return 0
  fi
  median_of gs -q -dNOPAUSE -dBATCH -dSAFER "$@" -sOutputFile="$work/gs-out.$ext" "$input" || true
}

# 1. Text to a 300-dpi multipage TIFF Group 4 file.
text=$work/text$pages.txt
make_text "$pages" "$text"
our_job "$text" "$work/tiff.twj" "Tarnwick Printer" FileFormat=7 Flags=32
n=$(cat "$work/tiff.twj.pages")
if ((have_gs)); then their_input "$text" "$work/tiff.twj" || exit 1; fi
echo "gs_compare: TIFF Group 4, $n pages" >&2
ours_tiff=$(ours_of "TIFF G4" tif "$n" "$work/tiff.twj")
theirs_tiff=$(theirs_of "TIFF G4" tif "$n" "$text.pdf" -sDEVICE=tiffg4 -r300)
compare "text → TIFF G4 300 dpi, one file of $n pages" "$n" "$ours_tiff" "$theirs_tiff"

# 2. Text to PDF: vector PDF (36), else image PDF (20), against pdfwrite.
echo "gs_compare: PDF, $n pages" >&2
kind="PDF (neither PDF writer wrote a file)"
for code in 36 20; do
  our_job "$text" "$work/pdf.twj" "Tarnwick Printer" FileFormat=$code Flags=32
  rm -rf "${out:?}"/*
  if "$bin/twspool" print --quiet "$work/pdf.twj" >/dev/null 2>&1 && [[ -n $(first_file "$out" pdf) ]]; then
    if [[ $code == 36 ]]; then kind="vector PDF"; else kind="image PDF (the vector PDF job failed)"; fi
    break
  fi
done
ours=$(ours_of "$kind" pdf "$n" "$work/pdf.twj")
theirs=$(theirs_of "PDF" pdf "$n" "$text.ps" -sDEVICE=pdfwrite)
compare "text → $kind; Ghostscript: pdfwrite of the PostScript; $n pages" "$n" "$ours" "$theirs"

# 3. Peak memory against the number of pages (TIFF Group 4); the
# 1000-page documents once each (their memory is what counts here).
all_runs=$runs
for m in 10 100 1000; do
  ((m < 1000)) || runs=1
  t=$work/mem$m.txt
  make_text "$m" "$t"
  our_job "$t" "$work/mem$m.twj" "Tarnwick Printer" FileFormat=7 Flags=32
  if ((have_gs)); then their_input "$t" "$work/mem$m.twj" || exit 1; fi
  echo "gs_compare: memory, $m pages" >&2
  ours=$(ours_of "memory at $m pages" tif "$m" "$work/mem$m.twj")
  theirs=$(theirs_of "memory at $m pages" tif "$m" "$t.pdf" -sDEVICE=tiffg4 -r300)
  compare "memory: TIFF G4, $m pages$( ((runs > 1)) || echo ", one run")" "$m" "$ours" "$theirs"
done
runs=$all_runs

# 4. Two jobs on two printers (two ports) at once against one job.
echo "gs_compare: two jobs at once" >&2
our_job "$text" "$work/second.twj" "Second Printer" FileFormat=7 Flags=32
ours=$(ours_of "two jobs at once" tif "$n" "$work/tiff.twj" --printer "Second Printer" "$work/second.twj")
if [[ -n $ours && $(find "$out" -maxdepth 1 -name "*.tif" | wc -l) != 2 ]]; then
  echo "two jobs at once, ours: not two TIFF files" >>"$work/missing.txt"
  ours=
fi
theirs=
if ((have_gs)); then
  cat >"$work/gs-two.sh" <<EOF
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=tiffg4 -r300 -sOutputFile="$work/gs-out-a.tif" "$text.pdf" &
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=tiffg4 -r300 -sOutputFile="$work/gs-out-b.tif" "$text.pdf"
wait
EOF
  theirs=$(median_of bash "$work/gs-two.sh" || true)
fi
compare "two jobs on two printers at once, TIFF G4, 2 × $n pages" "$((2 * n))" "$ours" "$theirs"
speedup ours "$n" "$ours_tiff" "$ours"
# How much of the two jobs' time their page plays spend holding and waiting
# for the GDI mutex they share: one more run (not timed) with the message
# capture log on at its DEBUG level, where each job reports it at its end.
drive=$TW_ROOT/drive_c
mkdir -p "$drive/Temp"
rm -f "$drive/Temp/MessageCapture_PORTMON_DLL.txt"
printf '[Setting]\r\nMessage Capture Log Level=4\r\n' >"$drive/PrnDebug.ini"
rm -rf "${out:?}"/*
start_ns=$(date +%s%N)
"$bin/twspool" print --quiet "$work/tiff.twj" --printer "Second Printer" "$work/second.twj" >/dev/null 2>&1 || true
wall_ms=$((($(date +%s%N) - start_ns) / 1000000))
rm -f "$drive/PrnDebug.ini"
mutex=$(tr -d '\0' <"$drive/Temp/MessageCapture_PORTMON_DLL.txt" 2>/dev/null |
  sed -n 's/.*GDI mutex held \([0-9]*\) ms in \([0-9]*\) page plays, waited for \([0-9]*\) ms.*/\1 \2 \3/p')
if [[ $(wc -l <<<"$mutex") == 2 ]]; then
  read -r held1 plays1 waited1 held2 plays2 waited2 <<<"$(tr '\n' ' ' <<<"$mutex")"
  rows+=("| ours: GDI mutex with two jobs at once (one more run, ${wall_ms} ms) | job 1: held ${held1} ms in ${plays1} plays, waited ${waited1} ms; job 2: held ${held2} ms in ${plays2} plays, waited ${waited2} ms | | held $(((held1 + held2) * 100 / wall_ms)) % of the run's wall time (both jobs together) |")
else
  echo "GDI mutex figures: the capture log held no figures of two jobs" >>"$work/missing.txt"
fi
speedup Ghostscript "$n" "$theirs_tiff" "$theirs"
[[ -f $work/missing.txt ]] && mapfile -t missing <"$work/missing.txt"

{
  echo "Machine: $(lscpu | awk -F: '/Model name/ {gsub(/^ +/, "", $2); print $2}' | head -1), $(nproc) cores," \
    "$(free -g | awk '/Mem:/ {print $2}') GB; load average $load_at_start at the start, $(cut -d' ' -f1-3 /proc/loadavg) at the end."
  echo "Command: tools/bench/compare/gs_compare.sh --runs $runs --pages $pages (median of $runs runs;" \
    "$(gs --version 2>/dev/null | sed 's/^/Ghostscript /' || echo 'no Ghostscript'))."
  echo
  echo "| what | ours | Ghostscript | ours ÷ Ghostscript (speed; CPU and memory: lower is better) |"
  echo "|---|---|---|---|"
  printf '%s\n' "${rows[@]}"
  for m in "${missing[@]}"; do echo "- not measured: $m"; done
} | tee "$table"
((${#missing[@]} == 0))
