#!/usr/bin/env bash
# Installs, through apt-get, whatever the build and the tests need and the machine lacks.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config ccache
    qt6-base-dev libgl-dev
    libsqlite3-dev sqlite3
    libicu-dev
    libgtest-dev libbenchmark-dev
    libcli11-dev nlohmann-json3-dev
    mdbtools mdbtools-dev
    python3 strace
    xvfb xauth x11-apps x11-utils imagemagick
    fonts-liberation2 librsvg2-bin
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
    sudo_cmd=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
