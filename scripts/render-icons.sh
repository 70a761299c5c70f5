#!/bin/sh
# Redraws the icon set under resources/images and rewrites resources/resources.qrc.
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target norda-iconpainter -j"$(nproc)"
QT_QPA_PLATFORM=offscreen build/tools/iconpainter/norda-iconpainter resources
{
    echo '<!DOCTYPE RCC>'
    echo '<RCC version="1.0">'
    echo '    <qresource prefix="/">'
    (cd resources && find images -name '*.png' | LC_ALL=C sort | sed 's|^|        <file>|; s|$|</file>|')
    echo '    </qresource>'
    echo '</RCC>'
} > resources/resources.qrc
echo "icons written to resources/images"
