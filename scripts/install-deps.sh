#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need.
# Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail

packages=(
  cmake ninja-build make
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 mingw-w64-tools
  googletest
  wine wine64 wine32:i386
  xvfb x11-utils fonts-wqy-microhei locales
  imagemagick
  libasio-dev g++ clang libclang-rt-14-dev
  nsis zip unzip python3
)

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: run as root (it calls apt-get)" >&2
  exit 1
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
elif [ -n "${need_update:-}" ]; then
  apt-get update -q
fi

# Wine picks its ANSI code page from the locale: zh_CN.UTF-8 gives 936 (GBK).
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen
fi
