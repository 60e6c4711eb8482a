# The local demo server that scripts/run starts: nginx on 127.0.0.1 at the
# port the build's deployment settings point at (KV_DEMO_PORT, 18480 unless
# configured otherwise), serving
#   /download/KorvanInstall.exe   the padded demo installer, rate-limited per
#                                 connection so the progress is visible
#   /list/down_img.html, /list/laucher_url.html, /, /social.html
#                                 the portal, launcher-link and social pages
#   /b/duan/s/ginstall/           the statistics endpoint (a short 200)
# Its access log ($KV_BUILD/demo/logs/access.log) shows every report.
# Source it after common.sh.

KV_DEMO_DIR=$KV_BUILD/demo

kv_demo_port() {
  local port
  port=$(sed -n 's/^KV_DEMO_PORT:STRING=//p' "$KV_BUILD/CMakeCache.txt" 2>/dev/null)
  echo "${port:-18480}"
}

# Starts the demo server; $1 = rate per connection (nginx syntax, e.g. 2m).
kv_start_demo_server() {
  local rate=${1:-${KV_DEMO_RATE:-2m}} port pid i
  port=$(kv_demo_port)
  if kv_port_in_use "$port"; then
    echo "demo server: port $port is taken; is another demo running?" >&2
    return 1
  fi
  mkdir -p "$KV_DEMO_DIR/logs" "$KV_DEMO_DIR/temp" "$KV_DEMO_DIR/www"
  cp -r "$KV_TOP/installer/demo_site/." "$KV_DEMO_DIR/www/"
  cat >"$KV_DEMO_DIR/nginx.conf" <<CONF
$(kv_nginx_head "$KV_DEMO_DIR")
http {
  default_type application/octet-stream;
  types { text/html html; image/png png; }
  charset utf-8;
  log_format kv '\$time_local \$request_method \$request_uri \$status \$body_bytes_sent "\$http_range"';
  access_log $KV_DEMO_DIR/logs/access.log kv;
$(kv_nginx_temp_paths "$KV_DEMO_DIR")
  server {
    listen 127.0.0.1:$port;
    root $KV_DEMO_DIR/www;
    location /download/ { limit_rate $rate; }
    location /b/duan/s/ginstall/ { default_type text/plain; return 200 'ok'; }
    location / { }
  }
}
CONF
  rm -f "$KV_DEMO_DIR/nginx.pid"
  nginx -p "$KV_DEMO_DIR" -c "$KV_DEMO_DIR/nginx.conf" -e "$KV_DEMO_DIR/logs/error.log" \
    -g 'daemon off;' </dev/null >/dev/null 2>&1 &
  pid=$!
  for i in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || break
    if [ -s "$KV_DEMO_DIR/nginx.pid" ] && kv_port_in_use "$port"; then
      kv_started_pids+=("$pid")
      echo "demo server: http://127.0.0.1:$port/ (log: $KV_DEMO_DIR/logs/access.log)"
      return 0
    fi
    sleep 0.1
  done
  echo "demo server did not start (see $KV_DEMO_DIR/logs/error.log)" >&2
  return 1
}
