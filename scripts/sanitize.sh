#!/usr/bin/env bash
# Builds and runs the tests under the sanitizers:
#   asan  every test under AddressSanitizer + UndefinedBehaviorSanitizer (leaks included)
#   tsan  the threaded tests (jobs touching controls, fetches and posting runs at once,
#         closing the dialog during a run) under ThreadSanitizer
# Usage: scripts/sanitize.sh [asan|tsan|all]   (default: all)
# Build folders: build-asan/ and build-tsan/ (or under $QUBOPOST_SANITIZE_DIR).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
base=${QUBOPOST_SANITIZE_DIR:-$here}
suppressions=$here/tools/sanitizers
which=${1:-all}

configure_and_build() {
    local dir=$1 checks=$2
    cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUBOPOST_SANITIZE="$checks" \
        -DQUBOPOST_BUILD_BENCH=OFF -DQUBOPOST_WERROR=ON >/dev/null
    cmake --build "$dir" --parallel "$(nproc)"
}

run_asan() {
    local dir=$base/build-asan
    configure_and_build "$dir" address,undefined
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1"
    export LSAN_OPTIONS="suppressions=$suppressions/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    (cd "$dir" && ctest --output-on-failure --parallel "$(nproc)" --timeout 900)
}

run_tsan() {
    local dir=$base/build-tsan
    configure_and_build "$dir" thread
    # The Qt tests add Qt's own entries (tests/qt/tsan.supp, set by their ctest entries).
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$suppressions/tsan.supp"
    (cd "$dir" && ctest --output-on-failure --parallel "$(nproc)" --timeout 900 \
        -R 'WorkerJobs|FetchJob|PostingDialog|Dialog\.|StartUp|test_qt_threads|MailSend|Draft|Questions|PostingResume|test_qt_resume|BlogEngine|test_qt_keyring|test_qt_keyboard|Disclosure')
}

case "$which" in
    asan) run_asan ;;
    tsan) run_tsan ;;
    all) run_asan; run_tsan ;;
    *) echo "usage: $0 [asan|tsan|all]" >&2; exit 2 ;;
esac
