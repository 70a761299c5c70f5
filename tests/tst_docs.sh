#!/bin/bash
# Runs every norda-cli and norda-devsim line of the fenced ```sh blocks of README.md and
# docs/*.md against the simulator, so the examples stay true.
#
# The examples address the demonstration's devices (scripts/demo/demo.mpj on 127.0.10.2-7,
# status port 18080, command port 12323, the central unit 4201 also as a USB port). This
# test starts its own simulator of that project on free ports and puts them in place of
# 18080 and 12323; a norda-devsim line of the documents gets other free ports. The lines run
# in order, in one folder holding project.mpj and scripts/demo/demo.mpj (the
# demonstration's project), timeline.txt
# (its timeline), siren.wav, firmware.norda (a small firmware image) and monitor.ini (the
# ```ini block of docs/cli.md), with this build's programs on PATH in place of a leading
# build/tools/cli/ or build/tools/devsim/. A norda-cli line must end with status 0; a
# norda-devsim line (a trailing & dropped) must come up (print "ready"). A line ending in "# not run" (it needs root, systemd, a
# display or a database server) is only checked with bash -n.
# Usage: tst_docs.sh BUILD_DIR SOURCE_DIR
set -eu
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
tmp=$(mktemp -d)
simulator=""
cleanup() {
    [ -z "$simulator" ] || kill "$simulator" 2>/dev/null || true
    [ -z "$simulator" ] || wait "$simulator" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
export PATH="$build/tools/cli:$build/tools/devsim:$PATH" LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen
export NORDA_VIRTUAL_PORTS="$tmp/ports" NORDA_VIRTUAL_PORTS_ONLY=1

# Free ports, distinct, all picked at once (each python start costs seconds under load).
read -r -a ports <<<"$(python3 -c 'import socket
held = [socket.socket() for _ in range(12)]
for s in held: s.bind(("127.0.0.1", 0))
print(" ".join(str(s.getsockname()[1]) for s in held))')"

# Waits up to 30 s for a simulator's output file to say it is ready.
wait_ready() {
    local output=$1 pid=$2 i
    for i in $(seq 300); do
        grep -q '^ready$' "$output" 2>/dev/null && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

work="$tmp/work"
mkdir -p "$work" "$tmp/ports"
mkdir -p "$work/scripts/demo"
cp "$source/scripts/demo/demo.mpj" "$work/project.mpj"
cp "$source/scripts/demo/demo.mpj" "$work/scripts/demo/demo.mpj"
cp "$source/scripts/demo/timeline.txt" "$work/timeline.txt"
head -c 3000 /dev/zero | tr '\0' 'x' >"$work/siren.wav"
cp "$source/fuzz/corpus/firmwareimage/ok.norda" "$work/firmware.norda"
awk '/^```ini/ { on = 1; next } on && /^```/ { exit } on' "$source/docs/cli.md" >"$work/monitor.ini"
[ -s "$work/monitor.ini" ] || { echo "FAIL: no monitor.ini in docs/cli.md"; exit 1; }

status_port=${ports[0]}
command_port=${ports[1]}
next_port=2
(cd "$work" && exec norda-devsim --project project.mpj --usb 4201 --status-port "$status_port" \
    --command-port "$command_port") >"$tmp/simulator.log" 2>&1 &
simulator=$!
wait_ready "$tmp/simulator.log" "$simulator" || { cat "$tmp/simulator.log"; exit 1; }

# The lines: FILE:LINE, a tab, the command (continuation lines joined), one per line.
python3 - "$source" >"$tmp/lines" <<'EOF'
import glob, os, re, sys
root = sys.argv[1]
files = [os.path.join(root, "README.md")] + sorted(glob.glob(os.path.join(root, "docs", "*.md")))
for path in files:
    inside = False
    pending, start = "", 0
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.rstrip("\n")
        if line.startswith("```"):
            inside = line.strip() == "```sh" if not inside else False
            continue
        if not inside:
            continue
        if not pending:
            start = number
        if line.endswith("\\"):
            pending += line[:-1]
            continue
        command, pending = (pending + line).strip(), ""
        command = re.sub(r"^build/tools/(cli|devsim)/", "", command)
        if re.match(r"^(\S*/)?norda-(cli|devsim)(\s|$)", command):
            print("%s:%d\t%s" % (os.path.relpath(path, root), start, command))
EOF

count=0
failed=0
while IFS=$'\t' read -r where command; do
    count=$((count + 1))
    if [[ "$command" =~ \#\ not\ run$ ]]; then
        if bash -n -c "$command" 2>"$tmp/err"; then
            echo "syntax  $where: $command"
        else
            echo "FAIL    $where: $command"
            cat "$tmp/err"
            failed=$((failed + 1))
        fi
        continue
    fi
    if [[ "$command" =~ ^(\S*/)?norda-devsim ]]; then
        [ "$next_port" -lt "${#ports[@]}" ] || next_port=2
        line=${command//18080/${ports[$next_port]}}
        line=${line//12323/${ports[$((next_port + 1))]}}
        next_port=$((next_port + 2))
        line=${line%&}
        started=$(date +%s%N)
        (cd "$work" && exec bash -c "exec $line") >"$tmp/out" 2>&1 &
        pid=$!
        if wait_ready "$tmp/out" "$pid"; then
            echo "ok      $where ($((($(date +%s%N) - started) / 1000000)) ms): $command"
        else
            echo "FAIL    $where: $line"
            cat "$tmp/out"
            failed=$((failed + 1))
        fi
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        continue
    fi
    line=${command//18080/$status_port}
    line=${line//12323/$command_port}
    status=0
    started=$(date +%s%N)
    (cd "$work" && timeout 120 bash -c "$line") >"$tmp/out" 2>&1 </dev/null || status=$?
    if [ "$status" -eq 0 ]; then
        echo "ok      $where ($((($(date +%s%N) - started) / 1000000)) ms): $command"
    else
        echo "FAIL    $where (exit $status): $line"
        tail -5 "$tmp/out"
        failed=$((failed + 1))
    fi
done <"$tmp/lines"

echo "$count lines, $failed failed"
# Fewer lines than this means the extraction broke, not that the documents have none.
[ "$count" -ge 20 ] || { echo "FAIL: only $count lines found"; exit 1; }
[ "$failed" -eq 0 ]
