# Loopback HTTP server for the tests: one nginx with its own prefix, pid
# file, logs and document root under the build folder. Source it after
# common.sh; kv_start_test_http starts the server and exports where the tests
# find it (Windows paths, since the tests run under Wine):
#
#   KV_TEST_HTTP_PORT   port on 127.0.0.1
#   KV_TEST_WWW         document root (Z:\...\www)
#   KV_TEST_HTTP_LOGS   log folder; access.log has one line per request:
#                       <method> <request URI as sent> <status> "<Range>" "<User-Agent>"
#
# The server's PID goes into kv_started_pids, so kv_stop_started ends it.

KV_NGINX_DIR=$KV_BUILD/nginx
KV_TEST_WWW_DIR=$KV_BUILD/www

kv_windows_path() {
  printf 'Z:%s' "${1//\//\\}"
}

# Writes $KV_NGINX_DIR/nginx.conf for port $1.
kv_write_nginx_config() {
  local port=$1
  mkdir -p "$KV_NGINX_DIR/logs" "$KV_NGINX_DIR/temp" "$KV_TEST_WWW_DIR/b/duan/s/ginstall"
  # The statistics path answers like the real endpoint: a short 200.
  printf 'ok' >"$KV_TEST_WWW_DIR/b/duan/s/ginstall/index.html"
  local user_line=""
  # As root, workers would drop to "nobody", who may not read the build tree.
  [ "$(id -u)" = 0 ] && user_line="user root root;"
  cat >"$KV_NGINX_DIR/nginx.conf" <<EOF
$user_line
worker_processes 1;
pid $KV_NGINX_DIR/nginx.pid;
error_log $KV_NGINX_DIR/logs/error.log warn;
events { worker_connections 256; }
http {
  default_type application/octet-stream;
  log_format kv '\$request_method \$request_uri \$status "\$http_range" "\$http_user_agent"';
  access_log $KV_NGINX_DIR/logs/access.log kv;
  client_body_temp_path $KV_NGINX_DIR/temp/body;
  proxy_temp_path $KV_NGINX_DIR/temp/proxy;
  fastcgi_temp_path $KV_NGINX_DIR/temp/fastcgi;
  uwsgi_temp_path $KV_NGINX_DIR/temp/uwsgi;
  scgi_temp_path $KV_NGINX_DIR/temp/scgi;
  server {
    listen 127.0.0.1:$port;
    root $KV_TEST_WWW_DIR;
    location / { }
  }
}
EOF
}

kv_port_in_use() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# Starts nginx on KV_TEST_HTTP_PORT, or, when that is not set, on the first
# free port from 18481 on (other build folders may run their tests at the
# same time).
kv_start_test_http() {
  local ports port pid i
  if [ -n "${KV_TEST_HTTP_PORT:-}" ]; then
    ports=$KV_TEST_HTTP_PORT
  else
    ports=$(seq 18481 18520)
  fi
  for port in $ports; do
    kv_port_in_use "$port" && continue
    kv_write_nginx_config "$port"
    rm -f "$KV_NGINX_DIR/nginx.pid"
    nginx -p "$KV_NGINX_DIR" -c "$KV_NGINX_DIR/nginx.conf" -e "$KV_NGINX_DIR/logs/error.log" \
      -g 'daemon off;' </dev/null >/dev/null 2>&1 &
    pid=$!
    for i in $(seq 1 50); do
      kill -0 "$pid" 2>/dev/null || break
      if [ -s "$KV_NGINX_DIR/nginx.pid" ] && kv_port_in_use "$port"; then
        kv_started_pids+=("$pid")
        export KV_TEST_HTTP_PORT=$port
        export KV_TEST_WWW
        export KV_TEST_HTTP_LOGS
        KV_TEST_WWW=$(kv_windows_path "$KV_TEST_WWW_DIR")
        KV_TEST_HTTP_LOGS=$(kv_windows_path "$KV_NGINX_DIR/logs")
        return 0
      fi
      sleep 0.1
    done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  echo "nginx for the tests did not start (see $KV_NGINX_DIR/logs/error.log)" >&2
  return 1
}

# Stops the nginx of this build folder by the PID in its pid file.
kv_stop_test_http() {
  local pid
  pid=$(cat "$KV_NGINX_DIR/nginx.pid" 2>/dev/null) || return 0
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
}
