#!/usr/bin/env bash
# Peak resident memory of `qubopost-cli post` on a large article (UTF-8, LF line ends),
# against the article's size: a dry run over many small articles, and a real run to the
# local test SMTP server (aiosmtpd on 127.0.0.1) with --pause 0 over fewer, larger ones.
# Usage: bench/post_memory.sh [MEGABYTES]   (default 100; the build in build/ or $QUBOPOST_BUILD_DIR)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QUBOPOST_BUILD_DIR:-$here/build}
megabytes=${1:-100}

work=$(mktemp -d)
trap 'exec 3>&- 2>/dev/null || true; rm -rf "$work"' EXIT

# Articles as the generator writes them, in UTF-8 with LF line ends: the same text repeated
# with a running number. small: about 600 bytes an article; large: about 1 MB a message.
/usr/bin/python3 - "$work" "$megabytes" <<'PY'
import sys
work, megabytes = sys.argv[1], int(sys.argv[2])
target = megabytes * 1000 * 1000
def article(n, filler):
    return ("\n\n-----into-----\n\n本日のお勧め内容 ↓↓\n\nhttp://shop.example.jp/item/%d/\n\n"
            "お勧め情報のご案内 ↓↓\n\n[title]【特価】ビジネス書・情報源のおすすめ商品 %d\n\n"
            "お勧め情報のご案内 ↓↓\n\nこの商品の説明文です。①②③ 今日の人気ランキング上位の商品。%s" % (n, n, filler))
for name, filler in (("small", ""), ("large", "説明の続きです。\n" * 13000)):
    with open("%s/%s.txt" % (work, name), "w", encoding="utf-8") as out:
        written, n = 0, 0
        while written < target:
            text = article(n, filler)
            out.write(text)
            written += len(text.encode("utf-8"))
            n += 1
        out.write("\n\n-----into-----")
PY

peak() {  # peak RSS in KiB of a command, its output thrown away
    /usr/bin/time -f %M -o "$work/peak" "$@" >/dev/null 2>"$work/stderr" || { cat "$work/stderr" >&2; return 1; }
    tail -1 "$work/peak"
}
report() {  # name, file, KiB
    local bytes; bytes=$(stat -c %s "$2")
    printf "%-28s article %7.1f MB  peak %7.1f MiB  %5.2f x the article\n" "$1" \
        "$(echo "$bytes / 1000000" | bc -l)" "$(echo "$3 / 1024" | bc -l)" "$(echo "$3 * 1024 / $bytes" | bc -l)"
}

kb=$(peak "$build/qubopost-cli" post --article "$work/small.txt" --to blog@example.jp --server 127.0.0.1 --port 25 \
    --from me@example.jp --pause 0 --dry-run)
report "post --dry-run (small)" "$work/small.txt" "$kb"

mkdir "$work/spool"
mkfifo "$work/control"
/usr/bin/python3 "$here/tests/support/smtp_server.py" --spool "$work/spool" <"$work/control" >"$work/port" &
exec 3>"$work/control"
for _ in $(seq 100); do grep -q PORT "$work/port" 2>/dev/null && break; sleep 0.05; done
port=$(awk '/PORT/ {print $2}' "$work/port")
kb=$(peak "$build/qubopost-cli" post --article "$work/large.txt" --to blog@example.jp --server 127.0.0.1 \
    --port "$port" --from me@example.jp --pause 0)
report "post to SMTP (large)" "$work/large.txt" "$kb"
echo "messages received: $(ls "$work/spool" | wc -l)"
kb=$(peak "$build/qubopost-cli" post --article "$work/large.txt" --to blog@example.jp --server 127.0.0.1 \
    --port "$port" --from me@example.jp --pause 0 --dry-run)
report "post --dry-run (large)" "$work/large.txt" "$kb"
