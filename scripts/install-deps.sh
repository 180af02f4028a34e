#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tools and the tests need.
# Idempotent; silent when everything is already there.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build pkg-config git python3
  clang-14 libclang-rt-14-dev
  # libraries under the platform layer and the replacement libraries
  libsqlite3-dev libicu-dev nlohmann-json3-dev
  libfreetype-dev libfontconfig-dev libcairo2-dev
  libpng-dev libjpeg-dev libtiff-dev zlib1g-dev
  # the PDF libraries: qpdf for documents, lcms2 for the PDF/A colour profile
  libqpdf-dev liblcms2-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # independent checks of PDF output (qpdf, pdfinfo, pdffonts, pdftotext,
  # pdfimages, pdftoppm) and of its XMP metadata (xmllint)
  qpdf poppler-utils libxml2-utils
  # independent checks of the codec libraries' output (tiffinfo, tiffdump,
  # tiffcp, fax2tiff; djpeg; jpeginfo)
  libtiff-tools libjpeg-turbo-progs jpeginfo
  # and of the PNG, GIF and BMP output (pngcheck; bmptopnm, pnmfile, pngtopam, giftopnm, pnmtopng,
  # pamtopng; gifsicle; giftext)
  pngcheck netpbm gifsicle giflib-tools
  # the XML summary checked as XML (xmllint)
  libxml2-utils
  # time zones the time tests switch between (TZ=America/New_York ...)
  tzdata
  # fonts metric-compatible with the faces printed documents ask for
  fontconfig fonts-liberation2 fonts-liberation fonts-dejavu-core fonts-dejavu-extra
  fonts-crosextra-carlito fonts-crosextra-caladea
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "install-deps: need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
