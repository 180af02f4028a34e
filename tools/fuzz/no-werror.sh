#!/bin/sh
# Compiler launcher of the fuzz build: the tree is written against GCC's
# warnings, and a clang-only warning must not stop the fuzzer from building.
# Through ccache when it is installed, so rebuilding the platform library
# for a fuzzing run costs little.
if command -v ccache >/dev/null 2>&1; then
  exec ccache "$@" -Wno-error
fi
exec "$@" -Wno-error
