#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Orvello needs.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
    cmake ninja-build g++ make pkg-config lld
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev clang-format
    qt6-base-dev libqcustomplot-dev fonts-dejavu-core
    libmosquitto-dev nlohmann-json3-dev mosquitto mosquitto-clients openssl
    xvfb xauth imagemagick
    dpkg-dev file desktop-file-utils appstream lintian
)

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
