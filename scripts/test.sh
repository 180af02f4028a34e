#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds with AddressSanitizer
# and UndefinedBehaviorSanitizer, runs every test, then fuzzes the command
# stream parser and the metafile player for a minute each.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-layers.sh
scripts/build.sh asan
export ASAN_OPTIONS=${ASAN_OPTIONS:-allocator_may_return_null=1:detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir build/asan --output-on-failure -j "$(nproc)" --timeout 600
# The driver's command stream, the metafiles in it and the TIFF files the
# watermark loader reads are untrusted input: bounded fuzzing runs of the
# parser, the metafile player and the TIFF reader (their own small clang
# build of the targets and the platform, shared by all three).
for target in writeport emf tiff; do
  scripts/fuzz.sh "$target" 60 >"build/fuzz-$target.log" 2>&1 || { tail -40 "build/fuzz-$target.log"; exit 1; }
  tail -3 "build/fuzz-$target.log"
done
