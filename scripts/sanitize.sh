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

# configure_and_build DIR CHECKS [TARGET...]: every target, or only those given.
configure_and_build() {
    local dir=$1 checks=$2
    shift 2
    cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUBOPOST_SANITIZE="$checks" \
        -DQUBOPOST_BUILD_BENCH=OFF -DQUBOPOST_WERROR=ON >/dev/null
    if [ "$#" -gt 0 ]; then
        cmake --build "$dir" --parallel "$(nproc)" --target "$@"
    else
        cmake --build "$dir" --parallel "$(nproc)"
    fi
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
    # Only the threaded tests run under ThreadSanitizer, so only their programs are built (with
    # the programs and the library they start): most of this pass's time was building the rest.
    configure_and_build "$dir" thread qubopost qubopost-cli bsmtp test_app test_article_draft \
        test_blog_engine test_dialog test_disclosure test_fetch_job test_journal_links test_mail_send \
        test_posting test_posting_questions test_posting_resume test_qt_keyboard test_qt_keyring \
        test_qt_resume test_qt_threads test_wordpress_api_cli
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
