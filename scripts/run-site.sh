#!/bin/sh
# scripts/run.sh site: a site on this machine. A throwaway PostgreSQL cluster (Debian's server
# programs, run as the user postgres when started as root) listening on 127.0.0.1 only, on
# the first free port from 25432; its database made by `norda-cli journal init-db`; the
# device simulator with the demonstration project; two monitors sharing its devices (one
# shard: a hot standby); and a console watching the database. Everything, the cluster's
# data folder included, is stopped and removed on exit (Ctrl+C).
set -eu
cd "$(dirname "$0")/.."
# NORDA_NO_BUILD=1: a tree already built.
[ -n "${NORDA_NO_BUILD:-}" ] || scripts/build.sh

pgbin=${NORDA_PG_BIN:-/usr/lib/postgresql/15/bin}
demo=build/demo-site
mkdir -p "$demo/ports"
demo_abs=$(cd "$demo" && pwd)
[ ! -x build/app/norda-console ] || cp build/app/norda-console "$demo/"
cp scripts/demo/demo.mpj "$demo/demo.mpj"
rm -f "$demo"/mon*.jsonl "$demo"/mon*.jsonl.lock
export NORDA_VIRTUAL_PORTS="$demo_abs/ports"

# The cluster's folder: somewhere the user postgres can enter when run as root.
cluster=$(mktemp -d /tmp/norda-site.XXXXXX)
chmod 755 "$cluster"
as_server() { "$@"; }
if [ "$(id -u)" = 0 ]; then
    chown postgres: "$cluster"
    as_server() { runuser -u postgres -- "$@"; }
fi
pids=""
port=""
cleanup() {
    for pid in $pids; do kill "$pid" 2>/dev/null || true; done
    for pid in $pids; do wait "$pid" 2>/dev/null || true; done
    [ -z "$port" ] || as_server "$pgbin/pg_ctl" -D "$cluster/data" -m fast -w stop >/dev/null 2>&1 || true
    rm -rf "$cluster"
}
trap cleanup EXIT INT TERM

# Trust on 127.0.0.1 only: a demonstration cluster that lives as long as this script.
as_server "$pgbin/initdb" -D "$cluster/data" -U postgres --auth=trust -E UTF8 --no-sync >"$demo/initdb.log"
for candidate in 25432 25433 25434 25435 25436 25437 25438 25439; do
    cat >"$cluster/data/postgresql.auto.conf" <<CONF
listen_addresses = '127.0.0.1'
port = $candidate
unix_socket_directories = '$cluster'
tcp_keepalives_idle = 1
tcp_keepalives_interval = 1
tcp_keepalives_count = 2
CONF
    chown --reference="$cluster/data" "$cluster/data/postgresql.auto.conf"
    if as_server "$pgbin/pg_ctl" -D "$cluster/data" -l "$cluster/server.log" -w start >/dev/null; then
        port=$candidate
        break
    fi
done
if [ -z "$port" ]; then
    echo "PostgreSQL could not start:" >&2
    cat "$cluster/server.log" >&2
    exit 2
fi
psql() { "$pgbin/psql" -X -q -h 127.0.0.1 -p "$port" -U postgres "$@"; }
psql -d postgres -c "CREATE DATABASE site;"
build/tools/cli/norda-cli journal init-db "postgresql://postgres@127.0.0.1:$port/site"
psql -d site -c "CREATE ROLE mon1 LOGIN IN ROLE site_monitor; CREATE ROLE mon2 LOGIN IN ROLE site_monitor;
    CREATE ROLE duty1 LOGIN IN ROLE site_console; CREATE ROLE duty2 LOGIN IN ROLE site_console;"
echo "PostgreSQL on 127.0.0.1:$port, database site (server log: $cluster/server.log)."

status_port=18180
while ss -ltn "sport = :$status_port" | grep -q LISTEN; do status_port=$((status_port + 1)); done
build/tools/devsim/norda-devsim --project "$demo/demo.mpj" --status-port "$status_port" \
    --timeline scripts/demo/timeline.txt >"$demo/devsim.log" 2>&1 &
pids="$pids $!"
sleep 1
for monitor in mon1 mon2; do
    (cd "$demo" && exec ../tools/cli/norda-cli monitor demo.mpj --status-port "$status_port" \
        --database "postgresql://$monitor@127.0.0.1:$port/site" --spill-file "$monitor.jsonl") \
        >"$demo/$monitor.events" 2>"$demo/$monitor.log" &
    pids="$pids $!"
    echo "Monitor $monitor: process $!, log $demo/$monitor.log"
    sleep 2
done

cat >"$demo/settings.ini" <<INI
[application]
rivar=1

[paths]
lastproject=$demo_abs/demo.mpj

[network]
statusport=$status_port

[journal]
database="postgresql://duty1@127.0.0.1:$port/site"
INI
echo "Kill the monitor that holds the shard (kill -9 with the process above) and watch the"
echo "other take over in its log; a second console: see docs/site.md, \"Trying it out\"."
cd "$demo"
if [ ! -x norda-console ] || { [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; }; then
    echo "No display: showing the monitors' logs for 60 s."
    sleep 60
    cat mon1.log mon2.log
else
    ./norda-console
fi
