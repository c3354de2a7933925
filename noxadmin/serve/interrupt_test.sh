#!/usr/bin/env bash
# "noxadmin serve" ends on Ctrl-C (SIGINT) within 5 s with exit status 0,
# while a browser's keep-alive connection is still open, and prints its
# address at once.
#
#   interrupt_test.sh NOXADMIN
set -euo pipefail
noxadmin=$1
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT

"$noxadmin" --dir "$work" serve --port 0 >"$work/out" 2>"$work/err" &
server=$!
for _ in $(seq 100); do
  [[ -s $work/out ]] && break
  sleep 0.05
done
url=$(head -n 1 "$work/out")
[[ $url =~ ^http://127\.0\.0\.1:([0-9]+)/([0-9a-f]{32})/$ ]] || {
  echo "FAIL: no address printed: '$url'"
  kill "$server"
  exit 1
}
port=${BASH_REMATCH[1]}
token=${BASH_REMATCH[2]}

# A connection kept open, as a browser keeps one.
exec 3<>"/dev/tcp/127.0.0.1/$port"
printf 'GET /%s/api/check HTTP/1.1\r\nHost: 127.0.0.1:%s\r\nConnection: keep-alive\r\n\r\n' \
  "$token" "$port" >&3
read -r status_line <&3
[[ $status_line == "HTTP/1.1 200 OK"* ]] || {
  echo "FAIL: $status_line"
  exit 1
}

kill -INT "$server"
for _ in $(seq 100); do
  kill -0 "$server" 2>/dev/null || break
  sleep 0.05
done
if kill -0 "$server" 2>/dev/null; then
  echo "FAIL: still serving 5 s after SIGINT"
  kill -KILL "$server"
  exit 1
fi
status=0
wait "$server" || status=$?
exec 3>&-
echo "exit status after SIGINT: $status"
cat "$work/err"
[[ $status == 0 ]]
