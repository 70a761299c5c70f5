#!/bin/sh
# The run command: installs what is missing, builds, and starts the console on a
# demonstration project whose devices are simulated on loopback addresses (no hardware
# needed; nothing leaves this machine).
#
#   scripts/run.sh            monitoring mode: polling, counters, journal, export
#   scripts/run.sh configure  configuration mode: project editing, USB search (the
#                             central unit is also presented as a USB serial port)
#   scripts/run.sh site       a site: a throwaway PostgreSQL cluster, two monitors sharing the
#                             devices and a console watching (see docs/site.md, "Trying it
#                             out")
#
# Without a display the same demonstration runs headless with norda-cli monitor.
set -eu
cd "$(dirname "$0")/.."
mode=${1:-monitor}
case "$mode" in
monitor) rivar=1 ;;
configure) rivar=0 ;;
site) exec scripts/run-site.sh ;;
*)
    echo "usage: scripts/run.sh [monitor|configure|site]" >&2
    exit 1
    ;;
esac

scripts/build.sh

# The demonstration lives in a folder of its own: the console keeps its settings beside
# its executable and its journals in the working folder.
demo=build/demo
mkdir -p "$demo/ports"
cp build/app/norda-console "$demo/"
[ -f "$demo/demo.mpj" ] || cp scripts/demo/demo.mpj "$demo/demo.mpj"
demo_abs=$(cd "$demo" && pwd)
export NORDA_VIRTUAL_PORTS="$demo_abs/ports"

# Ports above 1024, so that no privileges are needed; the first free pair is used.
simulator=""
cleanup() {
    [ -z "$simulator" ] || kill "$simulator" 2>/dev/null || true
}
trap cleanup EXIT INT TERM
for offset in 0 1 2 3 4 5 6 7 8 9; do
    status_port=$((18080 + offset))
    command_port=$((12323 + offset))
    build/tools/devsim/norda-devsim --project "$demo/demo.mpj" --usb 4201 \
        --device-version 4201=1.2.620 \
        --journal 4201:capacity=1000,records=1250 \
        --screen-text "4201=ДЕЖУРНЫЙ РЕЖИМ|ЛИНИИ: НОРМА|ПУЛЬТЫ: 2 ИЗ 2|NORDA-4200" \
        --status-port "$status_port" --command-port "$command_port" \
        --timeline scripts/demo/timeline.txt >"$demo/devsim.log" 2>&1 &
    simulator=$!
    sleep 1
    if kill -0 "$simulator" 2>/dev/null; then
        break
    fi
    simulator=""
done
if [ -z "$simulator" ]; then
    echo "The device simulator could not start:" >&2
    cat "$demo/devsim.log" >&2
    exit 2
fi
echo "Simulated devices on 127.0.10.2-7 (status port $status_port, command port $command_port)."
echo "Simulator log: $demo/devsim.log"

# The settings file is written once; later runs change only the mode and the ports, so
# that the project last opened or saved in the console is the one it reopens.
if [ ! -f "$demo/settings.ini" ]; then
    cat >"$demo/settings.ini" <<INI
[application]
rivar=$rivar
screenshot=1

[paths]
lastproject=$demo_abs/demo.mpj

[network]
statusport=$status_port
commandport=$command_port
INI
else
    sed -i -e "s/^rivar=.*/rivar=$rivar/" -e "s/^statusport=.*/statusport=$status_port/" \
        -e "s/^commandport=.*/commandport=$command_port/" "$demo/settings.ini"
fi

cd "$demo"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display: monitoring the demonstration headless for 100 s (norda-cli monitor)."
    ../tools/cli/norda-cli monitor demo.mpj --status-port "$status_port" --seconds 100
else
    ./norda-console
fi
