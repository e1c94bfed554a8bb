#!/usr/bin/env bash
# Installs a build tree into a scratch prefix, then builds and runs a small
# consumer through find_package (shared and static) and through pkg-config.
# usage: check_install.sh <build-dir> <source-dir>
set -euo pipefail
build=$1 src=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
cmake -S "$src/tests/install" -B "$tmp/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$tmp/prefix" >/dev/null
cmake --build "$tmp/consumer" >/dev/null
libdir=$(dirname "$(find "$tmp/prefix" -name 'libzebjq5.so' | head -1)")
LD_LIBRARY_PATH="$libdir" "$tmp/consumer/consumer"
"$tmp/consumer/consumer_static"
export PKG_CONFIG_PATH="$libdir/pkgconfig"
cc "$src/tests/install/consumer.c" -o "$tmp/pc_consumer" $(pkg-config --cflags --libs zeb)
LD_LIBRARY_PATH="$libdir" "$tmp/pc_consumer"
echo "install, find_package and pkg-config: ok"
