#!/usr/bin/env bash
# Dunmere beside the tools a user would otherwise use, on the same rows in one run.
#
#   bash bench/run.sh [--rows N] [--lob-rows N] [--runs N] [--scaling] [--no-build] [--build DIR]
#                     [--work DIR] [--out FILE]
#   bash bench/run.sh --jobs-compare [--set mixed|four|both] [--rows N] [--part-rows N] [--runs N]
#                     [--no-build] [--build DIR] [--work DIR] [--out FILE]
#
# Builds VORDAXEN, the DB2 stand-in and the benchmark's programs in Release (DIR, default
# build-bench), fills a stand-in database with BENCH.MIXED (N rows, default one million) and
# BENCH.LOBS (default twenty thousand rows of a 10 KB CLOB and a 10 KB BLOB), starts a private
# MariaDB server, and times each of these several times (default 3), alternating their order
# from round to round so that none profits from a warmer machine:
#
#   dump         VORDAXEN --dump of the table into a dump file
#   direct       VORDAXEN straight into the server
#   load-dump    the mariadb client loading VORDAXEN's dump (the dump-then-load path); a dump
#                made without a server names MyISAM tables
#   load-innodb  the same dump with InnoDB tables, the engine direct mode creates them with
#   mariadb-dump mariadb-dump of the table once loaded (what a dump costs a mature tool)
#   plain-c      a plain C program sending the same rows as ~1 MB multi-row INSERTs
#   verify       VORDAXEN --verify_only of the converted table against the source (what
#                proving the copy costs beside converting it again)
#
# It prints one table per source table (medians of wall time, user+system CPU and peak
# memory; rows per second; Dunmere's ratio to each peer) and writes it to bench/RESULTS.md
# (or --out FILE). --scaling adds dump and direct runs at 100 thousand, one million and three
# million rows. Each run's own output is kept under the work folder.
#
# --jobs-compare times instead dump and direct mode with --jobs=1 and --jobs=2 on one or both
# source sets: "mixed" is BENCH.MIXED, "four" is BENCH.PART1 to BENCH.PART4 of --part-rows rows
# each (default 250,000) in a stand-in database of their own. It checks that the 2-job dump is
# the 1-job dump byte for byte (its file name and time lines aside) and that direct mode left
# tables of the same checksums, and puts its tables, with the 2-job/1-job ratio of rows per
# second, in the "## Parallel jobs" section of bench/RESULTS.md (or --out FILE), the rest of
# the file left as it is. For the four-table set it also times two processes of one job each
# at once, each given two of the tables: the most two copies that share nothing get from the
# machine, beside which to read the 2-job ratio.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
rows=1000000
lob_rows=20000
runs=3
scaling=0
build_first=1
build=$root/build-bench
work=${TMPDIR:-/tmp}/dunmere-bench
out=$here/RESULTS.md
jobs_compare=0
sets=
part_rows=250000

while [ $# -gt 0 ]; do
  case $1 in
    --rows) rows=$2; shift 2 ;;
    --lob-rows) lob_rows=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --scaling) scaling=1; shift ;;
    --no-build) build_first=0; shift ;;
    --build) build=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --jobs-compare) jobs_compare=1; shift ;;
    --set) sets=$2; shift 2 ;;
    --part-rows) part_rows=$2; shift 2 ;;
    *) sets=bad; break ;;
  esac
done
case ${sets:-default} in
  default) sets=both ;;
  mixed|four|both) [ "$jobs_compare" -eq 1 ] || sets=bad ;;
  *) sets=bad ;;
esac
if [ "$sets" = bad ]; then
  echo "usage: $0 [--rows N] [--lob-rows N] [--runs N] [--scaling] [--no-build] [--build DIR] [--work DIR] [--out FILE]" >&2
  echo "       $0 --jobs-compare [--set mixed|four|both] [--rows N] [--part-rows N] [--runs N] [--no-build]" >&2
  echo "          [--build DIR] [--work DIR] [--out FILE]" >&2
  exit 2
fi

