#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds with AddressSanitizer
# and UndefinedBehaviorSanitizer, runs every test, then fuzzes the metafile
# player, the TIFF reader and the command stream parser for a minute each.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-layers.sh
scripts/build.sh asan
# intercept_tls_get_addr=0: this compiler's leak checker keeps its own list of
# each thread's dynamic TLS blocks, and that list goes stale when a module with
# thread-local data is unloaded and another one loaded (the monitor loads and
# frees its codec libraries per job). At exit it then scans a bogus range and
# crashes ("Tracer caught signal 11"), failing a test that passed. Without the
# interception the checker does not scan dynamic TLS at all.
export ASAN_OPTIONS=${ASAN_OPTIONS:-allocator_may_return_null=1:detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
if ! ctest --test-dir build/asan --output-on-failure -j "$(nproc)" --timeout 600; then
  # The leak checker's stop-the-world thread occasionally dies at exit after a
  # test has passed. Such tests (and only those) run once more.
  flaky=$(scripts/sanitizer-flakes.py build/asan) || exit 1
  [ -n "$flaky" ] || exit 1
  echo "The leak checker crashed after these tests passed; running them again:"
  echo "$flaky"
  ctest --test-dir build/asan --output-on-failure --rerun-failed --timeout 600
fi
# The driver's command stream, the metafiles in it and the TIFF files the
# watermark loader reads are untrusted input: bounded fuzzing runs of the
# metafile player, the TIFF reader and the command stream parser with the
# job's command handling (their own small clang build of the targets and the
# libraries they link; the PDF engine's libraries, which the job links
# through its writers, come from a GCC build, see scripts/fuzz.sh).
for target in emf tiff writeport; do
  scripts/fuzz.sh "$target" 60 >"build/fuzz-$target.log" 2>&1 || { tail -40 "build/fuzz-$target.log"; exit 1; }
  tail -3 "build/fuzz-$target.log"
done
