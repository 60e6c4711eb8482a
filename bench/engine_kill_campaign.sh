#!/usr/bin/env bash
# Kill campaign: the driver (FetchCore.dll through its contract) downloads a
# file from its own nginx on loopback and is killed (SIGKILL, no clean shut
# down) at random instants, again and again; a last run finishes it. Prints
# per kill what the engine had received (checked) when killed, what nginx
# sent in that run and how much of that a later run fetched again (the
# byte ranges of nginx's access log, compared run against run); then the
# median and the largest of those against the goals (median <= 1 MiB, at
# most one piece) and the final SHA-256 check. Long, so not part of ctest.
#
#   bench/engine_kill_campaign.sh [kills=20] [MiB=256]
#
# Each kill comes 0.1 to 1.2 s (at random) after the engine started.
# Environment: KV_CAMPAIGN_RATE  nginx rate per connection (default 2m), so
# that 20 kills fit in one transfer; KV_CAMPAIGN_PIECE the piece size of the
# task's piece list (default 4194304; 0 = none); KV_WINE the Wine loader (default wine);
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
piece=${KV_CAMPAIGN_PIECE:-4194304}
printf 'name=KorvanInstall.exe\nsize=%d\nsha256=%s\nurl=http://127.0.0.1:%d/file.bin\n' "$size" "$sha" "$port" \
  >"$work/download/617350001.task"
if [ "$piece" != 0 ]; then
  split -b "$piece" --filter 'sha256sum | cut -c1-64' "$work/www/file.bin" >"$work/download/617350001.pieces"
  printf 'piece_size=%d\npieces_sha256=%s\n' "$piece" \
    "$(sha256sum "$work/download/617350001.pieces" | cut -d' ' -f1)" >>"$work/download/617350001.task"
fi
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
  tail -n +"$((before + 1))" "$work/logs/access.log" >"$work/runs/$k.log"
  echo "$k $delay ${start:--} $last $(sent_since "$before")" >>"$work/figures"
  done_kills=$k
done

final=$((done_kills + 1))
before=$(log_lines)
[ "$finished_early" = 1 ] || { run_driver "$final"; wait "$driver_pid" || true; }
wait_for_nginx_quiet
final_start=$(awk '$1 == "start" {print $2; exit}' "$work/runs/$final.txt" 2>/dev/null || echo 0)
final_code=$(awk '$1 == "end" {print $2}' "$work/runs/$final.txt" 2>/dev/null || echo "?")
tail -n +"$((before + 1))" "$work/logs/access.log" >"$work/runs/$final.log"
echo "$final final ${final_start:--} $size $(sent_since "$before")" >>"$work/figures"

# What each run fetched that a later run fetched again: the runs' ranges
# (first byte and bytes sent of each logged request) in 4 KiB blocks, from
# the last run back to the first.
resent_files=()
for k in $(seq "$final" -1 1); do resent_files+=("$work/runs/$k.log"); done
awk -v B=4096 '
  function flush() { for (i = 1; i <= nm; i++) later[mark[i]] = 1; nm = 0 }
  FNR == 1 { if (file != "") { print file, lost; flush() } file = FILENAME; lost = 0 }
  $3 == 206 || $3 == 200 {
    r = $4; gsub(/"/, "", r); first = 0
    if (r ~ /^bytes=/) { sub(/^bytes=/, "", r); split(r, p, "-"); first = p[1] + 0 }
    end = first + $5
    for (b = int(first / B); b * B < end; b++) {
      lo = b * B > first ? b * B : first; hi = (b + 1) * B < end ? (b + 1) * B : end
      if (b in later) lost += hi - lo
      mark[++nm] = b
    }
  }
  END { if (file != "") print file, lost }' "${resent_files[@]}" |
  sed -e 's|^.*/runs/\([0-9]*\)\.log |\1 |' | sort -n >"$work/resent"
got=$(sha256sum "$work/save/KorvanInstall.exe" 2>/dev/null | cut -d' ' -f1 || true)

echo "kill campaign: $mib MiB from nginx on loopback, $rate per connection, $done_kills kills (SIGKILL), pieces of $piece bytes"
awk -v size="$size" -v piece="$piece" '
  FNR == NR { ag[$1] = $2; next }
  { ++NN; n[NN] = $1; delay[NN] = $2; last[NN] = $3 == "-" ? 0 : $4; sent[NN] = $5; again[NN] = ag[$1] + 0 }
  END {
    NR = NN
    M = 1048576
    printf "%5s %7s %13s %11s %15s\n", "kill", "after", "received at", "nginx sent", "fetched again"
    printf "%5s %7s %13s %11s %15s\n", "", "s", "kill MiB", "MiB", "later MiB"
    for (i = 1; i < NR; i++) {
      printf "%5d %7s %13.1f %11.1f %15.2f\n", n[i], delay[i], last[i] / M, sent[i] / M, again[i] / M
      total_sent += sent[i]; if (again[i] > worst) worst = again[i]
    }
    total_sent += sent[NR]
    printf "final run: nginx sent %.1f MiB\n", sent[NR] / M
    printf "all runs: nginx sent %.1f MiB for a %.1f MiB file (%.1f MiB fetched again in all)\n", total_sent / M, size / M, (total_sent - size) / M
    # A kill before the first byte of its run (Wine starting, the check at
    # start) cuts no transfer: the median counts the kills that did.
    k = 0
    for (i = 1; i < NR; i++) if (sent[i] > 0) v[++k] = again[i]
    printf "%d of %d kills cut a transfer\n", k, NR - 1
    if (k > 0) {
      for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
      med = k % 2 ? v[(k + 1) / 2] : (v[k / 2] + v[k / 2 + 1]) / 2
      printf "per kill that cut a transfer: median %.2f MiB, largest %.2f MiB fetched again\n", med / M, worst / M
      printf "goal: median <= 1 MiB: %s\n", med <= M ? "met" : "MISSED"
      if (piece > 0) printf "goal: largest <= one piece (%.1f MiB): %s\n", piece / M, worst <= piece ? "met" : "MISSED"
    }
  }' "$work/resent" "$work/figures"
echo "final driver exit code: $final_code"
if [ "$got" = "$sha" ]; then
  echo "final SHA-256 matches: $sha"
else
  echo "final SHA-256 DIFFERS: got '${got:-no file}', want $sha"
  exit 1
fi