if [ "$build_first" -eq 1 ]; then
  echo "building in $build" >&2
  [ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" --target VORDAXEN db2standin db2standin_tool dunmere_bench_tables dunmere_bench_plain >/dev/null
fi

vordaxen=$build/agent/VORDAXEN
mkdir -p "$work/config" "$work/db2" "$work/runs"
export XDG_CONFIG_HOME=$work/config
export DB2_CLI_LIBRARY=$build/platform/db2cli/libdb2standin.so
export DB2STANDIN_HOME=$work/db2

# One stand-in database per size, kept between invocations: generating is not what is measured.
source_db() {
  local name=BENCH_$1_$2
  if [ ! -f "$DB2STANDIN_HOME/$name/standin.db" ]; then
    rm -rf "${DB2STANDIN_HOME:?}/$name"
    "$build/platform/db2cli/db2standin" create "$name" >/dev/null
    "$build/bench/dunmere_bench_tables" "$name" "$1" "$2" >&2
  fi
  echo "$name"
}

# The four-table set, in a stand-in database of its own per size.
source_four() {
  local name=BENCH_FOUR_$1
  if [ ! -f "$DB2STANDIN_HOME/$name/standin.db" ]; then
    rm -rf "${DB2STANDIN_HOME:?}/$name"
    "$build/platform/db2cli/db2standin" create "$name" >/dev/null
    "$build/bench/dunmere_bench_tables" --parts="$1" "$name" 0 0 >&2
  fi
  echo "$name"
}

# The server gets the InnoDB sizes of a stock installation (the test server's are cut down to
# start fast, and an 8 MB redo log makes InnoDB flush pages all the time).
export DUNMERE_MARIADB_OPTIONS=${DUNMERE_MARIADB_OPTIONS:---innodb-buffer-pool-size=128M --innodb-log-file-size=96M}
eval "$("$root/scripts/mariadb-private.sh" start "$work/mariadb")"
trap '"$root/scripts/mariadb-private.sh" stop "$work/mariadb" >/dev/null 2>&1 || true' EXIT
server=(--mysqlh="$DUNMERE_MYSQL_HOST" --port="$DUNMERE_MYSQL_PORT" --mysqlu="$DUNMERE_MYSQL_USER"
        --mysqlp="$DUNMERE_MYSQL_PASSWORD")
client_options=(--no-defaults --host="$DUNMERE_MYSQL_HOST" --port="$DUNMERE_MYSQL_PORT"
                --user="$DUNMERE_MYSQL_USER")
export MYSQL_PWD=$DUNMERE_MYSQL_PASSWORD
sql() { mariadb "${client_options[@]}" --batch --skip-column-names -e "$1"; }

# The server's user+system CPU ticks so far: on a shared machine, CPU time is steadier than wall time.
server_pid=$(cat "$work/mariadb/server.pid")
server_cpu() { awk '{ sub(/.*\) /, ""); print $12 + $13 }' "/proc/$server_pid/stat"; }

# Runs a command under /usr/bin/time; appends "wall cpu peak_kb server_cpu" to $work/runs/NAME.times.
timed() {
  local name=$1; shift
  local log=$work/runs/$name
  local before; before=$(server_cpu)
  /usr/bin/time -f '%e %U %S %M' -o "$log.time" "$@" >"$log.out" 2>"$log.err" || {
    echo "$name failed; see $log.out and $log.err" >&2
    tail -5 "$log.err" >&2
    exit 1
  }
  awk -v s="$(( $(server_cpu) - before ))" -v hz="$(getconf CLK_TCK)" \
    '{ printf "%s %.2f %s %.2f\n", $1, $2 + $3, $4, s / hz }' "$log.time" >>"$log.times"
}

# One round of every run on TABLE of DSN; $3 says which order.
round() {
  local dsn=$1 table=$2 order=$3 tag=$2
  printf '%s\n' "$table" >"$work/tables.$table"
  local steps=(dump direct verify load-dump load-innodb mariadb-dump plain-c)
  [ "$order" -eq 1 ] && steps=(plain-c mariadb-dump load-innodb verify direct load-dump dump)
  for step in "${steps[@]}"; do
    case $step in
      dump)
        timed "$tag.dump" "$vordaxen" --src="$dsn" --db2schema=BENCH --dump --tab_file="$work/tables.$table" \
          --dest="$work/bench_load.sql" ;;
      direct)
        timed "$tag.direct" "$vordaxen" --src="$dsn" --db2schema=BENCH --dest=bench_direct --mode=0 \
          --tab_file="$work/tables.$table" "${server[@]}" ;;
      verify)
        timed "$tag.verify" "$vordaxen" --src="$dsn" --db2schema=BENCH --dest=bench_direct --verify_only \
          --tab_file="$work/tables.$table" "${server[@]}" ;;
      load-dump)
        # A dump of listed tables carries no database block: it loads into the one named.
        sql "DROP DATABASE IF EXISTS bench_load; CREATE DATABASE bench_load"
        timed "$tag.load-dump" sh -c 'exec mariadb "$@" < "$0"' "$work/bench_load.sql" "${client_options[@]}" \
          bench_load ;;
      load-innodb)
        sql "DROP DATABASE IF EXISTS bench_load; CREATE DATABASE bench_load"
        timed "$tag.load-innodb" sh -c 'exec mariadb "$@" < "$0"' "$work/bench_load_innodb.sql" \
          "${client_options[@]}" bench_load ;;
      mariadb-dump)
        timed "$tag.mariadb-dump" sh -c 'exec mariadb-dump "$@" > "$0"' "$work/mariadb-dump.sql" \
          "${client_options[@]}" bench_direct ;;
      plain-c)
        timed "$tag.plain-c" "$build/bench/dunmere_bench_plain" "$DB2STANDIN_HOME/$dsn/standin.db" \
          bench_direct bench_plain "$table" ;;
    esac
  done
}

