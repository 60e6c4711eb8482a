#!/usr/bin/env bash
# Loopback throughput of FetchCore.dll against curl (and aria2c -x8 when
# installed) on one 512 MiB file from nginx, as ratios measured in the same
# run. The engine is driven through its contract by kv_engine_driver.exe
# under Wine, so its figures include Wine's start, the checkpoints and the
# SHA-256 check of the finished file; curl's include no check at all.
#
#   bench/engine_bench.sh [runs]      (build first: scripts/test or cmake --build)
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
source "$(dirname "$0")/../scripts/lib/test_servers.sh"
runs=${1:-5}
mib=512

trap 'rm -rf "$work" "$KV_TEST_WWW_DIR/bench_engine.bin"; kv_stop_started' EXIT
kv_start_wineserver
kv_start_test_http
work=$KV_BUILD/bench_engine
rm -rf "$work"
mkdir -p "$work/download" "$work/home" "$work/save"
head -c $((mib * 1024 * 1024)) /dev/urandom >"$KV_TEST_WWW_DIR/bench_engine.bin"
sha=$(sha256sum "$KV_TEST_WWW_DIR/bench_engine.bin" | cut -d' ' -f1)
url="http://127.0.0.1:$KV_TEST_HTTP_PORT/bench_engine.bin"
printf '617350001=kv\n' >"$work/download/id.dat"
printf 'name=KorvanInstall.exe\nsize=%d\nsha256=%s\nurl=%s\n' $((mib * 1024 * 1024)) "$sha" "$url" \
  >"$work/download/617350001.task"
export KV_FETCHCORE_TASK_DIR KV_FETCHCORE_HOME
KV_FETCHCORE_TASK_DIR=$(kv_windows_path "$work/download")
KV_FETCHCORE_HOME=$(kv_windows_path "$work/home")

# Prints "<wall seconds> <cpu seconds>" of one command (children included).
measure() {
  /usr/bin/time -o "$work/time.txt" -f '%e %U %S' "$@" >/dev/null 2>&1 || true
  awk '{printf "%.3f %.3f\n", $1, $2 + $3}' "$work/time.txt"
}
median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

run_tool() {  # name, command...
  local name=$1 walls=() cpus=() i
  shift
  for i in $(seq 1 "$runs"); do
    rm -f "$work/save/"* "$work/out.bin"
    read -r w c < <(measure "$@")
    walls+=("$w"); cpus+=("$c")
  done
  local wall cpu
  wall=$(printf '%s\n' "${walls[@]}" | median)
  cpu=$(printf '%s\n' "${cpus[@]}" | median)
  awk -v n="$name" -v w="$wall" -v c="$cpu" -v m="$mib" \
    'BEGIN {printf "%-10s %8.1f MB/s %6.2f CPU-s/GiB\n", n, m*1.048576/w, c*1024/m}'
  echo "$name $wall $cpu" >>"$work/figures"
}

: >"$work/figures"
run_tool curl curl -s -o "$work/out.bin" "$url"
if command -v aria2c >/dev/null; then
  run_tool aria2c aria2c -q -x8 -s8 --allow-overwrite=true -d "$work" -o out.bin "$url"
fi
driver="$KV_BUILD/tests/bin/kv_engine_driver.exe"
dll=$(kv_windows_path "$KV_BUILD/engine_stage/FetchCore.dll")
run_tool engine wine "$driver" "$dll" "$(kv_windows_path "$work/save")"
if [ "$(sha256sum "$work/save/KorvanInstall.exe" 2>/dev/null | cut -d' ' -f1)" != "$sha" ]; then
  echo "the engine's last run did not leave the right file" >&2
  exit 1
fi

awk '{w[$1]=$2; c[$1]=$3} END {
  printf "engine/curl: throughput %.2fx, CPU per GiB %.2fx\n", w["curl"]/w["engine"], c["engine"]/c["curl"];
  if ("aria2c" in w) printf "engine/aria2c -x8: throughput %.2fx\n", w["aria2c"]/w["engine"];
}' "$work/figures"
