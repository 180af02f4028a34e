#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds with AddressSanitizer
# and UndefinedBehaviorSanitizer, runs every test, then fuzzes the command
# stream parser for a minute.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-layers.sh
scripts/build.sh asan
export ASAN_OPTIONS=${ASAN_OPTIONS:-allocator_may_return_null=1:detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir build/asan --output-on-failure -j "$(nproc)" --timeout 600
# The driver's command stream is untrusted input: a bounded fuzzing run of
# the parser (its own small clang build of the target and the platform).
scripts/fuzz.sh writeport 60 >build/fuzz-writeport.log 2>&1 || { tail -40 build/fuzz-writeport.log; exit 1; }
tail -3 build/fuzz-writeport.log
# Malformed TIFF files must fail cleanly in the watermark loader's reader.
scripts/fuzz.sh tiff 60 >build/fuzz-tiff.log 2>&1 || { tail -40 build/fuzz-tiff.log; exit 1; }
tail -3 build/fuzz-tiff.log
