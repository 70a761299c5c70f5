#!/bin/sh
# Fails when a folder includes a header of a folder it must not depend on. The core
# libraries depend one way: journal <- project <- link <- jobs, with monitor beside jobs
# (on the link, never on a job); the window libraries (gui, then app and the device
# windows) build on the core, and the core never on them.
set -eu
cd "$(dirname "$0")/.."

allowed() {
    case "$1" in
    journal) echo "journal" ;;
    project) echo "journal project" ;;
    link) echo "journal project link" ;;
    jobs) echo "journal project link jobs" ;;
    monitor) echo "journal project link monitor" ;;
    gui) echo "journal project link jobs monitor gui" ;;
    app | devices | scenario) echo "journal project link jobs monitor gui devices scenario app" ;;
    tools/cli | tools/devsim) echo "journal project link jobs monitor tools/cli tools/devsim" ;;
    tools/screenshots) echo "journal project link jobs monitor gui app tools/devsim" ;;
    *) echo "" ;;
    esac
}

status=0
for folder in journal project link jobs monitor gui app devices scenario tools/cli tools/devsim tools/screenshots; do
    [ -d "$folder" ] || continue
    ok=$(allowed "$folder")
    for file in "$folder"/*.h "$folder"/*.cpp; do
        [ -f "$file" ] || continue
        grep -o '^#include "[a-z/]*/[a-z0-9_]*\.h"' "$file" | sed 's/^#include "//; s#/[a-z0-9_]*\.h"$##' |
            sort -u | while read -r used; do
                case " $ok " in
                *" $used "*) ;;
                *)
                    echo "$file: includes from $used/, which $folder/ must not depend on"
                    echo fail >>"${TMPDIR:-/tmp}/check-layers.$$"
                    ;;
                esac
            done
    done
done
if [ -f "${TMPDIR:-/tmp}/check-layers.$$" ]; then
    rm -f "${TMPDIR:-/tmp}/check-layers.$$"
    status=1
fi
exit $status
