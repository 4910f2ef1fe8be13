#!/usr/bin/env bash
# Times the tool against the cost of writing its listing (dd from /dev/zero,
# the same number of bytes, bs=64k, into the same directory) and against
# xxd -i, on a random and a text source of 64 MiB, side by side in one run,
# and measures its peak memory at 1 MiB and 256 MiB. Needs GNU time, dd, xxd
# and bc (Debian: time, coreutils, xxd, bc).
#   bench/run.sh [runs]      (default 7; the figures are medians)
set -euo pipefail

runs=${1:-7}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KORMELT_BENCH_BUILD:-$root/build-bench}
work=${KORMELT_BENCH_DIR:-/dev/shm/kormelt-bench.$$}

for tool in dd xxd bc /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "bench needs $tool" >&2; exit 1; }
done

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target kormelt >/dev/null
kormelt=$build/kormelt

mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
cd "$work"

mib=$((1024 * 1024))
head -c $((64 * mib)) /dev/urandom >random.bin
# C headers, repeated until there is enough text.
find /usr/include -name '*.h' -exec cat {} + >headers.txt 2>/dev/null || true
[ -s headers.txt ] || { echo "bench needs C headers in /usr/include" >&2; exit 1; }
: >text.bin
while [ "$(stat -c %s text.bin)" -lt $((64 * mib)) ]; do cat headers.txt >>text.bin; done
truncate -s $((64 * mib)) text.bin

seconds() { # command...: prints the wall time in seconds
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  echo "scale=4; ($end - $start) / 1000000000" | bc
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

printf '%-8s %10s %10s %10s %10s %10s\n' source tool_s dd_s xxd_s vs_dd xxd_speedup
for source in random text; do
  "$kormelt" "$source.bin" listing.inc /C >/dev/null
  blocks=$(( ($(stat -c %s listing.inc) + 65535) / 65536 ))
  : >tool.t; : >dd.t; : >xxd.t
  for _ in $(seq "$runs"); do
    seconds dd if=/dev/zero of=floor.bin bs=64k count="$blocks" >>dd.t
    seconds "$kormelt" "$source.bin" listing.inc /C >>tool.t
    seconds sh -c "xxd -i $source.bin >xxd.inc" >>xxd.t
  done
  tool=$(median <tool.t); dd=$(median <dd.t); xxd=$(median <xxd.t)
  printf '%-8s %10s %10s %10s %10.2f %10.1f\n' "$source" "$tool" "$dd" "$xxd" \
    "$(echo "$tool / $dd" | bc -l)" "$(echo "$xxd / $tool" | bc -l)"
done

for size in 1 256; do
  head -c $((size * mib)) /dev/urandom >memory.bin
  kib=$(/usr/bin/time -f %M "$kormelt" memory.bin listing.inc /C 2>&1 >/dev/null | tail -n 1)
  echo "peak memory at $size MiB: $kib KiB"
done
