#!/usr/bin/env bash
# Runs a fuzzer for a bounded time.
#   scripts/fuzz.sh [emf|writeport|tiff] [SECONDS [LIBFUZZER-OPTION...]]   default emf, 60 s;
#   exit status 0 = no finding
# emf: the metafile reader, player and recorder, seeded with the shared
# corpus and the DIB header cases of the metafile tests
# (tools/fuzz/seeds/emf-dib-headers.tar.gz: every header size, compression
# and row order in every bitmap record; rewrite it with
# TW_DIB_CASES_DIR=DIR build/asan/bin/test_platform_emf --gtest_filter='EmfDibHeaders.*');
# writeport: the driver's command stream parser (CTWJob::WritePort), seeded
# with the small streams in tools/fuzz/seeds/writeport (written with twdriver).
# tiff: the TIFF reader of TwTiff.dll (LoadTiffIntoDIBW), seeded with the
# small files in tools/fuzz/seeds/tiff (written by the library).
# (extra options go to libFuzzer, e.g. -fork=2 -ignore_timeouts=1 to look
# past slow inputs while triaging)
# Builds build/fuzz with clang-14 (-fsanitize=fuzzer,address,undefined): only
# the fuzz target and the libraries it needs (for writeport the PDF engine's
# two libraries come from a GCC build, see below). Seeds come from the
# shared corpus when ../shared is present (all of emf/, emf-ea/, emf-bad/),
# plus the metafiles the fuzzer found interesting in earlier runs
# (build/fuzz/corpus). A crash, leak, timeout or out-of-memory leaves its
# input in build/fuzz/findings/ and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
target=emf_fuzz
seeds=()
case "${1:-}" in
  emf) target=emf_fuzz; shift ;;
  writeport) target=write_port_fuzz; seeds=(tools/fuzz/seeds/writeport); shift ;;
  tiff) target=tiff_fuzz; seeds=(tools/fuzz/seeds/tiff); shift ;;
esac
seconds=${1:-60}
shift || true
command -v clang++-14 >/dev/null || { echo "fuzz.sh: clang++-14 is missing (scripts/install-deps.sh)" >&2; exit 2; }

# Compiled objects are shared through ccache (see no-werror.sh) as build.sh does.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(cd .. && pwd)} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}

# The command stream's target links the job with its writers, and so the PDF
# engine's two libraries, whose qpdf headers clang 14 cannot compile in C++20
# against GCC 12's standard library. They are made with GCC in a build of
# their own (build/fuzz-pdf, not instrumented: the target's job replaces the
# document and page operations that would reach them) and copied apart, so
# that the fuzzer loads its own instrumented platform library and not that
# build's.
engine=$PWD/build/fuzz-pdf/engine
if [[ $target == write_port_fuzz ]]; then
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  cmake -S . -B build/fuzz-pdf -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=gcc \
    -DCMAKE_CXX_COMPILER=g++ -DTW_BUILD_TESTS=OFF "${launcher[@]}" >/dev/null
  cmake --build build/fuzz-pdf --target tw_pdf_interface
  mkdir -p "$engine"
  cp -p build/fuzz-pdf/bin/TwPdfEngine.dll build/fuzz-pdf/bin/TwPdfInterface.dll "$engine/"
fi

cmake -S . -B build/fuzz -G Ninja -DTW_PDF_ENGINE_DIR="$engine" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DTW_FUZZ=ON -DTW_BUILD_TESTS=OFF -DCMAKE_CXX_COMPILER_LAUNCHER="$PWD/tools/fuzz/no-werror.sh" \
  "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" \
  "-DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=address,undefined -shared-libsan" \
  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined -shared-libsan" >/dev/null
cmake --build build/fuzz --target "$target"

corpus=build/fuzz/corpus
findings=build/fuzz/findings
[[ $target == emf_fuzz ]] || { corpus=build/fuzz/corpus-$target; findings=build/fuzz/findings-$target; }
mkdir -p "$corpus" "$findings"
shared=${TW_SHARED_DIR:-../shared}
if [[ $target == emf_fuzz ]]; then
  dibs=build/fuzz/seeds-emf-dib-headers
  rm -rf "$dibs" && mkdir -p "$dibs" && tar -xzf tools/fuzz/seeds/emf-dib-headers.tar.gz -C "$dibs"
  seeds+=("$dibs")
  if [[ -d "$shared/corpus" ]]; then
    for d in emf emf-ea emf-bad; do seeds+=("$shared/corpus/$d"); done
  else
    echo "fuzz.sh: no shared corpus at $shared: starting from the DIB header cases and earlier finds only"
  fi
fi

# The platform library is a shared object: both it and the fuzzer use the
# shared sanitizer runtime.
runtime=$(clang++-14 -print-file-name=libclang_rt.asan-x86_64.so)
export LD_LIBRARY_PATH="$(dirname "$runtime")${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
export ASAN_OPTIONS=${ASAN_OPTIONS:-allocator_may_return_null=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
LD_PRELOAD="$runtime" build/fuzz/bin/$target "$corpus" "${seeds[@]}" \
  -max_total_time="$seconds" -timeout=20 -rss_limit_mb=3072 -max_len=262144 \
  -artifact_prefix="$findings/" -print_final_stats=1 "$@"
