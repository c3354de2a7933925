#!/usr/bin/env bash
# "noxadmin serve" with 10,000 users: how long the page's table data
# (api/state) takes to answer and an edit (api/user/set) to be written.
# Medians of repeated requests over loopback; a release build of the Linux
# noxadmin, or noxadmin.exe under Wine with --wine.
#
#   bench/serve_bench.sh [--wine]      (USERS=N in the environment: N users, default 10000)
#
# The browser side (load and filter in Chromium) is measured and printed by
# the browser test, tests/browser/.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)
wine=${1:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/nox-serve-bench.XXXXXX")
prefix=""
Cleanup() {
  [[ -n ${server:-} ]] && kill -INT "$server" 2>/dev/null && wait "$server" 2>/dev/null
  [[ -n $prefix ]] && NOX_WINEPREFIX=$prefix "$repo/tests/wine/server" stop >/dev/null 2>&1
  rm -rf -- "$work"
  [[ -n ${tables:-} ]] && rm -rf -- "$tables"
}
trap Cleanup EXIT

cd "$repo"
if [[ $wine == --wine ]]; then
  build=$repo/build/mingw64-bench
  cmake --preset mingw64 -B "$build" -DNOX_BUILD_BENCH=ON >/dev/null
  cmake --build "$build" -j2 --target noxadmin >/dev/null
  prefix=$work/prefix
  NOX_BUILD_DIR=$build "$repo/tests/wine/prefix" "$prefix" >/dev/null
  NOX_WINEPREFIX=$prefix "$repo/tests/wine/server" start
  tables=$build/serve-bench-tables
  noxadmin=(env NOX_WINEPREFIX="$prefix" "$repo/tests/wine/run" "$build/bin/noxadmin.exe")
else
  build=$repo/build/native-release
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNOX_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" -j2 --target noxadmin >/dev/null
  tables=$work/tables
  noxadmin=("$build/bin/noxadmin")
fi
mkdir -p "$tables"

users=${USERS:-10000}
python3 - "$work/users.csv" "$users" <<'PY'
import sys
with open(sys.argv[1], "w") as f:
    f.write("name,level,minutes,network\n")
    for i in range(int(sys.argv[2])):
        f.write("user%05d,Education High,%d,%d\n" % (i, 30 + i % 60, i % 4))
PY
cp "$work/users.csv" "$tables/users.csv"
start=$(date +%s%N)
"${noxadmin[@]}" --dir "$tables" import "$tables/users.csv" >/dev/null
echo "import of $users users: $((($(date +%s%N) - start) / 1000000)) ms"

"${noxadmin[@]}" --dir "$tables" serve --port 0 >"$work/url" 2>/dev/null &
server=$!
for _ in $(seq 200); do [[ -s $work/url ]] && break; sleep 0.05; done
python3 - "$(head -n 1 "$work/url" | tr -d '\r')" "$users" <<'PY'
import http.client, statistics, sys, time, urllib.parse
url = urllib.parse.urlsplit(sys.argv[1])
users = int(sys.argv[2])
last = "user%05d" % (users - 1)
connection = http.client.HTTPConnection(url.hostname, url.port)
def timed(method, path, body=None):
    headers = {"Content-Type": "application/x-www-form-urlencoded"} if body else {}
    start = time.perf_counter()
    connection.request(method, url.path + path, body=body, headers=headers)
    response = connection.getresponse()
    data = response.read()
    assert response.status == 200, (response.status, data[:200])
    return (time.perf_counter() - start) * 1000, len(data)
loads = [timed("GET", "api/state") for _ in range(7)]
print("api/state, %d users: median %.0f ms (%d bytes)" % (users, statistics.median(t for t, _ in loads), loads[0][1]))
edits = []
for i in range(11):
    body = urllib.parse.urlencode({"name": last, "minutes": str(100 + i), "was.minutes": str(99 + i if i else 30 + (users - 1) % 60)})
    edits.append(timed("POST", "api/user/set", body)[0])
print("api/user/set of the last user: median %.1f ms, slowest %.1f ms (goal: written within 50 ms)" % (statistics.median(edits), max(edits)))
PY
