#!/usr/bin/env bash
# Builds the release preset, runs every benchmark once and prints one table of their RESULT lines.
# Each benchmark measures its reference in the same run, so the ratios stay comparable on a busy
# machine; the absolute figures do not. Full outputs go to build/release/bench-logs/.
#
# tools/bench.sh [name-pattern ...]   runs only the benchmarks whose command matches a pattern
set -uo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh socat netcat-openbsd coreutils || exit 1
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"

cmake --preset release >/dev/null || exit 1
cmake --build --preset release -j "$(nproc)" --target \
  bench_byteblock bench_hexview_paint bench_receive_window bench_arrival_times bench_links_tcp_receive \
  bench_keeping_reader bench_links_record_receive bench_links_record_bounded bench_links_record_stop \
  bench_links_tcp_send bench_links_udp_periodic bench_links_udp_receive_share serial_receive_bench || exit 1

bin=build/release/bench
runs=(
  "hexview/bench_byteblock"
  "hexview/bench_hexview_paint"
  "receive/bench_receive_window"
  "receive/bench_arrival_times"
  "links/bench_links_tcp_receive 256"
  "links/bench_links_tcp_receive 1024"
  "links/bench_links_record_receive 512"
  "links/bench_links_record_bounded 10240"
  "links/bench_links_record_stop 24"
  "links/bench_links_udp_receive_share"
  "links/bench_links_tcp_send"
  "links/bench_links_udp_periodic"
  "serial/serial_receive_bench 16"
  "serial/serial_receive_bench 64"
)

logs=build/release/bench-logs
mkdir -p "$logs"
table=$(mktemp)
status=0
echo "load before: $(uptime)"
for run in "${runs[@]}"; do
  if [ $# -gt 0 ]; then
    wanted=0
    for pattern in "$@"; do [[ "$run" == *"$pattern"* ]] && wanted=1; done
    [ $wanted -eq 1 ] || continue
  fi
  log="$logs/$(echo "$run" | tr ' /' '__').log"
  echo "--- $run"
  # Every benchmark bounds its own floods; the time-out only catches one that hangs.
  # shellcheck disable=SC2086
  timeout 900 "$bin"/$run >"$log" 2>&1
  rc=$?
  if [ $rc -ne 0 ]; then
    echo "    exit status $rc (see $log)"
    status=1
  fi
  if ! grep '^RESULT ' "$log" | sed "s|\$| ($run)|" >>"$table"; then
    echo "RESULT ${run// /_} ratio=- goal=- pass=no ($run)" >>"$table"
  fi
done
echo "load after:  $(uptime)"
echo
printf '%-32s %8s %8s %5s  %s\n' result ratio goal pass benchmark
# RESULT <name> ratio=<x> goal=<g> pass=<p> (<command>)
sed -E 's/^RESULT ([^ ]+) ratio=([^ ]+) goal=([^ ]+) pass=([^ ]+) \((.*)\)$/\1 \2 \3 \4 \5/' "$table" |
  while read -r name ratio goal pass command; do
    printf '%-32s %8s %8s %5s  %s\n' "$name" "$ratio" "$goal" "$pass" "$command"
  done
rm -f "$table"
exit $status
