#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour sanitizers) and runs
# them, each for SECONDS seconds, over a working corpus seeded from fuzz/corpus/<target>/.
#
#   scripts/fuzz.sh [-t SECONDS] [-j PARALLEL] [-b] [-s LIMIT] [TARGET...]
#
#   -t SECONDS   how long each target runs (default 600)
#   -j PARALLEL  how many targets run at once (default 1)
#   -b           build only, run nothing
#   -s LIMIT     run nothing; instead choose at most LIMIT files for each committed corpus
#                from the hand-written seeds, the committed finds and the working corpus
#                (fuzz/select_corpus.py), keeping every hand-written seed
#   TARGET       article_generator, text, ini, switches, registry_script, posting_plan,
#                subject, ranking_url, mail_message; default: all of them
#
# The build goes to build-fuzz/ (or $QUBOPOST_FUZZ_BUILD_DIR). New inputs a run finds are kept
# in <build>/fuzz-corpus/<target>/, never in the committed seeds; a crash is written to
# <build>/fuzz-artifacts/<target>/ and its log to <build>/fuzz-logs/<target>.log. The script
# ends with one line per target (executions, new inputs, outcome) and fails if any target
# broke a property. Reproduce a crash with: <build>/fuzz_<target> <crash-file>
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QUBOPOST_FUZZ_BUILD_DIR:-$here/build-fuzz}
seconds=600
parallel=1
build_only=0
select_limit=
while getopts "t:j:bs:h" option; do
    case $option in
        t) seconds=$OPTARG ;;
        j) parallel=$OPTARG ;;
        b) build_only=1 ;;
        s) select_limit=$OPTARG ;;
        *) sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
all_targets=(article_generator text ini switches registry_script posting_plan subject ranking_url mail_message)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")

cmake -S "$here" -B "$build" -G Ninja \
    -DCMAKE_C_COMPILER="${CC:-clang}" -DCMAKE_CXX_COMPILER="${CXX:-clang++}" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUBOPOST_FUZZ=ON \
    -DQUBOPOST_BUILD_GUI_TESTS=OFF -DQUBOPOST_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target "${targets[@]/#/fuzz_}"
[ "$build_only" = 0 ] || exit 0

if [ -n "$select_limit" ]; then
    for target in "${targets[@]}"; do
        scratch=$(mktemp -d)
        mkdir -p "$scratch/empty" "$build/fuzz-corpus/$target"
        # Inputs that break a property now are written to the artifacts folder, not chosen.
        mkdir -p "$build/fuzz-artifacts/$target"
        broken_before=$(find "$build/fuzz-artifacts/$target" -type f | wc -l)
        "$build/fuzz_$target" -merge=1 -merge_control_file="$scratch/control" "$scratch/empty" \
            -artifact_prefix="$build/fuzz-artifacts/$target/" \
            "$here/fuzz/corpus/$target" "$build/fuzz-corpus/$target" >"$scratch/log" 2>&1 ||
            { cat "$scratch/log"; rm -rf "$scratch"; exit 1; }
        printf '%-18s ' "$target"
        python3 "$here/fuzz/select_corpus.py" "$scratch/control" "$here/fuzz/corpus/$target" "$select_limit"
        broken_after=$(find "$build/fuzz-artifacts/$target" -type f | wc -l)
        if [ "$broken_after" -gt "$broken_before" ]; then
            echo "  $((broken_after - broken_before)) input(s) break a property: $build/fuzz-artifacts/$target/"
        fi
        rm -rf "$scratch"
    done
    exit 0
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p "$build/fuzz-logs"

run_one() {
    local target=$1 dict=()
    local work="$build/fuzz-corpus/$target" artifacts="$build/fuzz-artifacts/$target/"
    mkdir -p "$work" "$artifacts"
    [ -f "$here/fuzz/dict/$target.dict" ] && dict=(-dict="$here/fuzz/dict/$target.dict")
    # The working corpus comes first: libFuzzer writes what it finds into the first folder only.
    "$build/fuzz_$target" "$work" "$here/fuzz/corpus/$target" "${dict[@]}" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
        -print_final_stats=1 -artifact_prefix="$artifacts" >"$build/fuzz-logs/$target.log" 2>&1
}

summary() {
    local target=$1 status=$2 log="$build/fuzz-logs/$1.log"
    local runs found
    runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | awk '{print $2}' | tail -1)
    found=$(find "$build/fuzz-corpus/$target" -type f | wc -l)
    if [ "$status" = 0 ]; then
        printf '%-18s %12s executions  %5s inputs in the working corpus  ok\n' "$target" "${runs:-?}" "$found"
    else
        printf '%-18s %12s executions  %5s inputs in the working corpus  FAILED (see %s)\n' \
            "$target" "${runs:-?}" "$found" "$log"
    fi
}

declare -A pids=()
failed=0
pending=("${targets[@]}")
results=()
while [ ${#pending[@]} -gt 0 ] || [ ${#pids[@]} -gt 0 ]; do
    while [ ${#pending[@]} -gt 0 ] && [ ${#pids[@]} -lt "$parallel" ]; do
        target=${pending[0]}
        pending=("${pending[@]:1}")
        echo "fuzzing $target for $seconds s"
        run_one "$target" &
        pids[$target]=$!
    done
    for target in "${!pids[@]}"; do
        if ! kill -0 "${pids[$target]}" 2>/dev/null; then
            status=0
            wait "${pids[$target]}" || status=$?
            [ "$status" = 0 ] || failed=1
            results+=("$(summary "$target" "$status")")
            unset "pids[$target]"
        fi
    done
    sleep 1
done
printf '%s\n' "${results[@]}"
exit "$failed"
