#!/usr/bin/env bash
# Requests per second of the bundled translation server beside nginx's fixed "return 200"
# answer, in one run with alternating rounds: each server on core 0, the load generator (wrk)
# on core 1, keep-alive, 8 connections; the median of the rounds and the ratio. Then the
# server's memory with 1,000 idle connections.
#
# Loopback only: nginx listens on 127.0.0.1 with a configuration of this script's own in a
# temporary folder. nginx and wrk come from Debian's packages, installed here when missing
# (this benchmark only; the test run does not need them).
#
#   bench/trans_server_vs_nginx.sh [path/to/trans-server]
#   BENCH_ROUNDS (6), BENCH_SECONDS (3): rounds and seconds per measurement.
#
# A round measures nginx, then the server's translation and its /health back to back, so each
# round's ratios compare like with like on a machine whose other load comes and goes; the
# headline is the median of the rounds' ratios. As root, the servers and wrk run at a raised
# priority (nice -10) so that other work on the machine disturbs them less.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
server_bin=${1:-$here/build/linux-release/tools/trans-server/trans-server}
rounds=${BENCH_ROUNDS:-6}
seconds=${BENCH_SECONDS:-3}
memory_limit_kib=$((16 * 1024))

if [ ! -x "$server_bin" ]; then
  echo "no trans-server at $server_bin (build the linux-release preset first)" >&2
  exit 2
fi
if [ "$(nproc)" -lt 2 ]; then
  echo "needs two cores: one for the server, one for wrk" >&2
  exit 2
fi

install_missing() {
  local missing=()
  command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || missing+=(nginx)
  command -v wrk >/dev/null || missing+=(wrk)
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  # The package's own service must not start (it would listen on every address): a
  # policy-rc.d that refuses is put in place for the install when there is none.
  local policy=/usr/sbin/policy-rc.d placed=""
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
    $sudo chmod 755 "$policy"
    placed=1
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
  [ -z "$placed" ] || $sudo rm -f "$policy"
}
install_missing
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)

prio=()
[ "$(id -u)" -ne 0 ] || prio=(nice -n -10)

tmp=$(mktemp -d /tmp/brevant-bench-XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])' 2>/dev/null ||
    echo $((20000 + RANDOM % 20000))
}
wait_for() {  # url
  for _ in $(seq 1 100); do
    curl -s -o /dev/null "$1" && return 0
    sleep 0.05
  done
  echo "no answer from $1" >&2
  exit 1
}

nginx_port=$(free_port)
cat >"$tmp/nginx.conf" <<EOF
worker_processes 1;
daemon off;
pid $tmp/nginx.pid;
error_log $tmp/nginx-error.log;
events { worker_connections 2048; }
http {
  access_log off;
  keepalive_requests 100000000;
  client_body_temp_path $tmp/client_body;
  proxy_temp_path $tmp/proxy;
  fastcgi_temp_path $tmp/fastcgi;
  uwsgi_temp_path $tmp/uwsgi;
  scgi_temp_path $tmp/scgi;
  server {
    listen 127.0.0.1:$nginx_port;
    location / { default_type text/plain; return 200 "ok"; }
  }
}
EOF
"${prio[@]}" taskset -c 0 "$nginx_bin" -p "$tmp" -e "$tmp/nginx-error.log" -c "$tmp/nginx.conf" &
pids+=($!)

# The server as it is shipped: the phrasebook, its request log (to a file).
server_port=$(free_port)
"${prio[@]}" taskset -c 0 "$server_bin" --port "$server_port" >"$tmp/server.out" 2>"$tmp/server.log" &
server_pid=$!
pids+=($server_pid)
wait_for "http://127.0.0.1:$nginx_port/"
wait_for "http://127.0.0.1:$server_port/health"
nginx_worker=$(pgrep -P "${pids[0]}" | head -1)

# The plug-in's request: "你好，谢谢" from Chinese to English.
cat >"$tmp/post.lua" <<'EOF'
wrk.method = "POST"
wrk.body = "domain=00&text=%E4%BD%A0%E5%A5%BD%EF%BC%8C%E8%B0%A2%E8%B0%A2&lang=02"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
EOF

