#!/usr/bin/env bash
# Kill campaign: the driver (FetchCore.dll through its contract) downloads a
# file from its own nginx on loopback and is killed (SIGKILL, no clean shut
# down) at random instants, again and again; a last run finishes it. Prints
# per kill what the engine had on disk when that run started, what it had
# received when killed, what nginx sent in that run (its access log) and
# what of that the next run had to fetch again; then the final SHA-256
# check. Long, so not part of ctest.
#
#   bench/engine_kill_campaign.sh [kills=20] [MiB=256]
#
# Each kill comes 0.1 to 1.2 s (at random) after the engine started.
# Environment: KV_CAMPAIGN_RATE  nginx rate per connection (default 2m), so
# that 20 kills fit in one transfer; KV_WINE the Wine loader (default wine);
# KV_DRIVER, KV_FETCHCORE  another driver or library than the build's.
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
source "$(dirname "$0")/../scripts/lib/test_servers.sh"
kills=${1:-20}
mib=${2:-256}
rate=${KV_CAMPAIGN_RATE:-2m}
wine_cmd=${KV_WINE:-wine}
driver=${KV_DRIVER:-$KV_BUILD/tests/bin/kv_engine_driver.exe}
dll=${KV_FETCHCORE:-$KV_BUILD/engine_stage/FetchCore.dll}
work=$KV_BUILD/kill_campaign
nginx_pid=

cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$work/www" "$work/save"
  [ -z "${KV_WINE:-}" ] && kv_stop_started
  return 0
}
trap cleanup EXIT
[ -z "${KV_WINE:-}" ] && kv_start_wineserver

rm -rf "$work"
mkdir -p "$work/www" "$work/logs" "$work/temp" "$work/download" "$work/home" "$work/save" "$work/runs"
head -c $((mib * 1024 * 1024)) /dev/urandom >"$work/www/file.bin"
size=$((mib * 1024 * 1024))
sha=$(sha256sum "$work/www/file.bin" | cut -d' ' -f1)

port=
for p in $(seq 18541 18580); do
  kv_port_in_use "$p" || { port=$p; break; }
done
[ -n "$port" ] || { echo "no free port" >&2; exit 1; }
cat >"$work/nginx.conf" <<EOF
$(kv_nginx_head "$work")
http {
  log_format sent '\$request_method \$uri \$status "\$http_range" \$body_bytes_sent';
  access_log $work/logs/access.log sent;
$(kv_nginx_temp_paths "$work")
  server {
    listen 127.0.0.1:$port;
    root $work/www;
    location / { limit_rate $rate; }
  }
}
EOF
: >"$work/logs/access.log"
nginx -p "$work" -c "$work/nginx.conf" -g 'daemon off;' </dev/null >/dev/null 2>&1 &
nginx_pid=$!
for _ in $(seq 1 50); do kv_port_in_use "$port" && break; sleep 0.1; done

printf '617350001=kv\n' >"$work/download/id.dat"
printf 'name=KorvanInstall.exe\nsize=%d\nsha256=%s\nurl=http://127.0.0.1:%d/file.bin\n' "$size" "$sha" "$port" \
  >"$work/download/617350001.task"
export KV_FETCHCORE_TASK_DIR KV_FETCHCORE_HOME KV_ENGINE_DRIVER_REPORT=1
KV_FETCHCORE_TASK_DIR=$(kv_windows_path "$work/download")
KV_FETCHCORE_HOME=$(kv_windows_path "$work/home")
save_win=$(kv_windows_path "$work/save")
dll_win=$(kv_windows_path "$dll")

# Waits until nginx has closed (and so logged) every connection of a run.
wait_for_nginx_quiet() {
  local i
  for i in $(seq 1 100); do
    [ "$(ss -tnH "( sport = :$port )" | grep -vc TIME-WAIT)" = 0 ] && return 0
    sleep 0.1
  done
}
log_lines() { wc -l <"$work/logs/access.log"; }
sent_since() {  # sum of body bytes of the log lines after line $1
  tail -n +"$(($1 + 1))" "$work/logs/access.log" | awk '{s += $NF} END {printf "%d\n", s}'
}
run_driver() {  # run number; background, sets driver_pid
  "$wine_cmd" "$driver" "$dll_win" "$save_win" </dev/null >"$work/runs/$1.txt" 2>/dev/null &
  driver_pid=$!
}

