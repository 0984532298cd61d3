#!/usr/bin/env bash
# Installs every build and test dependency that is missing, on Debian 12.
# Safe to run again: only absent packages are installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev qt6-svg-dev qt6-base-dev-tools libgl-dev
  qt6-translations-l10n
  libsimpleini-dev
  xvfb xauth
  python3 python3-dev pybind11-dev python3-numpy python3-pytest python3-distributed python3-matplotlib python3-pandas
  python3-venv python3-pip python3-setuptools python3-wheel
  libgraphviz-dev graphviz
  libhdf5-dev python3-h5py
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}" >&2
if [ "$(id -u)" -eq 0 ]; then
  SUDO=()
elif command -v sudo >/dev/null 2>&1; then
  SUDO=(sudo)
else
  echo "Missing packages (${missing[*]}) and neither root nor sudo is available." >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
