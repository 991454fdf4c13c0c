#!/usr/bin/env bash
# The whole `qubopost-cli generate --page` run side by side with one iconv pass over the same
# page: both commands alternated in the same loop (paired runs), the median of the per-pair
# wall-time ratios, and the peak resident memory of each against the page size.
# Usage: bench/generate_vs_iconv.sh [RUNS] [PRODUCTS[:SHAPE]...]
#   (default 11 runs; the four page shapes of bench/ranking_page.h at about 7.5 MB each:
#    28700:links 20000:descriptions 9000:longlines 12800:shortrows; SHAPE defaults to
#    descriptions; the build in build/ or $QUBOPOST_BUILD_DIR; QUBOPOST_OUTPUT_ENCODING=utf-8
#    for UTF-8 output)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QUBOPOST_BUILD_DIR:-$here/build}
runs=${1:-11}
shift || true
products=("$@")
[ "${#products[@]}" -eq 0 ] && products=(28700:links 20000:descriptions 9000:longlines 12800:shortrows)
encoding=${QUBOPOST_OUTPUT_ENCODING:-sjis}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

now_ns() { date +%s%N; }
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

printf "%-20s %8s %10s %10s %7s %10s %10s %9s\n" products "page MB" "ours ms" "iconv ms" ratio "ours MiB" "iconv MiB" "ours/page"
for spec in "${products[@]}"; do
    n=${spec%%:*}
    shape=descriptions
    [ "$spec" != "$n" ] && shape=${spec#*:}
    page="$work/page-$n-$shape.html"
    "$build/make_ranking_page" "$n" "$shape" >"$page"
    bytes=$(stat -c %s "$page")
    # One unmeasured run of each to warm the page cache and the libraries.
    "$build/qubopost-cli" generate --page "$page" --output-encoding "$encoding" >/dev/null
    iconv -f EUC-JP-MS -t CP932 "$page" >/dev/null
    : >"$work/ours" ; : >"$work/iconv" ; : >"$work/ratio"
    for _ in $(seq "$runs"); do
        a=$(now_ns); "$build/qubopost-cli" generate --page "$page" --output-encoding "$encoding" >/dev/null; b=$(now_ns)
        iconv -f EUC-JP-MS -t CP932 "$page" >/dev/null; c=$(now_ns)
        echo $(( (b - a) / 1000 )) >>"$work/ours"
        echo $(( (c - b) / 1000 )) >>"$work/iconv"
        echo "scale=4; ($b - $a) / ($c - $b)" | bc >>"$work/ratio"
    done
    ours_kb=$( { /usr/bin/time -f %M "$build/qubopost-cli" generate --page "$page" --output-encoding "$encoding" >/dev/null; } 2>&1 | tail -1)
    iconv_kb=$( { /usr/bin/time -f %M iconv -f EUC-JP-MS -t CP932 "$page" >/dev/null; } 2>&1 | tail -1)
    printf "%-20s %8.2f %10.1f %10.1f %7.2f %10.1f %10.1f %9.2f\n" "$spec" "$(echo "$bytes / 1000000" | bc -l)" \
        "$(median <"$work/ours" | awk '{print $1 / 1000}')" "$(median <"$work/iconv" | awk '{print $1 / 1000}')" \
        "$(median <"$work/ratio")" "$(echo "$ours_kb / 1024" | bc -l)" "$(echo "$iconv_kb / 1024" | bc -l)" \
        "$(echo "$ours_kb * 1024 / $bytes" | bc -l)"
done
echo "($runs paired runs per page; ratio: median of ours/iconv per pair; output encoding $encoding)"
