#!/usr/bin/env bash
# A private, throwaway MariaDB server for the server tests and the demo.
#
#   scripts/mariadb-private.sh start DIR   starts a server whose files all live under DIR and
#                                          prints `export` lines for the tests, so use it as
#                                          eval "$(scripts/mariadb-private.sh start DIR)"
#   scripts/mariadb-private.sh stop DIR    stops that server and waits until it is gone
#
# The server reads no option file (--no-defaults), keeps its data in DIR/data, its socket in
# DIR, listens on a free port of 127.0.0.1 only, and has a password user made for this start.
# Grant tables are in force. Creating system tables costs several seconds of fsyncs, so they
# are created once into DIR/template (again when the server version changes) and each start
# copies that pristine copy; a start or stop then takes about a second.
# Works as root (the server then runs as root, which it allows only when told) and as any
# other user. Diagnostics go to standard error; the server's own log is DIR/error.log.
set -euo pipefail

die() {
  echo "mariadb-private: $*" >&2
  exit 1
}

usage() { die "usage: $0 start|stop DIR"; }

[ $# -eq 2 ] || usage
action=$1
mkdir -p "$2"
dir=$(cd "$2" && pwd)

mariadbd=$(command -v mariadbd || true)
[ -n "$mariadbd" ] || for candidate in /usr/sbin/mariadbd /usr/libexec/mariadbd; do
  [ -x "$candidate" ] && mariadbd=$candidate && break
done
[ -n "$mariadbd" ] || die "mariadbd not found (install mariadb-server)"

pid_file=$dir/server.pid
socket=$dir/mysqld.sock
# Options that the template's files depend on must be the same at creation and at start.
storage_options=(--innodb-log-file-size=8M --innodb-buffer-pool-size=32M)
# Options for this start only, after the others so that they win (the benchmark gives the
# server the storage sizes of a stock installation): DUNMERE_MARIADB_OPTIONS, split at blanks.
read -r -a extra_options <<<"${DUNMERE_MARIADB_OPTIONS:-}"
user_options=()
[ "$(id -u)" -eq 0 ] && user_options=(--user=root)

# True while the process runs. A zombie counts as gone: the server has finished, and the
# process that adopts it may take its time to reap it (a second, in some containers).
alive() {
  local stat
  if [ -r /proc/self/stat ]; then
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    [ "${stat%% *}" != Z ]
  else
    kill -0 "$1" 2>/dev/null
  fi
}

running_pid() {
  local pid
  [ -f "$pid_file" ] || return 1
  pid=$(cat "$pid_file")
  [[ $pid =~ ^[0-9]+$ ]] && alive "$pid" || return 1
  # Only our server: a recycled pid must not be stopped by mistake.
  [ "$(readlink "/proc/$pid/exe" 2>/dev/null || true)" = "$(readlink -f "$mariadbd")" ] || return 1
  echo "$pid"
}

stop_server() {
  local pid i
  pid=$(running_pid) || { rm -f "$pid_file"; return 0; }
  kill -TERM "$pid"
  for ((i = 0; i < 600; i++)); do
    alive "$pid" || break
    sleep 0.05
  done
  if alive "$pid"; then
    echo "mariadb-private: server $pid did not stop in 30 s; killing it" >&2
    kill -KILL "$pid" 2>/dev/null || true
    while alive "$pid"; do sleep 0.05; done
  fi
  rm -f "$pid_file" "$socket"
}

make_template() {
  local version stamp=$dir/template/.server-version
  version=$("$mariadbd" --version)
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ]; then return 0; fi
  rm -rf "$dir/template" "$dir/template.new"
  mariadb-install-db --no-defaults --auth-root-authentication-method=normal --skip-test-db \
    --skip-name-resolve --datadir="$dir/template.new" "${user_options[@]}" "${storage_options[@]}" \
    >"$dir/install.log" 2>&1 || { tail -n 20 "$dir/install.log" >&2; die "mariadb-install-db failed"; }
  echo "$version" >"$dir/template.new/.server-version"
  mv "$dir/template.new" "$dir/template"
}