# CPU time a process has used, in clock ticks.
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
rate() {  # pid wrk-arguments...; prints requests per second and requests per CPU second of pid
  local pid=$1 before after rps
  shift
  before=$(ticks "$pid")
  rps=$("${prio[@]}" taskset -c 1 wrk -t1 -c8 -d"${seconds}s" "$@" | awk '/^Requests\/sec:/ { print $2 }')
  after=$(ticks "$pid")
  awk -v r="$rps" -v t=$((after - before)) -v hz="$(getconf CLK_TCK)" -v s="$seconds" \
    'BEGIN { printf "%.0f %.0f\n", r, (t > 0 ? r * s * hz / t : 0) }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: >"$tmp/rounds"
# Requests per second is what the clients see (on this machine wrk may be the limit); requests
# per CPU second of the server is what each answer costs the server.
echo "requests/s: nginx, translate, /health; per CPU second of the server: the same three;"
echo "then the ratios to nginx: translate, /health, translate per CPU s, /health per CPU s"
for r in $(seq 1 "$rounds"); do
  out=$(rate "$nginx_worker" "http://127.0.0.1:$nginx_port/")
  n=${out% *} nc=${out#* }
  out=$(rate "$server_pid" -s "$tmp/post.lua" "http://127.0.0.1:$server_port/trans2/index.asp")
  t=${out% *} tc=${out#* }
  out=$(rate "$server_pid" "http://127.0.0.1:$server_port/health")
  h=${out% *} hc=${out#* }
  echo "$n $t $h $nc $tc $hc" | awk -v r="$r" '{
    printf "%2d %7.0f %7.0f %7.0f  %7.0f %7.0f %7.0f   %5.2f %5.2f %5.2f %5.2f\n",
      r, $1, $2, $3, $4, $5, $6, $2 / $1, $3 / $1, $5 / $4, $6 / $4 }' | tee -a "$tmp/rounds"
done
column() { awk -v c="$1" '{ print $c }' "$tmp/rounds" | median; }
printf 'median %7.0f %7.0f %7.0f  %7.0f %7.0f %7.0f   %5.2f %5.2f %5.2f %5.2f\n' \
  "$(column 2)" "$(column 3)" "$(column 4)" "$(column 5)" "$(column 6)" "$(column 7)" \
  "$(column 8)" "$(column 9)" "$(column 10)" "$(column 11)"
echo "ratio to nginx (median of the rounds' ratios): requests/s translate $(column 8)," \
  "/health $(column 9); per CPU second translate $(column 10), /health $(column 11)"
if grep -qv ' 200 ' "$tmp/server.log"; then
  echo "the server answered something other than 200:" >&2
  grep -v ' 200 ' "$tmp/server.log" | head -3 >&2
fi

# Memory with 1,000 idle keep-alive connections, each after one answer (one client address,
# so the per-client limit is raised to the connection limit).
kill "$server_pid"
wait "$server_pid" 2>/dev/null || true
server_port=$(free_port)
"$server_bin" --port "$server_port" --quiet --max-connections-per-client 1000 >"$tmp/server.out" 2>&1 &
server_pid=$!
pids+=($server_pid)
wait_for "http://127.0.0.1:$server_port/health"
ulimit -n 4096
fds=()
for _ in $(seq 1 1000); do
  exec {fd}<>"/dev/tcp/127.0.0.1/$server_port"
  printf 'GET /health HTTP/1.1\r\nHost: 127.0.0.1:%s\r\n\r\n' "$server_port" >&"$fd"
  fds+=("$fd")
done
sleep 1
rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$server_pid/status")
peak=$(awk '/^VmHWM:/ { print $2 }' "/proc/$server_pid/status")
echo "memory with ${#fds[@]} idle connections: ${rss} KiB resident, peak ${peak} KiB"
# A newcomer at the limit is served: the longest idle connection makes room.
code=$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$server_port/health")
echo "a client beyond the 1,000: $code"
for fd in "${fds[@]}"; do exec {fd}>&-; done
if [ "$peak" -ge "$memory_limit_kib" ] || [ "$code" != 200 ]; then
  echo "FAILED: over ${memory_limit_kib} KiB or the newcomer refused" >&2
  exit 1
fi
