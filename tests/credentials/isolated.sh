#!/bin/sh
# Runs a test program in a session of its own: a throw-away HOME and XDG_RUNTIME_DIR, a network
# namespace of its own with 192.0.2.25 on its loopback (when the system allows one), a private
# D-Bus session bus (dbus-run-session) and a gnome-keyring-daemon holding an unlocked, empty key
# ring, stopped when the program ends. Nothing the test does reaches the real key ring, the real
# ~/.netrc or the network.
#
#   isolated.sh PROGRAM [ARGUMENT]...
#
# Without a network namespace (unshare refused) the program runs anyway, with
# QUBOPOST_TEST_NO_NETNS saying why, so that tests needing one can skip with that reason.
set -eu

case "${1:-}" in
--in-namespace)
    shift
    ip link set lo up
    ip addr add 192.0.2.25/32 dev lo
    exec dbus-run-session -- "$0" --in-session "$@"
    ;;
--in-session)
    shift
    # The daemon prints its environment; the tests find it through the bus. It runs in the
    # foreground here so that it can be stopped by its PID afterwards: a daemon with an unlock
    # prompt still open would otherwise outlive the session.
    printf 'throw-away' | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null &
    daemon=$!
    tries=0
    until gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
            --method org.freedesktop.DBus.NameHasOwner org.freedesktop.secrets 2>/dev/null | grep -q true; do
        tries=$((tries + 1))
        [ $tries -lt 200 ] || break
        sleep 0.05
    done
    status=0
    "$@" || status=$?
    # A daemon busy with a prompt may take a moment to go; it gets 5 s.
    kill "$daemon" 2>/dev/null || true
    (sleep 5; kill -KILL "$daemon" 2>/dev/null) </dev/null >/dev/null 2>&1 &
    watchdog=$!
    wait "$daemon" 2>/dev/null || true
    kill "$watchdog" 2>/dev/null || true
    exit $status
    ;;
esac

folder=$(mktemp -d "${TMPDIR:-/tmp}/qubopost-session-XXXXXX")
trap 'rm -rf "$folder"' EXIT INT TERM
mkdir -m 700 "$folder/home" "$folder/run"
export HOME="$folder/home" XDG_RUNTIME_DIR="$folder/run"
unset DBUS_SESSION_BUS_ADDRESS NETRC
status=0
if unshare -n true 2>/dev/null; then
    unshare -n "$0" --in-namespace "$@" 2> "$folder/stderr" || status=$?
else
    export QUBOPOST_TEST_NO_NETNS="no network namespace here (unshare -n was refused)"
    dbus-run-session -- "$0" --in-session "$@" 2> "$folder/stderr" || status=$?
fi
# dbus-daemon's complaint about the file limit is noise; everything else goes on.
grep -v -e 'Failed to set fd limit' -e '^$' "$folder/stderr" >&2 || true
exit $status
