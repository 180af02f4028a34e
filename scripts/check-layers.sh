#!/usr/bin/env bash
# Dependencies run one way: platform <- core <- {job, client, render, output}
# <- monitor <- tools, and libs/ (the replacement libraries) sits on the
# platform alone. Fails when a source file includes a header of a layer
# above its own.
set -euo pipefail
cd "$(dirname "$0")/.."

status=0
# check <folder> <forbidden top folders...>
check() {
  local dir=$1; shift
  [[ -d $dir ]] || return 0
  local pattern
  pattern=$(IFS='|'; echo "$*")
  local hits
  hits=$(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]+\"($pattern)/" "$dir" \
           --include='*.h' --include='*.hpp' --include='*.cpp' --include='*.c' --include='*.inc' || true)
  if [[ -n $hits ]]; then
    echo "check-layers: $dir/ includes a layer above it:" >&2
    echo "$hits" >&2
    status=1
  fi
}

check platform core job client render output libs monitor tools
check core job client render output libs monitor tools
check libs core job client render output monitor tools
for mid in job client render output; do
  check "$mid" monitor tools
done
check monitor tools
[[ $status -eq 0 ]] && echo "check-layers: every include runs downwards"
exit $status
