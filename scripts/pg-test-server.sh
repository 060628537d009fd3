#!/usr/bin/env bash
# A private PostgreSQL for the tests and the benchmark: its own data folder, 127.0.0.1 only, a free port
# and a private socket folder. Run as root, the server runs as the unprivileged user "postgres".
#
#   pg-test-server.sh start    make (first time) and start the server; prints the admin URI
#   pg-test-server.sh stop     stop the server and delete its folder
#   pg-test-server.sh pause    stop the server, keep its data and port (a server going away)
#   pg-test-server.sh resume   start it again on the same port
#   pg-test-server.sh freeze   stop the server process without closing its sockets (a server that hangs)
#   pg-test-server.sh thaw     let it run again
#   pg-test-server.sh env      print the shell lines that export JYT_PG_ADMIN_URI and JYT_PG_DIR
#
# JYT_PG_DIR chooses the folder (default /tmp/juyoutai-pg-test), so tests can run servers of their own.
# JYT_PG_MAX_CONNECTIONS sets max_connections (default 400); a room of 1,000 benchmark clients needs more.
set -euo pipefail

dir="${JYT_PG_DIR:-/tmp/juyoutai-pg-test}"
bin="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)"
admin=juyoutai_admin
max_connections="${JYT_PG_MAX_CONNECTIONS:-400}"
database=juyoutai

fail() {
  echo "错误: $*" >&2
  exit 1
}

[[ "$max_connections" =~ ^[1-9][0-9]*$ ]] || fail "JYT_PG_MAX_CONNECTIONS 必须是正整数：$max_connections"
[ -x "$bin/initdb" ] || fail "找不到 PostgreSQL（请先运行 scripts/install-deps.sh）"

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

free_port() {
  local port low
  # Below the kernel's range for outgoing connections: a port one of those holds takes no connection,
  # so it would look free here and still not be bindable.
  low=$(cut -f1 /proc/sys/net/ipv4/ip_local_port_range 2>/dev/null || echo 32768)
  [ "$low" -gt 21000 ] || low=45001
  for port in $(shuf -i 20000-$((low - 1)) -n 200); do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return
    fi
  done
  fail "找不到空闲端口"
}

admin_uri() {
  echo "postgresql://$admin:$(cat "$dir/admin-password")@127.0.0.1:$(cat "$dir/port")/$database"
}

print_env() {
  echo "export JYT_PG_DIR='$dir'"
  echo "export JYT_PG_ADMIN_URI='$(admin_uri)'"
}

pg_ctl_run() {
  as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 "$@" >/dev/null
}

make_cluster() {
  mkdir -p "$dir/socket"
  head -c 18 /dev/urandom | base64 | tr -d '+/=' >"$dir/admin-password"
  free_port >"$dir/port"
  cp "$dir/admin-password" "$dir/pwfile"
  [ "$(id -u)" -ne 0 ] || chown -R postgres: "$dir"
  chmod 700 "$dir"
  as_owner "$bin/initdb" -D "$dir/data" -U "$admin" --pwfile="$dir/pwfile" -E UTF8 --locale=C.UTF-8 \
    --auth-local=trust --auth-host=scram-sha-256 >"$dir/initdb.log" 2>&1 || fail "initdb 失败，见 $dir/initdb.log"
  rm -f "$dir/pwfile"
  cat >>"$dir/data/postgresql.conf" <<EOF
listen_addresses = '127.0.0.1'
port = $(cat "$dir/port")
unix_socket_directories = '$dir/socket'
max_connections = $max_connections
shared_buffers = 64MB
fsync = off
synchronous_commit = off
full_page_writes = off
log_min_messages = warning
EOF
  # A port taken between the look and the start is tried again with another one.
  local tries=1
  until pg_ctl_run start; do
    if [ "$tries" -ge 3 ]; then
      tail -n 20 "$dir/server.log" >&2 || true
      fail "服务器启动失败，见 $dir/server.log"
    fi
    tries=$((tries + 1))
    free_port >"$dir/port"
    sed -i "s/^port = .*/port = $(cat "$dir/port")/" "$dir/data/postgresql.conf"
  done
  as_owner "$bin/createdb" -h "$dir/socket" -p "$(cat "$dir/port")" -U "$admin" "$database" \
    || fail "无法创建数据库 $database"
}

postmaster_pid() {
  head -n 1 "$dir/data/postmaster.pid"
}

case "${1:-}" in
  start)
    if [ -f "$dir/data/postmaster.pid" ]; then
      :
    elif [ -d "$dir/data" ]; then
      pg_ctl_run start || fail "服务器启动失败，见 $dir/server.log"
    else
      rm -rf "$dir"
      make_cluster
    fi
    admin_uri
    ;;
  stop)
    if [ -f "$dir/data/postmaster.pid" ]; then
      kill -CONT "$(postmaster_pid)" 2>/dev/null || true
      pg_ctl_run stop -m immediate || true
    fi
    rm -rf "$dir"
    ;;
  pause)
    pg_ctl_run stop -m fast
    ;;
  resume)
    pg_ctl_run start || fail "服务器启动失败，见 $dir/server.log"
    ;;
  freeze)
    kill -STOP "$(postmaster_pid)"
    ;;
  thaw)
    kill -CONT "$(postmaster_pid)"
    ;;
  env)
    [ -f "$dir/port" ] || fail "测试服务器未启动"
    print_env
    ;;
  *)
    echo "用法: $0 start|stop|pause|resume|freeze|thaw|env" >&2
    exit 2
    ;;
esac
