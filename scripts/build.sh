#!/usr/bin/env bash
# Configures and builds one variant of the tree.
#   scripts/build.sh release   -> build/release (optimised, what the demo runs)
#   scripts/build.sh asan      -> build/asan    (AddressSanitizer + UBSan, what the tests run)
# Extra arguments are target names (scripts/build.sh asan test_platform_gdi);
# arguments starting with '-' go to the build tool as they are.
set -euo pipefail
cd "$(dirname "$0")/.."
variant=${1:-release}
shift || true
case "$variant" in
  release) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  asan) flags=(-DCMAKE_BUILD_TYPE=Debug -DTW_SANITIZE=ON) ;;
  *) echo "build.sh: unknown variant '$variant' (release or asan)" >&2; exit 2 ;;
esac
# Worktrees of the same repository share compiled objects through ccache
# when it is installed (optional; the CI machine builds without it).
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(cd .. && pwd)} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
  flags+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "build/$variant" -G Ninja "${flags[@]}" >/dev/null
args=()
for a in "$@"; do
  if [[ $a == -* ]]; then args+=("$a"); else args+=(--target "$a"); fi
done
cmake --build "build/$variant" "${args[@]}"
