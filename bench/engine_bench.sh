#!/usr/bin/env bash
# Throughput and CPU of FetchCore.dll against curl and aria2c -x8, as ratios
# measured in the same run:
#
#  1. loopback: one 512 MiB file from nginx on 127.0.0.1 (median of runs);
#  2. a shaped link the script builds itself: two network namespaces joined
#     by a veth pair, 100 Mbit/s (ifb + tbf) towards the client, 1 % of the
#     server's packets dropped, 80 ms round trip (an NFQUEUE program holds
#     each packet 40 ms on each side), the server on CUBIC; one run each.
#
# The engine is driven through its contract by kv_engine_driver.exe under
# Wine, so its figures include Wine's start, the checkpoints and the SHA-256
# check of the file; curl's and aria2c's include no check at all. CPU counts
# the tool and its children, and for the engine also the wine server's share.
# On loopback two more figures put the check in its place: curl followed by
# sha256sum (a download that is checked too), and the platform's SHA-256
# alone over the same file under the same Wine (the driver's --hash), which
# the engine's figure less that one leaves as the cost of the transfer.
# Both parts also run a bare Winsock reader (winsock_reader.exe: the same
# connections, blocking reads into 1 MiB, nothing written or checked) under
# the same Wine: the floor for the engine's CPU per GiB of the transfer.
#
#   bench/engine_bench.sh [runs]      (build first: scripts/test or cmake --build)
#
# Environment: KV_BENCH_LOOPBACK=0 or KV_BENCH_SHAPED=0 skips that part; KV_BENCH_SHAPED_MIB
# its file size (default 32); KV_WINE, KV_WINESERVER, KV_DRIVER, KV_READER, KV_FETCHCORE
# another Wine loader, wine server, driver or library than the build's.
# Installs what it lacks with apt-get (aria2, iptables, ethtool,
# libnetfilter-queue-dev); needs root for the shaped link.
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
source "$(dirname "$0")/../scripts/lib/test_servers.sh"
runs=${1:-5}
mib=512
shaped_mib=${KV_BENCH_SHAPED_MIB:-32}
wine_cmd=${KV_WINE:-wine}
wineserver_cmd=${KV_WINESERVER:-wineserver}
driver=${KV_DRIVER:-$KV_BUILD/tests/bin/kv_engine_driver.exe}
dll=${KV_FETCHCORE:-$KV_BUILD/engine_stage/FetchCore.dll}
reader=${KV_READER:-$KV_BUILD/bench/winsock_reader.exe}
bench_dir=$(cd "$(dirname "$0")" && pwd)
work=$KV_BUILD/bench_engine
ns_srv=kvb_srv
ns_cli=kvb_cli
ip_srv=10.213.77.1
ip_cli=10.213.77.2
wineserver_pid=
helper_pids=()

