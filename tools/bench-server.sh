#!/usr/bin/env bash
# Load test of lumoka-server on loopback with wrk: the player-score GET, then a
# 20-level upload (200 entries, every one a higher score), each for the given
# seconds over the given number of keep-alive connections. Prints requests per
# second, the latency percentiles and the errors wrk counted; a fresh database in
# a temporary folder, removed at the end. Not run by CI.
# Usage: bash tools/bench-server.sh [seconds] [connections]
set -euo pipefail
seconds=${1:-10}
connections=${2:-8}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
source tools/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target lumoka-server >/dev/null

work=$(mktemp -d)
build/release/server/lumoka-server --db "$work/bench.sqlite" --port 0 --threads "$connections" >"$work/server.log" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$work"' EXIT
port=""
for _ in $(seq 100); do
  port=$(grep -o 'listening on http://127.0.0.1:[0-9]*' "$work/server.log" | grep -o '[0-9]*$' || true)
  [ -n "$port" ] && break
  sleep 0.05
done
[ -n "$port" ] || { cat "$work/server.log" >&2; exit 1; }
url=http://127.0.0.1:$port/api
echo "[bench] lumoka-server on $url, $connections connections, $seconds s per case, $(nproc) cores"

# One upload first, so the GET finds a score.
wrk -t1 -c1 -d1s -s tools/benchserver/upload.lua "$url/leaderboard" >/dev/null

report() {
  awk -v name="$1" '
    /Requests\/sec:/ { rps = $2 }
    /^ +50%/ { p50 = $2 } /^ +99%/ { p99 = $2 }
    /requests in/ { total = $1 }
    /Non-2xx or 3xx responses:/ { bad = $5 }
    /Socket errors:/ { sock = $0 }
    END { printf "[bench] %-28s %10s req/s  p50 %8s  p99 %8s  requests %s  non-2xx %s  %s\n",
                 name, rps, p50, p99, total, bad ? bad : 0, sock ? sock : "socket errors 0" }'
}
wrk -t2 -c"$connections" -d"${seconds}s" --latency "$url/player/Level%2007/Player%2003" | report "GET /api/player/<l>/<p>"
wrk -t2 -c"$connections" -d"${seconds}s" --latency -s tools/benchserver/upload.lua "$url/leaderboard" \
  | report "POST /api/leaderboard (20 lv)"
