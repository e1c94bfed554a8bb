#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the peers need, when
# run as root and any is missing.  One list for `make demo`, `make test` and CI.
set -euo pipefail
packages=(
  build-essential cmake ninja-build python3 binutils pkg-config
  gcc-multilib g++-multilib qemu-user
  googletest libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev libomp-14-dev
  libjpeg-turbo-progs libjpeg62-turbo-dev libturbojpeg0-dev
  libtiff-dev libtiff-tools
  libopenjp2-7-dev libopenjp2-tools grokj2k-tools
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages (run as root to install): ${missing[*]}" >&2
  exit 0
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
