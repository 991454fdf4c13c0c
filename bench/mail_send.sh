#!/usr/bin/env bash
# Time to send one message through BSendMail (qubopost-cli post) side by side with msmtp
# sending the same message, both against the local test SMTP server on 127.0.0.1.
# Usage: bench/mail_send.sh [MESSAGES]   (default 50; the build in build/ or $QUBOPOST_BUILD_DIR)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QUBOPOST_BUILD_DIR:-$here/build}
count=${1:-50}

if ! command -v msmtp >/dev/null; then
    sudo_cmd=(); [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends msmtp >/dev/null
fi

work=$(mktemp -d)
trap 'exec 3>&- 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir "$work/spool"
mkfifo "$work/control"
/usr/bin/python3 "$here/tests/support/smtp_server.py" --spool "$work/spool" <"$work/control" >"$work/port" &
exec 3>"$work/control"
for _ in $(seq 100); do grep -q PORT "$work/port" 2>/dev/null && break; sleep 0.05; done
port=$(awk '/PORT/ {print $2}' "$work/port")

# One article: the message carries a Japanese subject and body.
printf '\r\n\r\n-----into-----\r\n\r\n本日のお勧め内容 ↓↓\r\n\r\nhttp://shop.example.jp/1/\r\n\r\nお勧め情報のご案内 ↓↓\r\n\r\n[title]おすすめの本\r\n\r\n説明文です。\r\n\r\n-----into-----' >"$work/article.txt"
"$build/qubopost-cli" post --article "$work/article.txt" --to blog@example.jp --server 127.0.0.1 --port "$port" \
    --from me@example.jp --pause 0 --dry-run >/dev/null
# The same message as msmtp gets it: taken from what our library sent.
"$build/qubopost-cli" post --article "$work/article.txt" --to blog@example.jp --server 127.0.0.1 --port "$port" \
    --from me@example.jp --pause 0 >/dev/null
message=$(ls "$work/spool" | head -1)
/usr/bin/python3 - "$work/spool/$message" "$work/message.eml" <<'PY'
import sys
stored = open(sys.argv[1], "rb").read()
open(sys.argv[2], "wb").write(stored.split(b"\n\n", 1)[1])
PY

time_runs() {
    local start end
    start=$(date +%s.%N)
    for _ in $(seq "$count"); do "$@" >/dev/null; done
    end=$(date +%s.%N)
    echo "scale=2; ($end - $start) * 1000 / $count" | bc
}

ours=$(time_runs "$build/qubopost-cli" post --article "$work/article.txt" --to blog@example.jp --server 127.0.0.1 \
    --port "$port" --from me@example.jp --pause 0)
theirs=$(time_runs sh -c "msmtp -C /dev/null --host=127.0.0.1 --port=$port --tls=off --auth=off --from=me@example.jp blog@example.jp < '$work/message.eml'")
echo "messages: $count each"
echo "qubopost-cli post (BSendMail): ${ours} ms per message"
echo "msmtp:                         ${theirs} ms per message"
echo "ratio: $(echo "scale=2; $ours / $theirs" | bc)"
