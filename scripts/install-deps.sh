#!/bin/sh
# Installs the Debian packages the build, the tests and the demo need, when missing (clang,
# llvm and its runtimes for the fuzz targets and the sanitizer builds; the PostgreSQL server
# and Prometheus that the site tests start on their own ports).
set -eu

packages="cmake make g++ pkg-config qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev
libqt5sql5-sqlite qttranslations5-l10n libxlsxwriter-dev python3-openpyxl sqlite3 xauth xvfb
ccache clang-format rapidjson-dev dpkg-dev file lintian desktop-file-utils clang llvm
libclang-rt-dev postgresql libqt5sql5-psql prometheus libcivetweb-dev libcpp-httplib-dev
libsodium-dev qtmultimedia5-dev libsystemd-dev help2man"

missing=""
for package in $packages; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [ "$status" = "installed" ] || missing="$missing $package"
done
[ -n "$missing" ] || exit 0

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then
    sudo=""
else
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
# shellcheck disable=SC2086
$sudo apt-get install -y -q --no-install-recommends $missing
