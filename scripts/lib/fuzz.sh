# The native fuzz harnesses (fuzz/): building them with the host's clang,
# the smoke run ctest makes of each, and one campaign run.
#
# Sourced: kv_build_fuzz BUILD_DIR configures and builds fuzz/ into
# BUILD_DIR/fuzz. Run: `fuzz.sh smoke FUZZ_DIR NAME` (one ctest entry),
# `fuzz.sh campaign FUZZ_DIR NAME SECONDS` (scripts/fuzz).
#
# Limits of every run: an input taking over 1 s (10 s in the smoke, which
# runs beside the whole test suite on a loaded machine), one allocation
# over 64 MiB, or a resident set over 1024 MiB is a finding, like a crash
# or a sanitizer report. Inputs are at most 16 KiB (the shipped skin.info
# is 7 KiB).

KV_FUZZ_TOP=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
KV_FUZZ_CXX=${KV_FUZZ_CXX:-clang++-14}
KV_FUZZ_LIMITS=(-rss_limit_mb=1024 -malloc_limit_mb=64 -max_len=16384)
KV_FUZZ_SMOKE_RUNS=${KV_FUZZ_SMOKE_RUNS:-1000}
# AddressSanitizer hands freed pages back to the system every few seconds;
# on a loaded virtual machine that madvise call alone has stalled a 3 ms
# input past the 1 s limit. The resident-set limit bounds memory instead.
export ASAN_OPTIONS=${ASAN_OPTIONS:-allocator_release_to_os_interval_ms=-1}

kv_build_fuzz() {
  local out=$1/fuzz
  cmake -S "$KV_FUZZ_TOP/fuzz" -B "$out" -G Ninja -DCMAKE_CXX_COMPILER="$KV_FUZZ_CXX" >/dev/null
  cmake --build "$out"
}

# The run's options for harness $2 of folder $1 (dictionary when present).
kv_fuzz_options() {
  local dict=$KV_FUZZ_TOP/fuzz/dict/$2.dict
  [ -f "$dict" ] && echo "-dict=$dict"
  echo "-artifact_prefix=$1/findings/$2/"
}

# A fixed seed and number of runs, from an empty scratch folder (new inputs
# go there, never into the committed corpus): the same inputs every time.
kv_fuzz_smoke() {
  local dir=$1 name=$2
  local bin=$dir/${name}_fuzz
  if [ ! -x "$bin" ]; then
    echo "$bin is missing: scripts/test builds the harnesses (clang from scripts/setup)" >&2
    return 1
  fi
  rm -rf "$dir/smoke/$name"
  mkdir -p "$dir/smoke/$name" "$dir/findings/$name"
  # shellcheck disable=SC2046
  "$bin" -runs="$KV_FUZZ_SMOKE_RUNS" -seed=1 -timeout=10 -max_total_time=120 \
    "${KV_FUZZ_LIMITS[@]}" $(kv_fuzz_options "$dir" "$name") \
    "$dir/smoke/$name" "$KV_FUZZ_TOP/fuzz/corpus/$name"
}

# One harness for $3 seconds; its own corpus grows in build/fuzz/campaign.
# Prints one line: executions, coverage (edges), corpus size, findings.
kv_fuzz_campaign() {
  local dir=$1 name=$2 seconds=$3
  local bin=$dir/${name}_fuzz log=$dir/campaign/$name.log
  mkdir -p "$dir/campaign/$name" "$dir/findings/$name"
  local before
  before=$(find "$dir/findings/$name" -type f | wc -l)
  # shellcheck disable=SC2046
  "$bin" -max_total_time="$seconds" -timeout=1 -print_final_stats=1 \
    "${KV_FUZZ_LIMITS[@]}" $(kv_fuzz_options "$dir" "$name") \
    "$dir/campaign/$name" "$KV_FUZZ_TOP/fuzz/corpus/$name" >"$log" 2>&1
  local status=$?
  local execs cov corpus after
  execs=$(awk '/stat::number_of_executed_units:/ {print $2}' "$log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | awk '{print $2}')
  corpus=$(grep -o 'corp: [0-9]*/[0-9]*[a-zA-Z]*' "$log" | tail -n 1 | awk '{print $2}')
  after=$(find "$dir/findings/$name" -type f | wc -l)
  printf '%-12s %5ss  executions %12s  coverage %5s edges  corpus %-12s findings %s (exit %s)\n' \
    "$name" "$seconds" "${execs:-?}" "${cov:-?}" "${corpus:-?}" "$((after - before))" "$status"
  [ "$status" -eq 0 ]
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  case ${1:-} in
    smoke) kv_fuzz_smoke "$2" "$3" ;;
    campaign) kv_fuzz_campaign "$2" "$3" "$4" ;;
    *) echo "usage: fuzz.sh smoke|campaign FUZZ_DIR NAME [SECONDS]" >&2; exit 2 ;;
  esac
fi
