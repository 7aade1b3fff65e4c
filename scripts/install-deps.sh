#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need,
# when any of them is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev qt6-translations-l10n qt6-wayland
    clang libclang-rt-14-dev
    libbenchmark-dev
    libnuspell-dev hunspell-ru hunspell-en-us
    attr desktop-file-utils appstream xdg-utils shared-mime-info dpkg-dev file
    librsvg2-bin libfile-mimeinfo-perl man-db libglib2.0-bin lintian
    dbus
    fonts-noto-color-emoji
    libcanberra-dev sound-theme-freedesktop gsettings-desktop-schemas
    libssl-dev qt6-image-formats-plugins
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
