# Loopback HTTP server for the tests: one nginx with its own prefix, pid
# file, logs and document root under the build folder. Source it after
# common.sh; kv_start_test_http starts the server and exports where the tests
# find it (Windows paths, since the tests run under Wine):
#
#   KV_TEST_HTTP_PORT   port on 127.0.0.1
#   KV_TEST_WWW         document root (Z:\...\www)
#   KV_TEST_HTTP_LOGS   log folder; access.log has one line per request:
#                       <method> <request URI as sent> <status> "<Range>" "<User-Agent>"
#   KV_TEST_HTTPS_PORT  the same documents over TLS, with a certificate for
#                       127.0.0.1 issued by the tests' own authority
#   KV_TEST_HTTPS_UNTRUSTED_PORT
#                       the same over TLS with a self-signed certificate
#                       that nothing trusts
#   KV_TEST_CA_DER      that authority's certificate (DER, Windows path); a
#                       test that trusts it adds it to the Wine prefix's
#                       root store, never the machine's
#   KV_TEST_PROXY_PORT  a real HTTP proxy (tinyproxy) on 127.0.0.1, started by
#                       kv_start_test_proxy; it adds a Via header
#   (127.0.0.2, same port as KV_TEST_HTTP_PORT)
#                       an origin that answers only requests that came
#                       through a proxy (a Via header), except under /open/
#   KV_TEST_STATS_PORT  set when the same server also listens on the port the
#                       build's statistics host names (the program's reports
#                       then land in the same access.log); unset when another
#                       server (a running demo) holds that port
#
# The server's PID goes into kv_started_pids, so kv_stop_started ends it.

KV_NGINX_DIR=$KV_BUILD/nginx
KV_TEST_WWW_DIR=$KV_BUILD/www

kv_windows_path() {
  printf 'Z:%s' "${1//\//\\}"
}

# The tests' certificate authority, a certificate it issued for 127.0.0.1,
# and a self-signed one; made once per build folder. The address is named
# both as an address and as a DNS name: Wine's check matches DNS names only,
# and the untrusted certificate must fail on trust alone.
kv_make_test_certificates() {
  local dir=$KV_NGINX_DIR/tls
  [ -s "$dir/ca.der" ] && [ -s "$dir/server.crt" ] && [ -s "$dir/untrusted.crt" ] && return 0
  mkdir -p "$dir"
  (
    cd "$dir" || exit 1
    openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 3650 \
      -subj "/CN=KVDownloader test authority" \
      -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" &&
      openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj "/CN=127.0.0.1" &&
      printf 'subjectAltName=IP:127.0.0.1,DNS:127.0.0.1\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' >server.ext &&
      openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out server.crt -days 825 \
        -extfile server.ext &&
      openssl req -x509 -newkey rsa:2048 -nodes -keyout untrusted.key -out untrusted.crt -days 825 \
        -subj "/CN=127.0.0.1" -addext "subjectAltName=IP:127.0.0.1,DNS:127.0.0.1" &&
      openssl x509 -in ca.crt -outform der -out ca.der
  ) >/dev/null 2>&1
}

# The port of the statistics host the build was configured with.
kv_stats_port() {
  local host
  host=$(sed -n 's/^KV_STATS_HOST:STRING=//p' "$KV_BUILD/CMakeCache.txt" 2>/dev/null)
  case $host in
    127.0.0.1:*) echo "${host#127.0.0.1:}" ;;
  esac
}

# Writes $KV_NGINX_DIR/nginx.conf for port $1 (and the statistics port $2,
# when given; the TLS ports $3 and $4, when given).
kv_write_nginx_config() {
  local port=$1 stats_listen="" tls_servers="" tls=$KV_NGINX_DIR/tls
  [ -n "${2:-}" ] && stats_listen="listen 127.0.0.1:$2;"
  if [ -n "${3:-}" ] && [ -n "${4:-}" ]; then
    tls_servers="
  server {
    listen 127.0.0.1:$3 ssl;
    ssl_certificate $tls/server.crt;
    ssl_certificate_key $tls/server.key;
    root $KV_TEST_WWW_DIR;
    location /slow/ { limit_rate 2m; }
    location / { }
  }
  server {
    listen 127.0.0.1:$4 ssl;
    ssl_certificate $tls/untrusted.crt;
    ssl_certificate_key $tls/untrusted.key;
    root $KV_TEST_WWW_DIR;
    location / { }
  }"
  fi
  mkdir -p "$KV_NGINX_DIR/logs" "$KV_NGINX_DIR/temp" "$KV_TEST_WWW_DIR/b/duan/s/ginstall"
  # The statistics path answers like the real endpoint: a short 200.
  printf 'ok' >"$KV_TEST_WWW_DIR/b/duan/s/ginstall/index.html"
  cat >"$KV_NGINX_DIR/nginx.conf" <<EOF
$(kv_nginx_head "$KV_NGINX_DIR")
http {
  default_type application/octet-stream;
  log_format kv '\$request_method \$request_uri \$status "\$http_range" "\$http_user_agent"';
  access_log $KV_NGINX_DIR/logs/access.log kv;
$(kv_nginx_temp_paths "$KV_NGINX_DIR")
  server {
    listen 127.0.0.1:$port;
    $stats_listen
    root $KV_TEST_WWW_DIR;
    # Rate-limited per connection, for transfers a test must catch midway.
    location /slow/ { limit_rate 2m; }
    location / { }
  }
  # The origin behind the user's proxy: refuses what did not come through it.
  server {
    listen 127.0.0.2:$port;
    root $KV_TEST_WWW_DIR;
    location /open/ { alias $KV_TEST_WWW_DIR/; }
    location / {
      if (\$http_via = "") { return 403; }
    }
  }$tls_servers
}
EOF
}

