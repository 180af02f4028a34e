#!/usr/bin/env bash
# Set-up of the comparison benchmark: the build's own dependencies, the
# other side of the comparison (ghostscript, enscript) and GNU time for peak
# memory. Run as root on Debian 12; not part of the test command.
set -euo pipefail
cd "$(dirname "$0")/../../.."
scripts/install-deps.sh
packages=(ghostscript enscript time)
missing=()
for p in "${packages[@]}"; do
  [[ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)" == "install ok installed" ]] || missing+=("$p")
done
if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "setup: missing ${missing[*]}; run as root or install them with apt-get" >&2
    exit 1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
