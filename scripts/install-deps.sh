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
    nodejs npm
    xvfb xauth x11-apps x11-utils imagemagick
    fonts-liberation2 librsvg2-bin
    dpkg-dev file man-db appstream desktop-file-utils lintian
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

# A machine that has Node.js from elsewhere (its own npm with it) needs neither package.
if command -v node >/dev/null 2>&1 && command -v npm >/dev/null 2>&1; then
    kept=()
    for p in "${missing[@]}"; do
        [[ $p == nodejs || $p == npm ]] || kept+=("$p")
    done
    missing=("${kept[@]}")
fi

if ((${#missing[@]} > 0)); then
    sudo_cmd=()
    if [[ $(id -u) -ne 0 ]]; then
        sudo_cmd=(sudo)
    fi
    echo "Installing: ${missing[*]}"
    "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The second reader of Jet files the tests compare with (tests/oracle), at the versions its lock
# file pins; again only when the lock file changed since the last install.
oracle="$(cd "$(dirname "$0")/.." && pwd)/tests/oracle"
if ! cmp -s "$oracle/package-lock.json" "$oracle/node_modules/.package-lock.json.installed" 2>/dev/null; then
    (cd "$oracle" && npm ci --no-audit --no-fund --loglevel=error)
    cp "$oracle/package-lock.json" "$oracle/node_modules/.package-lock.json.installed"
fi