# The first round needs a dump to load and a converted table to copy and to dump.
prime() {
  printf '%s\n' "$2" >"$work/tables.$2"
  "$vordaxen" --src="$1" --db2schema=BENCH --dest=bench_direct --mode=0 --tab_file="$work/tables.$2" \
    "${server[@]}" >/dev/null
  "$vordaxen" --src="$1" --db2schema=BENCH --dump --tab_file="$work/tables.$2" --dest="$work/bench_load.sql" >/dev/null
  sed 's/^) ENGINE=MyISAM;/) ENGINE=InnoDB;/' "$work/bench_load.sql" >"$work/bench_load_innodb.sql"
  grep -aq '^) ENGINE=InnoDB;' "$work/bench_load_innodb.sql" || { echo "no table to make InnoDB in the dump" >&2; exit 1; }
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
col() { awk -v c="$2" '{ print $c }' "$work/runs/$1.times" | median; }

# Prints the table of one source table.
report() {
  local table=$1 n=$2
  local d_wall; d_wall=$(col "$table.dump" 1)
  local x_wall; x_wall=$(col "$table.direct" 1)
  echo "### $table, $n rows ($runs runs each, medians)"
  echo
  echo "| run | wall s | user+sys s | peak MB | server CPU s | rows/s | Dunmere/peer |"
  echo "|---|---:|---:|---:|---:|---:|---|"
  for step in dump direct verify mariadb-dump load-dump load-innodb plain-c; do
    local wall cpu peak server ratio=""
    wall=$(col "$table.$step" 1); cpu=$(col "$table.$step" 2); peak=$(col "$table.$step" 3)
    server=$(col "$table.$step" 4)
    case $step in
      mariadb-dump) ratio=$(awk -v a="$wall" -v b="$d_wall" 'BEGIN { printf "dump %.2f", a / b }') ;;
      verify) ratio=$(awk -v a="$x_wall" -v b="$wall" 'BEGIN { printf "direct %.2f", a / b }') ;;
      load-dump|load-innodb|plain-c) ratio=$(awk -v a="$wall" -v b="$x_wall" 'BEGIN { printf "direct %.2f", a / b }') ;;
    esac
    awk -v s="$step" -v w="$wall" -v c="$cpu" -v p="$peak" -v v="$server" -v n="$n" -v r="$ratio" \
      'BEGIN { printf "| %s | %.2f | %.2f | %.1f | %.2f | %.0f | %s |\n", s, w, c, p / 1024, v, n / w, r }'
  done
  echo
}

measure() {
  local dsn=$1 table=$2 n=$3
  rm -f "$work/runs/$table".*
  prime "$dsn" "$table"
  for ((i = 0; i < runs; ++i)); do
    echo "  $table round $((i + 1)) of $runs" >&2
    round "$dsn" "$table" $((i % 2))
  done
  report "$table" "$n"
}

# What a dump holds besides its statements: the file's name and when it was made.
dump_body() { grep -av -e '^# File name: ' -e '^# Creation date: ' -e '^-- Dump completed on ' "$1"; }

