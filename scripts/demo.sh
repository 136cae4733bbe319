#!/usr/bin/env bash
# One conversion from start to finish on a fresh Debian machine:
#   1. installs the packages the build and the demo need (apt-get, as root or through sudo);
#   2. builds VORDAXEN, the wizard korvane and the DB2 stand-in (build-demo/);
#   3. creates the stand-in's SHOP sample database;
#   4. converts it with VORDAXEN into a MySQL dump file;
#   5. starts a private MariaDB server, converts SHOP straight into it, shows the row counts,
#      and stops the server again;
#   6. prints where the results are.
# The DB2 stand-in is a stand-in for testing and demonstration over SQLite; it is not DB2.
# Everything it writes stays under build-demo/; running it again starts the results afresh.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=$root/build-demo
out=$build/results

step() { printf '\n=== %s ===\n' "$*"; }
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

step "install packages"
packages=(build-essential cmake ninja-build pkg-config libicu-dev libsqlite3-dev
          mariadb-server mariadb-client libmariadb-dev qt6-base-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "all present"
fi

step "build"
# The compiler's output goes to a log, shown only when the build fails.
if ! { cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDUNMERE_TESTS=OFF &&
       cmake --build "$build" -j "$(nproc)" --target VORDAXEN korvane db2standin db2standin_tool; } \
     > "$build.log" 2>&1; then
  tail -n 40 "$build.log"
  echo "build failed; the whole log is $build.log" >&2
  exit 1
fi
echo "built $build/agent/VORDAXEN"
vordaxen=$build/agent/VORDAXEN
standin_tool=$build/platform/db2cli/db2standin

rm -rf "$out"
mkdir -p "$out/config"
# The agent reads its remembered settings from here, not from the user's own folder.
export XDG_CONFIG_HOME=$out/config
# The stand-in client library and where its databases live.
export DB2_CLI_LIBRARY=$build/platform/db2cli/libdb2standin.so
export DB2STANDIN_HOME=$out/db2

step "create the stand-in's SHOP sample database"
"$standin_tool" create SHOPDB samples/shop.sql

step "convert SHOP into a dump file"
status=0
"$vordaxen" --src=SHOPDB --db2schema=SHOP --dump --dest="$out/shop-dump.sql" \
  --logfile="$out/dump-trace.log" || status=$?
echo "VORDAXEN exit status: $status"

step "convert SHOP straight into a private MariaDB server"
eval "$(scripts/mariadb-private.sh start "$out/mariadb")"
trap 'scripts/mariadb-private.sh stop "$out/mariadb" >/dev/null 2>&1 || true' EXIT
status=0
"$vordaxen" --src=SHOPDB --db2schema=SHOP --dest=shop --mode=0 \
  --mysqlh="$DUNMERE_MYSQL_HOST" --port="$DUNMERE_MYSQL_PORT" \
  --mysqlu="$DUNMERE_MYSQL_USER" --mysqlp="$DUNMERE_MYSQL_PASSWORD" \
  --logfile="$out/direct-trace.log" || status=$?
echo "VORDAXEN exit status: $status"
echo
client() {
  MYSQL_PWD=$DUNMERE_MYSQL_PASSWORD mariadb --no-defaults --host="$DUNMERE_MYSQL_HOST" \
    --port="$DUNMERE_MYSQL_PORT" --user="$DUNMERE_MYSQL_USER" --batch --skip-column-names "$@"
}
echo "Rows in the MariaDB database 'shop':"
for table in $(client -e "SELECT table_name FROM information_schema.tables
                          WHERE table_schema = 'shop' ORDER BY table_name"); do
  printf '  %-14s %s\n' "$table" "$(client -e "SELECT COUNT(*) FROM shop.\`$table\`")"
done
# A copy of the server's database, readable after the server is gone.
MYSQL_PWD=$DUNMERE_MYSQL_PASSWORD mariadb-dump --no-defaults --host="$DUNMERE_MYSQL_HOST" \
  --port="$DUNMERE_MYSQL_PORT" --user="$DUNMERE_MYSQL_USER" shop > "$out/shop-from-server.sql"
scripts/mariadb-private.sh stop "$out/mariadb"
trap - EXIT

step "results"
cat <<EOF
Dump file written by VORDAXEN:        $out/shop-dump.sql
Its trace log:                        $out/dump-trace.log
Direct conversion, trace log:         $out/direct-trace.log
The server's database, as dumped:     $out/shop-from-server.sql
The private server's files (stopped): $out/mariadb
Load the dump file into any MySQL or MariaDB server with:
  mariadb --user=... --password <database> < $out/shop-dump.sql
The same conversion in the wizard (database SHOPDB, schema SHOP):
  DB2_CLI_LIBRARY=$DB2_CLI_LIBRARY DB2STANDIN_HOME=$DB2STANDIN_HOME $build/korvane/korvane
EOF
