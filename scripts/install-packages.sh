#!/usr/bin/env bash
# Installs those of the given Debian packages that are missing: as root directly, else
# through sudo (which may ask for a password); when neither can, prints the apt-get line
# to run as root and fails.
#
#   scripts/install-packages.sh PACKAGE...
set -euo pipefail

missing=()
for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
((${#missing[@]} > 0)) || exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    as_root=(sudo -n)
elif command -v sudo >/dev/null 2>&1; then
    echo "Packages are missing; sudo will ask for your password to install them." >&2
    as_root=(sudo)
else
    echo "These Debian packages are missing and this user can neither install them" >&2
    echo "as root nor through sudo:" >&2
    echo "    apt-get install ${missing[*]}" >&2
    echo "Run that as root, then run this command again." >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
