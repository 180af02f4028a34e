#!/bin/sh
# Compiler launcher of the fuzz build: the tree is written against GCC's
# warnings, and a clang-only warning must not stop the fuzzer from building.
exec "$@" -Wno-error
