#!/usr/bin/env bash
# Installs the Debian packages the build, the demo and the tests need, when
# they are missing. Usage: tools/install-deps.sh [base|test|bench]
set -euo pipefail
set_name=${1:-test}

base=(cmake make g++ pkg-config libgtest-dev libgmock-dev octave octave-dev libpng-dev clang-format zlib1g-dev)
test=("${base[@]}" g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 clang libclang-rt-14-dev libz-mingw-w64-dev
      libtiff-tools python3-tifffile)
bench=("${base[@]}" libbenchmark-dev libyuv-dev)

case "$set_name" in
  base) wanted=("${base[@]}") ;;
  test) wanted=("${test[@]}") ;;
  bench) wanted=("${bench[@]}") ;;
  *) echo "usage: $0 [base|test|bench]" >&2; exit 2 ;;
esac

missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  sudo_cmd=()
elif command -v sudo >/dev/null 2>&1; then
  sudo_cmd=(sudo)
else
  echo "Missing packages (${missing[*]}); run this script as root to install them." >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
