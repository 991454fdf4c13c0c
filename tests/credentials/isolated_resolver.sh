#!/bin/sh
# Runs a test program as isolated.sh does, and besides in a mount namespace of its own where
# /etc/resolv.conf names one DNS server, 127.0.0.1 port 53: inside the network namespace that
# isolated.sh makes, that is a server the test itself runs. /etc/hosts stays the system's.
# Nothing outside the namespaces sees the changed file.
#
#   isolated_resolver.sh PROGRAM [ARGUMENT]...
#
# Without a mount namespace (unshare -m refused) the program runs through isolated.sh alone,
# with QUBOPOST_TEST_NO_RESOLVER saying why, so that tests needing the DNS server can skip.
set -eu

here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" = "--in-mounts" ]; then
    shift
    mount --bind "$QUBOPOST_TEST_RESOLV_CONF" /etc/resolv.conf
    unset QUBOPOST_TEST_RESOLV_CONF
    exec "$here/isolated.sh" "$@"
fi

folder=$(mktemp -d "${TMPDIR:-/tmp}/qubopost-resolver-XXXXXX")
trap 'rm -rf "$folder"' EXIT INT TERM
# The resolver's own time-out (5 s, 2 tries) is kept: tests of a silent server rely on the
# library giving up first.
printf 'nameserver 127.0.0.1\noptions timeout:5 attempts:2\n' > "$folder/resolv.conf"
chmod 644 "$folder/resolv.conf"
status=0
if unshare -m --propagation private true 2>/dev/null; then
    QUBOPOST_TEST_RESOLV_CONF="$folder/resolv.conf" \
        unshare -m --propagation private "$0" --in-mounts "$@" || status=$?
else
    QUBOPOST_TEST_NO_RESOLVER="no mount namespace here (unshare -m was refused)" \
        "$here/isolated.sh" "$@" || status=$?
fi
exit $status