ensure_packages() {  # command:package ...
  local missing=() pair
  for pair in "$@"; do
    if [ "${pair%%:*}" = "header" ]; then
      [ -f /usr/include/libnetfilter_queue/libnetfilter_queue.h ] || missing+=("${pair#*:}")
    else
      command -v "${pair%%:*}" >/dev/null || missing+=("${pair#*:}")
    fi
  done
  [ ${#missing[@]} = 0 ] && return 0
  echo "installing ${missing[*]}" >&2
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null
}

# Every process inside the script's own namespaces (all started here).
ns_pids() {
  ip netns pids "$ns_cli" 2>/dev/null || true
  ip netns pids "$ns_srv" 2>/dev/null || true
}
cleanup() {
  local pid i
  trap '' INT TERM HUP
  for pid in "${helper_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${helper_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [ -d "$work/cli_prefix" ]; then
    WINEPREFIX=$work/cli_prefix ip netns exec "$ns_cli" "$wineserver_cmd" -k 2>/dev/null || true
  fi
  # A helper started through a shell function runs in a subshell whose PID
  # is not the program's: the nginx master could outlive the kill above.
  # Whatever still runs in our namespaces is ours; end it before the
  # namespaces go.
  [ -s "$work/shaped_nginx/nginx.pid" ] && kill "$(cat "$work/shaped_nginx/nginx.pid")" 2>/dev/null || true
  for pid in $(ns_pids); do kill "$pid" 2>/dev/null || true; done
  for i in $(seq 1 30); do
    [ -z "$(ns_pids)" ] && break
    sleep 0.1
  done
  for pid in $(ns_pids); do kill -9 "$pid" 2>/dev/null || true; done
  ip netns del "$ns_cli" 2>/dev/null || true
  ip netns del "$ns_srv" 2>/dev/null || true
  [ -n "$wineserver_pid" ] && { "$wineserver_cmd" -k 2>/dev/null || true; wait "$wineserver_pid" 2>/dev/null || true; }
  kv_stop_started
  rm -rf "$work" "$KV_TEST_WWW_DIR/bench_engine.bin"
}
trap cleanup EXIT
# A signal ends the script through its EXIT trap, not around it.
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

ensure_packages aria2c:aria2
rm -rf "$work"
mkdir -p "$work/download" "$work/home" "$work/save"
mkdir -p "$WINEPREFIX"
"$wineserver_cmd" -f -p </dev/null >/dev/null 2>&1 &
wineserver_pid=$!
"$wine_cmd" wineboot -i </dev/null >/dev/null 2>&1 || true
kv_start_test_http
head -c $((mib * 1024 * 1024)) /dev/urandom >"$KV_TEST_WWW_DIR/bench_engine.bin"
sha=$(sha256sum "$KV_TEST_WWW_DIR/bench_engine.bin" | cut -d' ' -f1)
url="http://127.0.0.1:$KV_TEST_HTTP_PORT/bench_engine.bin"
printf '617350001=kv\n' >"$work/download/id.dat"
# The engine gets a piece list as a release build writes it (KV_BENCH_PIECE
# bytes a piece, default 4 MiB; 0 for the whole-file check alone).
piece=${KV_BENCH_PIECE:-4194304}
write_task() {  # size sha url file
  printf 'name=KorvanInstall.exe\nsize=%d\nsha256=%s\nurl=%s\n' "$1" "$2" "$3" >"$work/download/617350001.task"
  rm -f "$work/download/617350001.pieces"
  [ "$piece" = 0 ] && return 0
  split -b "$piece" --filter 'sha256sum | cut -c1-64' "$4" >"$work/download/617350001.pieces"
  printf 'piece_size=%d\npieces_sha256=%s\n' "$piece" \
    "$(sha256sum "$work/download/617350001.pieces" | cut -d' ' -f1)" >>"$work/download/617350001.task"
}
write_task $((mib * 1024 * 1024)) "$sha" "$url" "$KV_TEST_WWW_DIR/bench_engine.bin"
export KV_FETCHCORE_TASK_DIR KV_FETCHCORE_HOME
KV_FETCHCORE_TASK_DIR=$(kv_windows_path "$work/download")
KV_FETCHCORE_HOME=$(kv_windows_path "$work/home")
dll_win=$(kv_windows_path "$dll")
save_win=$(kv_windows_path "$work/save")

# CPU seconds a process has used so far (0 when it is gone).
cpu_of() {
  awk -v hz="$(getconf CLK_TCK)" '{printf "%.3f\n", ($14 + $15) / hz}' "/proc/$1/stat" 2>/dev/null || echo 0
}
# Prints "<wall seconds> <cpu seconds>" of one command (children included);
# with $server_pid set, that process's CPU meanwhile is added.
server_pid=
measure() {
  local before=0 after=0
  [ -n "$server_pid" ] && before=$(cpu_of "$server_pid")
  /usr/bin/time -o "$work/time.txt" -f '%e %U %S' "$@" >/dev/null 2>&1 || true
  [ -n "$server_pid" ] && after=$(cpu_of "$server_pid")
  awk -v extra="$(awk -v a="$after" -v b="$before" 'BEGIN {print a - b}')" \
    '{printf "%.3f %.3f\n", $1, $2 + $3 + extra}' "$work/time.txt"
}
median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

run_tool() {  # figures file, MiB, runs, name, command...
  local figures=$1 size=$2 count=$3 name=$4 walls=() cpus=() i w c
  shift 4
  for i in $(seq 1 "$count"); do
    rm -rf "$work/save/"* "$work/out.bin" "$work/home/"*
    read -r w c < <(measure "$@")
    walls+=("$w"); cpus+=("$c")
  done
  local wall cpu
  wall=$(printf '%s\n' "${walls[@]}" | median)
  cpu=$(printf '%s\n' "${cpus[@]}" | median)
  awk -v n="$name" -v w="$wall" -v c="$cpu" -v m="$size" \
    'BEGIN {printf "  %-10s %8.1f MB/s %6.2f CPU-s/GiB  (%.2f s)\n", n, m*1.048576/w, c*1024/m, w}'
  echo "$name $wall $cpu $size" >>"$figures"
}

check_engine_file() {  # expected sha
  if [ "$(sha256sum "$work/save/KorvanInstall.exe" 2>/dev/null | cut -d' ' -f1)" != "$1" ]; then
    echo "the engine's last run did not leave the right file" >&2
    exit 1
  fi
}

ratios() {  # figures file
  awk '{w[$1]=$2; c[$1]=$3; m[$1]=$4} END {
    printf "  engine/curl: throughput %.2fx, CPU per GiB %.2fx\n", w["curl"]/w["engine"], c["engine"]/c["curl"];
    printf "  engine/aria2c -x8: throughput %.2fx, CPU per GiB %.2fx\n", w["aria2c"]/w["engine"], c["engine"]/c["aria2c"];
    if ("curl+sha" in w)
      printf "  engine/(curl, then sha256sum): throughput %.2fx, CPU per GiB %.2fx\n", w["curl+sha"]/w["engine"], c["engine"]/c["curl+sha"];
    if ("hash" in w)
      printf "  engine less the platform SHA-256 (%.2f CPU-s, %.0f MB/s alone)/curl: CPU per GiB %.2fx\n", c["hash"], m["hash"]*1.048576/w["hash"], (c["engine"]-c["hash"])/c["curl"];
    if (("curl+sha" in w) && ("hash" in w)) {
      t = w["curl+sha"]/w["engine"]
      printf "  goal: throughput >= 1.00x (curl, then sha256sum): %.2fx, %s\n", t, (t >= 1 ? "met" : "MISSED")
      limit = (c["curl+sha"] + c["hash"]) * 1024 / m["engine"]
      printf "  goal: engine CPU per GiB <= (curl, then sha256sum) + platform SHA-256 = %.2f: %.2f, %s\n", limit, c["engine"]*1024/m["engine"], (c["engine"]*1024/m["engine"] <= limit ? "met" : "MISSED")
    }
    if ("winsock" in w)
      printf "  engine%s/bare Winsock reader (same Wine, same connections): CPU per GiB %.2fx, throughput %.2fx\n", ("hash" in w) ? " less the platform SHA-256" : "", (c["engine"]-c["hash"])/c["winsock"], w["winsock"]/w["engine"];
  }' "$1"
}

if [ "${KV_BENCH_LOOPBACK:-1}" != 0 ]; then
echo "loopback, $mib MiB from nginx, median of $runs runs:"
: >"$work/loopback"
run_tool "$work/loopback" "$mib" "$runs" curl curl -s -o "$work/out.bin" "$url"
run_tool "$work/loopback" "$mib" "$runs" aria2c \
  aria2c -q -x8 -s8 -k1M --file-allocation=none --allow-overwrite=true -d "$work" -o out.bin "$url"
server_pid=$wineserver_pid
run_tool "$work/loopback" "$mib" "$runs" engine "$wine_cmd" "$driver" "$dll_win" "$save_win"
check_engine_file "$sha"
run_tool "$work/loopback" "$mib" "$runs" winsock "$wine_cmd" "$reader" 127.0.0.1 "$KV_TEST_HTTP_PORT" \
  /bench_engine.bin $((mib * 1024 * 1024)) 8
run_tool "$work/loopback" "$mib" "$runs" hash "$wine_cmd" "$driver" --hash "$(kv_windows_path "$KV_TEST_WWW_DIR/bench_engine.bin")"
server_pid=
run_tool "$work/loopback" "$mib" "$runs" curl+sha sh -c 'curl -s -o "$1" "$2" && sha256sum "$1"' sh "$work/out.bin" "$url"
ratios "$work/loopback"
fi
rm -f "$KV_TEST_WWW_DIR/bench_engine.bin"

[ "${KV_BENCH_SHAPED:-1}" = 0 ] && exit 0

# ---- the shaped link -------------------------------------------------------
shaped_fail() {
  echo "shaped link: not measured: $*" >&2
  exit 0
}
[ "$(id -u)" = 0 ] || shaped_fail "needs root (network namespaces, tc, iptables)"
ensure_packages iptables:iptables ethtool:ethtool gcc:gcc header:libnetfilter-queue-dev ||
  shaped_fail "could not install iptables, ethtool, gcc or libnetfilter-queue-dev"
gcc -O2 -o "$work/nfq_delay" "$bench_dir/nfq_delay.c" -lnetfilter_queue ||
  shaped_fail "the NFQUEUE delay program does not build"

in_srv() { ip netns exec "$ns_srv" "$@"; }
in_cli() { ip netns exec "$ns_cli" "$@"; }
ip netns del "$ns_cli" 2>/dev/null || true
ip netns del "$ns_srv" 2>/dev/null || true
ip netns add "$ns_srv" && ip netns add "$ns_cli" || shaped_fail "ip netns add refused"
ip link add vsrv netns "$ns_srv" type veth peer name vcli netns "$ns_cli" || shaped_fail "no veth pair"
in_srv ip addr add "$ip_srv/24" dev vsrv
in_cli ip addr add "$ip_cli/24" dev vcli
in_srv ip link set lo up; in_srv ip link set vsrv up
in_cli ip link set lo up; in_cli ip link set vcli up
# Segments as on a real link: no offloads that would make 64 KiB packets.
in_srv ethtool -K vsrv tso off gso off gro off >/dev/null 2>&1 || true
in_cli ethtool -K vcli tso off gso off gro off >/dev/null 2>&1 || true
# Rate: the client's ingress goes through an ifb with a token bucket.
in_cli ip link add ifb0 type ifb || shaped_fail "no ifb device"
in_cli ip link set ifb0 up
in_cli tc qdisc add dev vcli handle ffff: ingress || shaped_fail "no ingress qdisc"
in_cli tc filter add dev vcli parent ffff: protocol ip u32 match u32 0 0 action mirred egress redirect dev ifb0 ||
  shaped_fail "no mirred redirect to the ifb"
in_cli tc qdisc add dev ifb0 root tbf rate 100mbit burst 64kb limit 1mb || shaped_fail "no tbf"
# Loss: 1 % of what the server sends; delay: 40 ms each way (80 ms round trip).
in_cli iptables -t raw -A PREROUTING -i vcli -m statistic --mode random --probability 0.01 -j DROP ||
  shaped_fail "iptables statistic match refused"
in_cli iptables -t raw -A PREROUTING -i vcli -j NFQUEUE --queue-num 1 --queue-bypass || shaped_fail "no NFQUEUE"
in_srv iptables -t raw -A PREROUTING -i vsrv -j NFQUEUE --queue-num 2 --queue-bypass || shaped_fail "no NFQUEUE"
in_cli "$work/nfq_delay" 1 40000 &
helper_pids+=($!)
in_srv "$work/nfq_delay" 2 40000 &
helper_pids+=($!)
in_srv ip route change 10.213.77.0/24 dev vsrv proto kernel scope link src "$ip_srv" congctl cubic ||
  shaped_fail "cannot set CUBIC on the server's route"


# The server: nginx inside its namespace, the same document root.
mkdir -p "$work/shaped_nginx/logs" "$work/shaped_nginx/temp" "$work/www"
head -c $((shaped_mib * 1024 * 1024)) /dev/urandom >"$work/www/shaped.bin"
shaped_sha=$(sha256sum "$work/www/shaped.bin" | cut -d' ' -f1)
cat >"$work/shaped_nginx/nginx.conf" <<EOF
$(kv_nginx_head "$work/shaped_nginx")
http {
  access_log off;
$(kv_nginx_temp_paths "$work/shaped_nginx")
  server { listen $ip_srv:80; root $work/www; location / { } }
}
EOF
in_srv nginx -p "$work/shaped_nginx" -c "$work/shaped_nginx/nginx.conf" -g 'daemon off;' </dev/null >/dev/null 2>&1 &
helper_pids+=($!)
sleep 1
shaped_url="http://$ip_srv/shaped.bin"
rtt=$(in_cli curl -s -o /dev/null -r 0-0 -w '%{time_connect}' "$shaped_url") || shaped_fail "the client cannot reach the server"

# Wine opens its sockets in its server's namespace: a wine server of its
# own inside the client namespace, on a copy of the prefix.
cp -a "$WINEPREFIX" "$work/cli_prefix"
rm -f "$work/cli_prefix/.update-timestamp.lock"
(export WINEPREFIX=$work/cli_prefix; in_cli setsid -f "$wineserver_cmd" -f -p </dev/null >/dev/null 2>&1)
sleep 1
cli_server_pid=
for pid in $(ip netns pids "$ns_cli"); do
  case "$(cat "/proc/$pid/comm" 2>/dev/null)" in wineserver*) cli_server_pid=$pid ;; esac