# A port of 127.0.0.1 on which nothing listens now. The server may still lose a race for it;
# the caller then tries another.
free_port() {
  local port i
  for ((i = 0; i < 100; i++)); do
    port=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  die "no free port on 127.0.0.1"
}

client() { mariadb --no-defaults --protocol=socket -S "$socket" -uroot "$@"; }

start_server() {
  local port pid attempt i password
  # The socket path must fit a Unix socket address (107 bytes).
  [ ${#socket} -lt 100 ] || die "folder name too long for a socket: $dir"
  stop_server
  make_template
  rm -rf "$dir/data"
  cp -a --reflink=auto "$dir/template" "$dir/data"
  : >"$dir/error.log"
  for ((attempt = 0; attempt < 5; attempt++)); do
    port=$(free_port)
    # Job control on for the launch: without it the server would start with SIGINT and
    # SIGQUIT ignored and then needs an extra second to notice its own shutdown. It also gives
    # the server its own process group, so a Ctrl-C meant for the caller does not reach it.
    # Closed descriptors: the server must not hold the pipe of the caller's $(...) open.
    set -m
    "$mariadbd" --no-defaults "${user_options[@]}" --datadir="$dir/data" --socket="$socket" \
      --port="$port" --bind-address=127.0.0.1 --skip-name-resolve --pid-file="$dir/data/mariadbd.pid" \
      --log-error="$dir/error.log" --character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci \
      --innodb-temp-data-file-path=ibtmp1:1M:autoextend "${storage_options[@]}" "${extra_options[@]}" \
      </dev/null >/dev/null 2>&1 &
    pid=$!
    set +m
    echo "$pid" >"$pid_file"
    for ((i = 0; i < 600; i++)); do
      alive "$pid" || break
      client -e 'select 1' >/dev/null 2>&1 && break 2
      sleep 0.05
    done
    if alive "$pid"; then
      stop_server
      die "server did not answer within 30 s; see $dir/error.log"
    fi
    grep -q -i 'address already in use\|do you already have another' "$dir/error.log" ||
      { tail -n 20 "$dir/error.log" >&2; die "server failed to start"; }
    echo "mariadb-private: port $port was taken, trying another" >&2
  done
  alive "$pid" || die "server failed to start on five ports"
  # The server's own record of its pid is the one to trust from now on.
  [ -s "$dir/data/mariadbd.pid" ] && cat "$dir/data/mariadbd.pid" >"$pid_file"

  password=$(LC_ALL=C tr -dc 'A-Za-z0-9' </dev/urandom | head -c 24 || true)
  [ ${#password} -eq 24 ] || die "cannot make a password"
  # FLUSH PRIVILEGES first: account statements need the grant tables loaded and in force.
  client <<SQL || { stop_server; die "cannot create the test user"; }
FLUSH PRIVILEGES;
DROP USER IF EXISTS 'dunmere'@'127.0.0.1', 'dunmere'@'localhost';
CREATE USER 'dunmere'@'127.0.0.1' IDENTIFIED BY '$password';
CREATE USER 'dunmere'@'localhost' IDENTIFIED BY '$password';
GRANT ALL PRIVILEGES ON *.* TO 'dunmere'@'127.0.0.1' WITH GRANT OPTION;
GRANT ALL PRIVILEGES ON *.* TO 'dunmere'@'localhost' WITH GRANT OPTION;
SQL

  {
    printf 'export DUNMERE_MYSQL_HOST=127.0.0.1\n'
    printf 'export DUNMERE_MYSQL_PORT=%q\n' "$port"
    printf 'export DUNMERE_MYSQL_SOCKET=%q\n' "$socket"
    printf 'export DUNMERE_MYSQL_USER=dunmere\n'
    printf 'export DUNMERE_MYSQL_PASSWORD=%q\n' "$password"
  } >"$dir/env.new"
  chmod 600 "$dir/env.new"
  mv "$dir/env.new" "$dir/env"
  cat "$dir/env"
}

case $action in
start) start_server ;;
stop)
  stop_server
  rm -rf "$dir/data" "$dir/env"
  ;;
*) usage ;;
esac