done_kills=0
finished_early=0
: >"$work/figures"
for k in $(seq 1 "$kills"); do
  before=$(log_lines)
  run_driver "$k"
  # The instant counts from the engine's start, not Wine's.
  for _ in $(seq 1 300); do
    grep -q '^start' "$work/runs/$k.txt" 2>/dev/null || ! kill -0 "$driver_pid" 2>/dev/null && break
    sleep 0.05
  done
  delay=$(awk -v s="$RANDOM" 'BEGIN {srand(s); printf "%.2f", 0.1 + rand() * 1.1}')
  sleep "$delay"
  if ! kill -0 "$driver_pid" 2>/dev/null; then
    wait "$driver_pid" || true
    finished_early=1
    break
  fi
  kill -KILL "$driver_pid"
  wait "$driver_pid" 2>/dev/null || true
  wait_for_nginx_quiet
  start=$(awk '$1 == "start" {print $2; exit}' "$work/runs/$k.txt")
  last=$(awk '$1 == "start" || $1 == "at" {v = $2} END {print v + 0}' "$work/runs/$k.txt")
  echo "$k $delay ${start:--} $last $(sent_since "$before")" >>"$work/figures"
  done_kills=$k
done

final=$((done_kills + 1))
before=$(log_lines)
[ "$finished_early" = 1 ] || { run_driver "$final"; wait "$driver_pid" || true; }
wait_for_nginx_quiet
final_start=$(awk '$1 == "start" {print $2; exit}' "$work/runs/$final.txt" 2>/dev/null || echo 0)
final_code=$(awk '$1 == "end" {print $2}' "$work/runs/$final.txt" 2>/dev/null || echo "?")
echo "$final final ${final_start:--} $size $(sent_since "$before")" >>"$work/figures"
got=$(sha256sum "$work/save/KorvanInstall.exe" 2>/dev/null | cut -d' ' -f1 || true)

echo "kill campaign: $mib MiB from nginx on loopback, $rate per connection, $done_kills kills (SIGKILL)"
awk -v size="$size" '
  # A run killed before its engine started had what the run before had.
  { n[NR] = $1; delay[NR] = $2; start[NR] = $3 == "-" ? (NR > 1 ? start[NR - 1] : 0) : $3
    last[NR] = $3 == "-" ? start[NR] : $4; sent[NR] = $5 }
  END {
    M = 1048576
    printf "%5s %7s %12s %13s %11s %14s %14s\n", "kill", "after", "on disk at", "received at", "nginx sent", "lost (driver)", "lost (nginx)"
    printf "%5s %7s %12s %13s %11s %14s %14s\n", "", "s", "start MiB", "kill MiB", "MiB", "MiB", "MiB"
    for (i = 1; i < NR; i++) {
      gained = start[i + 1] - start[i]
      lost_driver = last[i] - start[i + 1]; lost_nginx = sent[i] - gained
      if (lost_nginx > worst) worst = lost_nginx
      if (lost_driver > worst_driver) worst_driver = lost_driver
      total_lost += lost_nginx; total_sent += sent[i]
      printf "%5d %7s %12.1f %13.1f %11.1f %14.1f %14.1f\n", n[i], delay[i], start[i] / M, last[i] / M, sent[i] / M, lost_driver / M, lost_nginx / M
    }
    total_sent += sent[NR]
    printf "final run: started with %.1f MiB on disk, nginx sent %.1f MiB\n", start[NR] / M, sent[NR] / M
    printf "all runs: nginx sent %.1f MiB for a %.1f MiB file (%.1f MiB fetched again in all)\n", total_sent / M, size / M, (total_sent - size) / M
    if (NR > 1) printf "per resume: at most %.1f MiB lost by the driver, at most %.1f MiB sent again by nginx, %.1f MiB on average\n", worst_driver / M, worst / M, total_lost / M / (NR - 1)
  }' "$work/figures"
echo "final driver exit code: $final_code"
if [ "$got" = "$sha" ]; then
  echo "final SHA-256 matches: $sha"
else
  echo "final SHA-256 DIFFERS: got '${got:-no file}', want $sha"
  exit 1
fi
