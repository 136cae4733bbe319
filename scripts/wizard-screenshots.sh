#!/usr/bin/env bash
# Writes a PNG of every page and dialog of the wizard korvane, walked offscreen (no display
# needed) over the DB2 stand-in's SHOP sample, and prints the folder that holds them.
#   bash scripts/wizard-screenshots.sh [OUTPUT-FOLDER]     (default: <build>/screenshots)
# The build folder is build-shots/, or the one DUNMERE_BUILD names (an existing build is reused).
# Needs the packages of the build (qt6-base-dev among them; see README). The DB2 stand-in is a
# stand-in for testing and demonstration over SQLite; it is not DB2.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=${DUNMERE_BUILD:-$root/build-shots}
build=$(mkdir -p "$build" && cd "$build" && pwd)
out=${1:-$build/screenshots}

launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
generator=()
[ -f "$build/CMakeCache.txt" ] || generator=(-G Ninja -DCMAKE_BUILD_TYPE=Release)
if ! { cmake -S . -B "$build" "${generator[@]}" "${launcher[@]}" -DDUNMERE_REQUIRE_WIZARD=ON &&
       cmake --build "$build" -j "$(nproc)" --target korvane_shots db2standin db2standin_tool; } \
     > "$build/shots-build.log" 2>&1; then
  tail -n 40 "$build/shots-build.log"
  echo "build failed; the whole log is $build/shots-build.log" >&2
  exit 1
fi

rm -rf "$out" "$build/shots-home"
mkdir -p "$out" "$build/shots-home/config"
export DB2_CLI_LIBRARY=$build/platform/db2cli/libdb2standin.so
export DB2STANDIN_HOME=$build/shots-home/db2
# The wizard's remembered settings go here, not into the user's own folder.
export XDG_CONFIG_HOME=$build/shots-home/config
export QT_QPA_PLATFORM=offscreen
"$build/platform/db2cli/db2standin" create SHOPDB samples/shop.sql > /dev/null
# Schema LAB: 60 readings, five of them NaN, which MySQL has no number for: the run stops at
# the first with the continue dialog, over the progress page at record 40 of 60.
{
  echo "CREATE SCHEMA LAB;"
  echo "CREATE TABLE LAB.READINGS (ID INTEGER NOT NULL PRIMARY KEY, VAL DECFLOAT(16));"
  for i in $(seq 1 60); do
    if [ "$i" -gt 40 ] && [ "$i" -le 45 ]; then v="'NaN'"; else v="$i.5"; fi
    echo "INSERT INTO LAB.READINGS VALUES ($i, $v);"
  done
} > "$build/shots-home/lab.sql"
"$build/platform/db2cli/db2standin" run SHOPDB "$build/shots-home/lab.sql" > /dev/null
"$build/tests/korvane/korvane_shots" "$out" 2> "$build/shots.log" || { cat "$build/shots.log" >&2; exit 1; }