# What every nginx of ours shares: one worker, its files under <dir>
# (which must hold logs/ and temp/). As root, workers would drop to
# "nobody", who may not read the build tree. The head goes before
# "http {", the temporary paths inside it.
kv_nginx_head() {
  local dir=$1
  [ "$(id -u)" = 0 ] && echo "user root root;"
  cat <<CONF
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/logs/error.log warn;
events { worker_connections 256; }
CONF
}
kv_nginx_temp_paths() {
  local dir=$1 what
  for what in client_body proxy fastcgi uwsgi scgi; do
    echo "  ${what}_temp_path $dir/temp/${what#client_};"
  done
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
  local stats_port
  stats_port=$(kv_stats_port)
  if [ -n "$stats_port" ] && kv_port_in_use "$stats_port"; then
    echo "test nginx: port $stats_port (statistics) is taken; report checks will be skipped" >&2
    stats_port=""
  fi
  local tls_ok=""
  kv_make_test_certificates && tls_ok=1 || echo "test nginx: no TLS certificates (openssl failed); https tests will fail" >&2
  for port in $ports; do
    kv_port_in_use "$port" && continue
    local tls_port="" untrusted_port=""
    if [ -n "$tls_ok" ] && ! kv_port_in_use $((port + 100)) && ! kv_port_in_use $((port + 200)); then
      tls_port=$((port + 100))
      untrusted_port=$((port + 200))
    fi
    kv_write_nginx_config "$port" "$stats_port" "$tls_port" "$untrusted_port"
    rm -f "$KV_NGINX_DIR/nginx.pid"
    nginx -p "$KV_NGINX_DIR" -c "$KV_NGINX_DIR/nginx.conf" -e "$KV_NGINX_DIR/logs/error.log" \
      -g 'daemon off;' </dev/null >/dev/null 2>&1 &
    pid=$!
    for i in $(seq 1 50); do
      kill -0 "$pid" 2>/dev/null || break
      if [ -s "$KV_NGINX_DIR/nginx.pid" ] && kv_port_in_use "$port"; then
        kv_started_pids+=("$pid")
        export KV_TEST_HTTP_PORT=$port
        if [ -n "$stats_port" ]; then export KV_TEST_STATS_PORT=$stats_port; else unset KV_TEST_STATS_PORT; fi
        if [ -n "$tls_port" ]; then
          export KV_TEST_HTTPS_PORT=$tls_port KV_TEST_HTTPS_UNTRUSTED_PORT=$untrusted_port
          export KV_TEST_CA_DER
          KV_TEST_CA_DER=$(kv_windows_path "$KV_NGINX_DIR/tls/ca.der")
        fi
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

# Starts tinyproxy on the first free port from 18621 on; its PID goes into
# kv_started_pids. Without tinyproxy (or a free port) the proxy tests fail
# and say so; the others still run.
kv_start_test_proxy() {
  local dir=$KV_BUILD/tinyproxy port pid i
  command -v tinyproxy >/dev/null || { echo "test proxy: tinyproxy is not installed" >&2; return 1; }
  mkdir -p "$dir"
  for port in $(seq 18621 18660); do
    kv_port_in_use "$port" && continue
    # Foreground (-d), as root too: tinyproxy drops to the user named here.
    cat >"$dir/tinyproxy.conf" <<CONF
$([ "$(id -u)" = 0 ] && printf 'User root\nGroup root\n')
Port $port
Listen 127.0.0.1
Timeout 60
MaxClients 64
Allow 127.0.0.1
LogLevel Info
LogFile "$dir/tinyproxy.log"
ViaProxyName "kvtestproxy"
CONF
    tinyproxy -d -c "$dir/tinyproxy.conf" </dev/null >/dev/null 2>&1 &
    pid=$!
    for i in $(seq 1 30); do
      kill -0 "$pid" 2>/dev/null || break
      if kv_port_in_use "$port"; then
        kv_started_pids+=("$pid")
        export KV_TEST_PROXY_PORT=$port
        return 0
      fi
      sleep 0.1
    done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  echo "test proxy: tinyproxy did not start (see $dir/tinyproxy.log)" >&2
  return 1
}

# Stops the nginx of this build folder by the PID in its pid file.
kv_stop_test_http() {
  local pid
  pid=$(cat "$KV_NGINX_DIR/nginx.pid" 2>/dev/null) || return 0
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
}