# Every table of the direct-mode database with its checksum, one "name checksum" line each.
direct_checksums() {
  local tables; tables=$(sql "SELECT GROUP_CONCAT('\`bench_jobs\`.\`', table_name, '\`' ORDER BY table_name)
    FROM information_schema.tables WHERE table_schema = 'bench_jobs'")
  sql "CHECKSUM TABLE $tables"
}

# The steps of a round on TABFILE: with two tables or more, two processes of one job each
# (each given every other table) show what the machine gives two copies that share nothing.
jobs_steps() {
  if [ "$(wc -l <"$1")" -ge 2 ]; then echo dump-1 dump-2 dump-2p direct-1 direct-2 direct-2p
  else echo dump-1 dump-2 direct-1 direct-2; fi
}

# sh -c "$two_processes" sh TABFILE DEST_A DEST_B COMMAND...: COMMAND twice at once, on TABFILE.a
# into DEST_A and on TABFILE.b into DEST_B; fails if either fails.
two_processes='tabfile=$1 a=$2 b=$3; shift 3
  "$@" --tab_file="$tabfile.a" --dest="$a" >/dev/null & first=$!
  "$@" --tab_file="$tabfile.b" --dest="$b" >/dev/null; second=$?
  wait $first && [ $second -eq 0 ]'

# One round of dump and direct mode with 1 and 2 jobs on the tables listed in TABFILE of DSN.
jobs_round() {
  local dsn=$1 tag=$2 tabfile=$3 order=$4
  local steps; read -ra steps <<<"$(jobs_steps "$tabfile")"
  [ "$order" -eq 1 ] && read -ra steps <<<"$(printf '%s\n' "${steps[@]}" | tac | paste -sd' ')"
  awk 'NR % 2 == 1' "$tabfile" >"$tabfile.a"
  awk 'NR % 2 == 0' "$tabfile" >"$tabfile.b"
  for step in "${steps[@]}"; do
    local jobs=${step#*-}
    case $step in
      dump-2p)
        timed "$tag.$step" sh -c "$two_processes" sh "$tabfile" "$work/jobs.$tag.a.sql" "$work/jobs.$tag.b.sql" \
          "$vordaxen" --src="$dsn" --db2schema=BENCH --dump ;;
      direct-2p)
        timed "$tag.$step" sh -c "$two_processes" sh "$tabfile" bench_jobs_a bench_jobs_b \
          "$vordaxen" --src="$dsn" --db2schema=BENCH --mode=0 "${server[@]}" ;;
      dump-*)
        timed "$tag.$step" "$vordaxen" --src="$dsn" --db2schema=BENCH --dump --tab_file="$tabfile" \
          --dest="$work/jobs.$tag.$jobs.sql" --jobs="$jobs" ;;
      direct-*)
        timed "$tag.$step" "$vordaxen" --src="$dsn" --db2schema=BENCH --dest=bench_jobs --mode=0 \
          --tab_file="$tabfile" --jobs="$jobs" "${server[@]}"
        direct_checksums >"$work/runs/$tag.$step.sums" ;;
    esac
  done
  cmp -s <(dump_body "$work/jobs.$tag.1.sql") <(dump_body "$work/jobs.$tag.2.sql") || echo "dump" >>"$work/runs/$tag.differs"
  cmp -s "$work/runs/$tag.direct-1.sums" "$work/runs/$tag.direct-2.sums" || echo "direct" >>"$work/runs/$tag.differs"
}