done
write_task $((shaped_mib * 1024 * 1024)) "$shaped_sha" "$shaped_url" "$work/www/shaped.bin"
# The first program of a fresh wine server starts Wine's services; that is
# not the engine's time.
WINEPREFIX=$work/cli_prefix ip netns exec "$ns_cli" "$wine_cmd" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true

echo "shaped link (100 Mbit/s, 1 % loss towards the client, TCP connect $(awk -v t="$rtt" 'BEGIN {printf "%.1f", t * 1000}') ms, server on CUBIC), $shaped_mib MiB, one run each:"
: >"$work/shaped"
run_tool "$work/shaped" "$shaped_mib" 1 curl ip netns exec "$ns_cli" curl -s -o "$work/out.bin" "$shaped_url"
run_tool "$work/shaped" "$shaped_mib" 1 aria2c \
  ip netns exec "$ns_cli" aria2c -q -x8 -s8 -k1M --file-allocation=none --allow-overwrite=true -d "$work" -o out.bin "$shaped_url"
server_pid=$cli_server_pid
run_tool "$work/shaped" "$shaped_mib" 1 engine \
  env WINEPREFIX="$work/cli_prefix" ip netns exec "$ns_cli" "$wine_cmd" "$driver" "$dll_win" "$save_win"
check_engine_file "$shaped_sha"
run_tool "$work/shaped" "$shaped_mib" 1 winsock \
  env WINEPREFIX="$work/cli_prefix" ip netns exec "$ns_cli" "$wine_cmd" "$reader" "$ip_srv" 80 /shaped.bin \
  $((shaped_mib * 1024 * 1024)) 8
run_tool "$work/shaped" "$shaped_mib" 1 hash \
  env WINEPREFIX="$work/cli_prefix" ip netns exec "$ns_cli" "$wine_cmd" "$driver" --hash "$(kv_windows_path "$work/www/shaped.bin")"
ratios "$work/shaped"
