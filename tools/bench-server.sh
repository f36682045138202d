#!/usr/bin/env bash
# Load test of lumoka-server on loopback with wrk: the player-score GET, then a
# 20-level upload (200 entries, every one a higher score), each for the given
# seconds over the given number of keep-alive connections, on each engine asked
# for: "sqlite" (one server, a database file), "postgres" (one server on a private
# PostgreSQL cluster) and "postgres-x2" (two servers on that one database, the
# connections split between them, their requests per second added up), and
# "board": GET /api/leaderboard against one server on an SQLite store of
# 1,000,000 entries (1000 levels of 1000 players), with /healthz asked meanwhile
# and the server's peak memory (VmHWM) once it is over. Prints
# requests per second, the latency percentiles and the errors wrk counted. Fresh
# databases in temporary folders, removed at the end. Not run by CI.
# PostgreSQL runs with synchronous_commit=off, the durability of SQLite's WAL with
# synchronous=NORMAL: a machine crash may lose the last commits, never corrupts.
# Usage: bash tools/bench-server.sh [seconds] [connections] [engine...]
set -euo pipefail
seconds=${1:-10}
connections=${2:-8}
engines=("${@:3}")
[ ${#engines[@]} -gt 0 ] || engines=(sqlite postgres postgres-x2 board)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
source tools/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target lumoka-server >/dev/null

work=$(mktemp -d)
servers=()
pg_dir=""
pg_bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
as_postgres=()
[ "$(id -u)" -eq 0 ] && as_postgres=(runuser -u postgres --)

stop_servers() {
  for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  servers=()
}
cleanup() {
  stop_servers
  if [ -n "$pg_dir" ]; then
    "${as_postgres[@]}" "$pg_bin/pg_ctl" -D "$pg_dir/data" -m fast -w -t 30 stop >/dev/null 2>&1 || true
    rm -rf "$pg_dir"
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# A private cluster on a Unix socket in its own folder, owned by the user it runs as.
start_postgres() {
  [ -n "$pg_bin" ] || { echo "[bench] PostgreSQL is not installed (tools/setup.sh installs it)" >&2; exit 1; }
  pg_dir=$(mktemp -d)
  [ ${#as_postgres[@]} -eq 0 ] || chown postgres "$pg_dir"
  "${as_postgres[@]}" "$pg_bin/initdb" -D "$pg_dir/data" -U postgres -A trust -E UTF8 --locale=C >"$work/initdb.log"
  "${as_postgres[@]}" "$pg_bin/pg_ctl" -D "$pg_dir/data" -l "$pg_dir/server.log" -w -t 30 \
    -o "-k $pg_dir -c listen_addresses='' -c synchronous_commit=off" start >/dev/null
}

# start_server DATABASE THREADS: adds the server's base URL to urls once it listens.
start_server() {
  local log=$work/server-${#servers[@]}.log port=""
  # wrk's connections all come from one address: its upload rate must not limit them.
  build/release/server/lumoka-server --db "$1" --port 0 --threads "$2" --uploads-per-minute 1000000000 >"$log" 2>&1 &
  servers+=($!)
  for _ in $(seq 100); do
    port=$(grep -o 'listening on http://127.0.0.1:[0-9]*' "$log" | grep -o '[0-9]*$' || true)
    [ -n "$port" ] && { urls+=("http://127.0.0.1:$port/api"); return; }
    sleep 0.05
  done
  cat "$log" >&2
  exit 1
}

# Reads wrk outputs; prints one line: requests per second added up, the slowest
# instance's p50 and p99, requests, non-2xx responses and socket errors.
report() {
  awk -v name="$1" '
    function ms(v) { if (v ~ /us$/) return v / 1000; if (v ~ /ms$/) return v + 0; if (v ~ /s$/) return v * 1000; return v }
    /Requests\/sec:/ { rps += $2 }
    /^ +50%/ { if (ms($2) > p50) p50 = ms($2) } /^ +99%/ { if (ms($2) > p99) p99 = ms($2) }
    /requests in/ { total += $1 }
    /Non-2xx or 3xx responses:/ { bad += $5 }
    /Socket errors:/ { sock = sock $0 " " }
    END { printf "[bench] %-40s %10.0f req/s  p50 %7.2fms  p99 %7.2fms  requests %d  non-2xx %d  %s\n",
                 name, rps, p50, p99, total, bad, sock ? sock : "socket errors 0" }' "${@:2}"
}

# load NAME PATH WRK-ARGS...: one wrk per server at once, each told its index.
load() {
  local name=$1 path=$2 pids=() i
  shift 2
  for i in "${!urls[@]}"; do
    wrk -t2 -c"$share" -d"${seconds}s" --latency "$@" "${urls[$i]}$path" -- "$i" >"$work/$name-$i.txt" &
    pids+=($!)
  done
  wait "${pids[@]}"
}

# measure NAME DATABASE INSTANCES: the two cases against INSTANCES servers on DATABASE.
measure() {
  local urls=() i
  local share=$(( connections / $3 > 0 ? connections / $3 : 1 ))
  for i in $(seq "$3"); do start_server "$2" "$share"; done
  # One upload first, so the GET finds a score.
  wrk -t1 -c1 -d1s -s tools/benchserver/upload.lua "${urls[0]}/leaderboard" >/dev/null
  load get /player/Level%2007/Player%2003
  report "$1 GET /api/player/<l>/<p>" "$work"/get-*.txt
  load post /leaderboard -s tools/benchserver/upload.lua
  report "$1 POST /api/leaderboard (20 lv)" "$work"/post-*.txt
  rm -f "$work"/get-*.txt "$work"/post-*.txt
  stop_servers
}

# An SQLite store of a million entries, made by the server's own schema and then
# filled in one statement (uploads would meet the server's own limits).
fill_board() {
  local urls=()
  start_server "$1" 1
  stop_servers
  sqlite3 "$1" "
    WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 999)
    INSERT INTO levels (name) SELECT 'Level ' || i FROM n;
    WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 999999)
    INSERT INTO scores (level_id, player, score, time, highest_layer, highest_combo)
    SELECT i % 1000 + 1, 'Player ' || (i / 1000), (i * 7919) % 1000003, 60, '3/8', 40 FROM n;"
}

# The slowest of the /healthz answers asked for one after another until the file $1 exists.
slowest_health() {
  local slowest=0 took
  while [ ! -e "$1" ]; do
    took=$(curl -s -o /dev/null -w '%{time_total}' "${urls[0]%/api}/healthz" || echo 99)
    slowest=$(awk -v a="$slowest" -v b="$took" 'BEGIN { print (b > a ? b : a) }')
  done
  awk -v s="$slowest" 'BEGIN { printf "%.0f", s * 1000 }'
}

measure_board() {
  local urls=() share=$connections
  fill_board "$work/board.sqlite"
  start_server "$work/board.sqlite" 8
  local bytes
  bytes=$(curl -s "${urls[0]}/leaderboard" | wc -c)
  slowest_health "$work/board.done" >"$work/health.txt" &
  local watcher=$!
  load board /leaderboard
  touch "$work/board.done"
  wait "$watcher"
  local peak
  peak=$(awk '/VmHWM/ { printf "%.0f", $2 / 1024 }' "/proc/${servers[0]}/status")
  report "board GET /api/leaderboard (1M entries)" "$work"/board-*.txt
  echo "[bench] board: a page is $bytes bytes, slowest /healthz $(cat "$work/health.txt") ms, server peak memory $peak MiB"
  stop_servers
}

echo "[bench] lumoka-server, $connections connections, $seconds s per case, $(nproc) cores"
for engine in "${engines[@]}"; do
  case $engine in
    sqlite) measure "sqlite" "$work/bench.sqlite" 1 ;;
    postgres|postgres-x2)
      [ -n "$pg_dir" ] || start_postgres
      db=bench_${engine//-/_}
      "${as_postgres[@]}" "$pg_bin/psql" -h "$pg_dir" -U postgres -d postgres -qc "CREATE DATABASE $db" >/dev/null
      measure "$engine" "host=$pg_dir user=postgres dbname=$db" $([ "$engine" = postgres ] && echo 1 || echo 2) ;;
    board) measure_board ;;
    *) echo "[bench] unknown engine $engine (sqlite, postgres, postgres-x2, board)" >&2; exit 2 ;;
  esac
done