# Times the set TAG (TABLES of DSN, N rows in all) and prints its table.
jobs_measure() {
  local dsn=$1 tag=$2 n=$3; shift 3
  rm -f "$work/runs/$tag".*
  printf '%s\n' "$@" >"$work/tables.$tag"
  # Untimed, so that the first timed run does not read a cold source file.
  "$vordaxen" --src="$dsn" --db2schema=BENCH --dump --tab_file="$work/tables.$tag" --dest="$work/jobs.$tag.1.sql" >/dev/null
  for ((i = 0; i < runs; ++i)); do
    echo "  $tag with 1 and 2 jobs, round $((i + 1)) of $runs" >&2
    jobs_round "$dsn" "$tag" "$work/tables.$tag" $((i % 2))
  done
  echo "### $(printf 'BENCH.%s, ' "$@" | sed 's/, $//'): $n rows in all ($runs runs each, medians)"
  echo
  echo "| run | jobs | wall s | user+sys s | peak MB | peak MB/job | server CPU s | rows/s | over 1 job |"
  echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|"
  for step in $(jobs_steps "$work/tables.$tag"); do
    local jobs=${step#*-} wall cpu peak server ratio="" run=${step%-*}
    wall=$(col "$tag.$step" 1); cpu=$(col "$tag.$step" 2); peak=$(col "$tag.$step" 3)
    server=$(col "$tag.$step" 4)
    # Two processes of one job each: peak memory is the larger process's.
    [ "$jobs" = 2p ] && jobs=1 run="$run, 2 processes"
    [ "$step" != "${step%-1}" ] || ratio=$(awk -v a="$(col "$tag.${step%-*}-1" 1)" -v b="$wall" 'BEGIN { printf "%.2f", a / b }')
    awk -v s="$run" -v j="$jobs" -v w="$wall" -v c="$cpu" -v p="$peak" -v v="$server" -v n="$n" -v r="$ratio" \
      'BEGIN { printf "| %s | %d | %.2f | %.2f | %.1f | %.1f | %.2f | %.0f | %s |\n", s, j, w, c, p / 1024, p / 1024 / j, v, n / w, r }'
  done
  echo
  if [ -s "$work/runs/$tag.differs" ]; then
    echo "**The 2-job results differ from the 1-job results** ($(sort -u "$work/runs/$tag.differs" | paste -sd, -));"
    echo "see $work."
  else
    echo "Every round: the 2-job dump is the 1-job dump byte for byte (file name and time lines aside),"
    echo "and direct mode left tables of the same checksums."
  fi
  echo
}

# Replaces the "## Parallel jobs" section of $out (up to the next "## " heading) with FILE, or
# appends it.
put_section() {
  if [ -f "$out" ] && grep -q '^## Parallel jobs' "$out"; then
    awk -v f="$1" '
      /^## Parallel jobs/ { while ((getline line < f) > 0) print line; skip = 1; next }
      skip && /^## / { skip = 0 }
      !skip { print }' "$out" >"$out.new"
  else
    { [ -f "$out" ] && cat "$out" && echo; cat "$1"; } >"$out.new"
  fi
  mv "$out.new" "$out"
}

if [ "$jobs_compare" -eq 1 ]; then
  {
    echo "## Parallel jobs"
    echo
    echo "\`bash bench/run.sh --jobs-compare --set $sets --rows $rows --part-rows $part_rows --runs $runs\` on"
    echo "$(date -u +%Y-%m-%d), $(nproc) cores, the server as above. The last column is the 1-job wall time"
    echo "over the run's (its rows per second over those of one job)."
    echo
    if [ "$sets" != four ]; then
      measure_dsn=$(source_db "$rows" "$lob_rows")
      jobs_measure "$measure_dsn" mixed "$rows" MIXED
    fi
    if [ "$sets" != mixed ]; then
      measure_dsn=$(source_four "$part_rows")
      jobs_measure "$measure_dsn" four $((4 * part_rows)) PART1 PART2 PART3 PART4
    fi
  } | tee "$out.tmp"
  put_section "$out.tmp"
  rm -f "$out.tmp"
  echo "written to $out" >&2
  exit 0
fi

dsn=$(source_db "$rows" "$lob_rows")
{
  echo "# Benchmark results"
  echo
  echo "\`bash bench/run.sh --rows $rows --lob-rows $lob_rows --runs $runs\` on $(date -u +%Y-%m-%d),"
  echo "$(nproc) cores ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')),"
  echo "$(mariadb --version | sed 's/,.*//'), server started by scripts/mariadb-private.sh with"
  echo "\`$DUNMERE_MARIADB_OPTIONS\`."
  echo "Rows per second are rows over median wall time; a ratio is the peer's wall time over"
  echo "Dunmere's (above 1: Dunmere is faster). Peak memory and user+sys CPU are the client's;"
  echo "server CPU is what the MariaDB server spent meanwhile."
  echo
  measure "$dsn" MIXED "$rows"
  [ "$lob_rows" -gt 0 ] && measure "$dsn" LOBS "$lob_rows"
  if [ "$scaling" -eq 1 ]; then
    echo "### Scaling: BENCH.MIXED, dump and direct ($runs runs each, medians)"
    echo
    echo "| rows | dump µs/row | dump peak MB | direct µs/row | direct peak MB |"
    echo "|---:|---:|---:|---:|---:|"
    for n in 100000 1000000 3000000; do
      sdsn=$(source_db "$n" 0)
      rm -f "$work/runs/scale".*
      for ((i = 0; i < runs; ++i)); do
        echo "  scaling $n round $((i + 1)) of $runs" >&2
        timed scale.dump "$vordaxen" --src="$sdsn" --db2schema=BENCH --dump --dest="$work/bench_scale.sql"
        timed scale.direct "$vordaxen" --src="$sdsn" --db2schema=BENCH --dest=bench_scale --mode=0 "${server[@]}"
      done
      awk -v n="$n" -v dw="$(col scale.dump 1)" -v dp="$(col scale.dump 3)" -v xw="$(col scale.direct 1)" \
        -v xp="$(col scale.direct 3)" \
        'BEGIN { printf "| %d | %.2f | %.1f | %.2f | %.1f |\n", n, dw * 1e6 / n, dp / 1024, xw * 1e6 / n, xp / 1024 }'
    done
    echo
  fi
} | tee "$out.tmp"
mv "$out.tmp" "$out"
echo "written to $out" >&2
