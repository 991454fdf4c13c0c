#!/usr/bin/env bash
# A WordPress blog on loopback that any test can start, with "Post via email" reading a POP3
# mailbox that a local SMTP receiver fills:
#
#   SMTP client --> smtp_maildir.py (127.0.0.1:SMTP_PORT) --> FOLDER/mail (Maildir)
#   wp-mail.php <-- Dovecot POP3 (127.0.0.1:POP3_PORT) <-- FOLDER/mail
#   WordPress (Debian's /usr/share/wordpress, php -S 127.0.0.1:HTTP_PORT) <-> MariaDB (FOLDER/mysql.sock)
#
# Usage:
#   wordpress.sh start FOLDER [--owner PID]
#       Builds and starts everything under FOLDER (created if missing) and prints the test bed's
#       facts (also in FOLDER/testbed.env, KEY=VALUE lines that a shell can source):
#         SITE_URL ADMIN_USER ADMIN_PASSWORD ADMIN_EMAIL DB_SOCKET DB_NAME DB_USER DB_PASSWORD
#         SMTP_HOST SMTP_PORT MAIL_TO POP3_PORT POP3_USER POP3_PASSWORD DOCROOT PIDS
#       --owner PID: a watcher stops the bed once process PID is gone (a killed test leaves
#       nothing running).
#   wordpress.sh check FOLDER
#       Fetches SITE_URL/wp-mail.php once (WordPress's 5-minute "slow down" mark is cleared
#       first), then prints {"wp_mail": {"status": N, "text": ...}, "posts": [...]} as JSON:
#       every post but trashed ones, oldest first, each with id, title and content (raw, as
#       stored), status, author (login), categories, date_gmt and link. An empty mailbox is
#       wp-mail.php's HTTP 500 "There does not seem to be any new mail."
#   wordpress.sh send FOLDER MESSAGE_FILE
#       Mails the file's bytes (LF line ends become CR LF) as one message to MAIL_TO through the
#       SMTP receiver, envelope sender ADMIN_EMAIL: a message made by hand, without a mail client.
#   wordpress.sh app-password FOLDER
#       Makes a new application password for ADMIN_USER (the REST API's login) and prints it.
#   wordpress.sh stop FOLDER
#       Stops every process the bed started, by the PIDs recorded in FOLDER/pids/ (SIGTERM;
#       after 30 s SIGKILL to the process group each of them leads).
#   wordpress.sh env FOLDER
#       Prints FOLDER/testbed.env.
#
# Exit status: 0 done, 1 failure (with a message on standard error), 77 a package the bed
# needs is missing (scripts/setup.sh installs them all).
#
# Nothing is written outside FOLDER, nothing listens anywhere but 127.0.0.1 (MariaDB listens on
# its socket only), every wait is bounded. Run as root, Dovecot's POP3 processes run as dovenull
# and nobody (Dovecot refuses root for them): FOLDER/mail then belongs to nobody.
#
# How Debian's WordPress is served without /etc/wordpress: FOLDER/www is a document root of
# symbolic links to /usr/share/wordpress's files and folders with a wp-config.php of its own, and
# a wp-content folder of its own (links to the package's languages, themes and plugins, a real
# uploads/ and a must-use plugin that stops WordPress from sending mail). Every entry script
# loads wp-load.php through its resolved path (/usr/share/wordpress), which would read Debian's
# wp-config.php; so php -S runs with auto_prepend_file=FOLDER/prepend.php, which defines ABSPATH
# as FOLDER/www/ before any of it, and wp-load.php then takes FOLDER/www/wp-config.php.
#
# The blog is installed through wp-admin/install.php (step 2, as the installer's form posts it) in
# Japanese (language "ja": the translation comes from Debian's wordpress-l10n), titled テスト用ブログ.
# The sample post, page and comment are deleted. Post via email: mailserver_url 127.0.0.1,
# mailserver_port POP3_PORT, mailserver_login/pass the POP3 account, default_email_category 1
# (未分類). wp-mail.php makes a post by the user whose e-mail address is the sender's (the
# admin's is ADMIN_EMAIL) "publish"ed, and one from any other sender "pending", by the admin.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
python=/usr/bin/python3
wait_seconds=60

die() {
    echo "wordpress.sh: $*" >&2
    exit 1
}

usage() {
    sed -n '2,/^set -euo/p' "${BASH_SOURCE[0]}" | sed -e '$d' -e 's/^# \{0,1\}//' >&2
    exit 2
}

[ $# -ge 2 ] || usage
command=$1
folder=$2
shift 2
case "$folder" in
/*) ;;
*) folder="$PWD/$folder" ;;
esac
folder=${folder%/}

# A process is gone when it has no /proc entry or is a zombie nobody reaped yet.
alive() {
    local state
    [ -r "/proc/$1/stat" ] || return 1
    state=$(sed -e 's/^.*) //' -e 's/ .*//' "/proc/$1/stat" 2>/dev/null) || return 1
    [ -n "$state" ] && [ "$state" != Z ] && [ "$state" != X ]
}

stop_bed() {
    local pidfile pid name n
    [ -d "$folder/pids" ] || return 0
    for name in watcher php smtp dovecot mariadb; do
        pidfile="$folder/pids/$name.pid"
        [ -s "$pidfile" ] || continue
        pid=$(cat "$pidfile")
        if [ "$pid" = "$$" ]; then
            # The watcher stopping the bed: it ends with this script.
            rm -f "$pidfile"
            continue
        fi
        if alive "$pid"; then
            kill -TERM "$pid" 2>/dev/null || true
            n=0
            while alive "$pid" && [ $n -lt 300 ]; do
                sleep 0.1
                n=$((n + 1))
            done
            if alive "$pid"; then
                # Started by setsid, the process leads a group of its own: its children go too.
                echo "wordpress.sh: $name (PID $pid) still runs 30 s after SIGTERM: SIGKILL to its group" >&2
                kill -KILL -- "-$pid" 2>/dev/null || kill -KILL "$pid" 2>/dev/null || true
            fi
        fi
        rm -f "$pidfile"
    done
}

env_value() {
    sed -n "s/^$1=//p" "$folder/testbed.env"
}

# Waits up to $wait_seconds for a command to succeed while process $pid lives.
wait_for() {
    local what=$1 pid=$2 log=$3
    shift 3
    local deadline=$((SECONDS + wait_seconds))
    until "$@" >/dev/null 2>&1; do
        if ! alive "$pid"; then
            echo "wordpress.sh: $what ended while starting; its log ($log):" >&2
            tail -n 20 "$log" >&2 || true
            return 1
        fi
        if [ $SECONDS -ge $deadline ]; then
            echo "wordpress.sh: $what not ready after $wait_seconds s; its log ($log):" >&2
            tail -n 20 "$log" >&2 || true
            return 1
        fi
        sleep 0.1
    done
}

free_port() {
    "$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

listening() {
    "$python" -c 'import socket, sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 2).close()' "$1"
}

random_word() {
    "$python" -c 'import secrets, string; print("".join(secrets.choice(string.ascii_letters + string.digits) for _ in range(20)))'
}

# Starts a program in a session of its own, its output in a log; records its PID.
launch() {
    local name=$1
    shift
    setsid "$@" </dev/null >>"$folder/log/$name.log" 2>&1 &
    echo $! >"$folder/pids/$name.pid"
}

check_packages() {
    local missing=()
    local need tool
    for need in mariadb-install-db:mariadb-server-core mariadbd:mariadb-server-core mariadb:mariadb-client \
        mariadb-admin:mariadb-client php:php-cli dovecot:dovecot-core /usr/lib/dovecot/pop3:dovecot-pop3d \
        curl:curl setsid:util-linux; do
        tool=${need%%:*}
        command -v "$tool" >/dev/null 2>&1 || [ -x "/usr/sbin/$tool" ] || missing+=("$tool (${need#*:})")
    done
    [ -f /usr/share/wordpress/wp-settings.php ] || missing+=("/usr/share/wordpress (wordpress)")
    [ -f /usr/share/wordpress/wp-content/languages/ja.mo ] || missing+=("WordPress's Japanese (wordpress-l10n)")
    if command -v php >/dev/null 2>&1 && ! php -r 'exit(extension_loaded("mysqli") ? 0 : 1);' 2>/dev/null; then
        missing+=("PHP's mysqli (php-mysql)")
    fi
    if [ ! -x "$python" ] || ! "$python" -c 'import aiosmtpd' 2>/dev/null; then
        missing+=("$python's aiosmtpd (python3-aiosmtpd)")
    fi
    if [ ${#missing[@]} -gt 0 ]; then
        echo "wordpress.sh: the WordPress test bed lacks: ${missing[*]}; scripts/setup.sh installs those packages" >&2
        exit 77
    fi
}

start_mariadb() {
    local mariadbd=mariadbd
    command -v mariadbd >/dev/null 2>&1 || mariadbd=/usr/sbin/mariadbd
    # Native asynchronous I/O is left off: several beds (and other programs) starting at once
    # share the kernel's limit on AIO contexts, which a bed of this size does not need.
    # The data folder is made again once if making it fails (the log's errors are shown).
    local try
    for try in 1 2; do
        rm -rf "$folder/db"
        if mariadb-install-db --no-defaults --datadir="$folder/db" --user="$user" \
            --auth-root-authentication-method=normal --skip-test-db --skip-name-resolve \
            --innodb-use-native-aio=0 --innodb-log-file-size=4M --innodb-buffer-pool-size=16M \
            >"$folder/log/mariadb-install.log" 2>&1; then
            break
        fi
        echo "wordpress.sh: mariadb-install-db failed (try $try):" >&2
        grep -i -E 'error|fail|abort' "$folder/log/mariadb-install.log" | head -n 20 >&2 || true
        [ "$try" = 2 ] && { tail -n 20 "$folder/log/mariadb-install.log" >&2; die "mariadb-install-db failed"; }
    done
    launch mariadb "$mariadbd" --no-defaults --datadir="$folder/db" --socket="$folder/mysql.sock" \
        --skip-networking --user="$user" --pid-file="$folder/db/mariadbd.pid" \
        --log-error="$folder/log/mariadb.log" --tmpdir="$folder/tmp" --skip-name-resolve \
        --innodb-use-native-aio=0 --innodb-log-file-size=4M --innodb-buffer-pool-size=16M --skip-log-bin \
        --innodb-flush-log-at-trx-commit=0 --innodb-doublewrite=0 \
        --character-set-server=utf8mb4 --collation-server=utf8mb4_unicode_ci
    wait_for MariaDB "$(cat "$folder/pids/mariadb.pid")" "$folder/log/mariadb.log" \
        mariadb-admin --no-defaults --socket="$folder/mysql.sock" --user=root ping
    mariadb --no-defaults --socket="$folder/mysql.sock" --user=root <<EOF
CREATE DATABASE $db_name CHARACTER SET utf8mb4 COLLATE utf8mb4_unicode_ci;
CREATE USER '$db_user'@'localhost' IDENTIFIED BY '$db_password';
GRANT ALL PRIVILEGES ON $db_name.* TO '$db_user'@'localhost';
EOF
}

start_dovecot() {
    local mail_uid mail_gid home chroot_line="" login_user no_chroot=""
    mkdir -p "$folder/dovecot/state" "$folder/mail/tmp" "$folder/mail/new" "$folder/mail/cur"
    if [ "$(id -u)" -eq 0 ]; then
        # Dovecot refuses root for its login and mail processes: these run as dovenull (the
        # package's login user) and nobody. The mail process is chrooted into FOLDER/mail (the
        # "/./" of its home), so the folders above FOLDER may stay closed to nobody.
        mail_uid=$(id -u nobody)
        mail_gid=$(id -g nobody)
        login_user=$(id -un dovenull 2>/dev/null || echo nobody)
        chown -R "$mail_uid:$mail_gid" "$folder/mail"
        home="$folder/mail/./"
        chroot_line="valid_chroot_dirs = $folder/mail"
    else
        mail_uid=$(id -u)
        mail_gid=$(id -g)
        login_user=$user
        home="$folder/mail"
        # Only root may chroot: the login and anvil processes run without one.
        no_chroot="chroot ="
    fi
    printf '%s:{PLAIN}%s\n' "$pop3_user" "$pop3_password" >"$folder/dovecot/passwd"
    chmod 600 "$folder/dovecot/passwd"
    cat >"$folder/dovecot/dovecot.conf" <<EOF
# The test bed's POP3 server: nothing here comes from /etc/dovecot.
base_dir = $folder/dovecot/run
state_dir = $folder/dovecot/state
instance_name = testbed-$$
log_path = $folder/log/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain login
login_trusted_networks = 127.0.0.1/32
default_internal_user = $user
default_internal_group = $(id -gn)
default_login_user = $login_user
first_valid_uid = $mail_uid
last_valid_uid = 0
$chroot_line
mail_location = maildir:~
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $folder/dovecot/passwd
}
userdb {
  driver = static
  args = uid=$mail_uid gid=$mail_gid home=$home
}
service anvil {
  $no_chroot
}
service pop3-login {
  $no_chroot
  inet_listener pop3 {
    address = 127.0.0.1
    port = $pop3_port
  }
  inet_listener pop3s {
    port = 0
  }
}
EOF
    local dovecot=dovecot
    command -v dovecot >/dev/null 2>&1 || dovecot=/usr/sbin/dovecot
    launch dovecot "$dovecot" -c "$folder/dovecot/dovecot.conf" -F
    wait_for "Dovecot (POP3 on 127.0.0.1:$pop3_port)" "$(cat "$folder/pids/dovecot.pid")" \
        "$folder/log/dovecot.log" listening "$pop3_port"
}

start_smtp() {
    launch smtp "$python" "$here/smtp_maildir.py" --maildir "$folder/mail" --port-file "$folder/smtp.port"
    wait_for "the SMTP receiver" "$(cat "$folder/pids/smtp.pid")" "$folder/log/smtp.log" test -s "$folder/smtp.port"
    smtp_port=$(cat "$folder/smtp.port")
}

write_wordpress_files() {
    local www=$folder/www entry
    mkdir -p "$www/wp-content/uploads" "$www/wp-content/mu-plugins"
    for entry in /usr/share/wordpress/* /usr/share/wordpress/.htaccess; do
        case "${entry##*/}" in
        wp-config.php | wp-content | .htaccess) ;;
        *) ln -s "$entry" "$www/${entry##*/}" ;;
        esac
    done
    for entry in languages themes plugins; do
        ln -s "/usr/share/wordpress/wp-content/$entry" "$www/wp-content/$entry"
    done
    cp "$here/testbed-mu-plugin.php" "$www/wp-content/mu-plugins/testbed.php"
    local salts="" key
    for key in AUTH_KEY SECURE_AUTH_KEY LOGGED_IN_KEY NONCE_KEY AUTH_SALT SECURE_AUTH_SALT LOGGED_IN_SALT NONCE_SALT; do
        salts+="define( '$key', '$(random_word)' );"$'\n'
    done
    cat >"$www/wp-config.php" <<EOF
<?php
// The test bed's WordPress configuration (see tests/testbed/wordpress.sh).
define( 'DB_NAME', '$db_name' );
define( 'DB_USER', '$db_user' );
define( 'DB_PASSWORD', '$db_password' );
define( 'DB_HOST', 'localhost:$folder/mysql.sock' );
define( 'DB_CHARSET', 'utf8mb4' );
define( 'DB_COLLATE', '' );
$salts
define( 'WP_HOME', '$site_url' );
define( 'WP_SITEURL', '$site_url' );
define( 'WP_CONTENT_DIR', '$www/wp-content' );
define( 'WP_CONTENT_URL', '$site_url/wp-content' );
define( 'WP_ENVIRONMENT_TYPE', 'local' );
// Nothing leaves the machine: no update checks, no cron requests, no outside HTTP.
define( 'WP_HTTP_BLOCK_EXTERNAL', true );
define( 'DISABLE_WP_CRON', true );
define( 'AUTOMATIC_UPDATER_DISABLED', true );
define( 'WP_AUTO_UPDATE_CORE', false );
\$table_prefix = 'wp_';
// Debian's installer stores these two (empty: the default uploads folder).
\$upload_path = '';
\$upload_url_path = '';
if ( ! defined( 'ABSPATH' ) ) {
	define( 'ABSPATH', '$www/' );
}
require_once ABSPATH . 'wp-settings.php';
EOF
    cat >"$folder/prepend.php" <<EOF
<?php
// Loaded before every script php -S runs: WordPress's entry scripts resolve to
// /usr/share/wordpress, whose wp-config.php reads /etc/wordpress; with ABSPATH set here they
// take $www/wp-config.php instead.
define( 'ABSPATH', '$www/' );
EOF
}

start_wordpress() {
    write_wordpress_files
    launch php php "${php_options[@]}" -d auto_prepend_file="$folder/prepend.php" -S "127.0.0.1:$http_port" -t "$folder/www"
    wait_for "php -S (127.0.0.1:$http_port)" "$(cat "$folder/pids/php.pid")" "$folder/log/php.log" \
        curl -sf -o /dev/null --max-time 5 "$site_url/readme.html"
    # The installer's second step, as its form posts it.
    curl -sS --max-time $wait_seconds -o "$folder/log/install.html" -w '%{http_code}\n' \
        --data-urlencode "weblog_title=テスト用ブログ" \
        --data-urlencode "user_name=$admin_user" \
        --data-urlencode "admin_password=$admin_password" \
        --data-urlencode "admin_password2=$admin_password" \
        --data-urlencode "admin_email=$admin_email" \
        --data-urlencode "blog_public=0" \
        --data-urlencode "language=ja" \
        --data-urlencode "Submit=Install WordPress" \
        "$site_url/wp-admin/install.php?step=2" >"$folder/log/install.status" ||
        die "the WordPress installer did not answer (see $folder/log/php.log)"
    [ "$(TESTBED_SITE_URL=$site_url php "${php_options[@]}" "$here/wp_tool.php" "$folder/www" installed)" = yes ] ||
        die "WordPress is not installed after wp-admin/install.php (HTTP $(cat "$folder/log/install.status"), see $folder/log/install.html)"
    TESTBED_SITE_URL=$site_url php "${php_options[@]}" "$here/wp_tool.php" "$folder/www" configure \
        mailserver_url=127.0.0.1 mailserver_port="$pop3_port" \
        mailserver_login="$pop3_user" mailserver_pass="$pop3_password" default_email_category=1 ||
        die "could not set WordPress's options"
}

start_watcher() {
    local owner=$1
    # Stops the bed once the owner is gone (polls once a second).
    # shellcheck disable=SC2016 # the watcher's own $1..$3
    setsid bash -c '
        while [ -e "/proc/$1" ] && ! grep -q "^State:.*Z" "/proc/$1/status" 2>/dev/null; do sleep 1; done
        exec "$2" stop "$3"' watcher "$owner" "${BASH_SOURCE[0]}" "$folder" \
        </dev/null >>"$folder/log/watcher.log" 2>&1 &
    echo $! >"$folder/pids/watcher.pid"
}

start_bed() {
    local owner=""
    while [ $# -gt 0 ]; do
        case "$1" in
        --owner)
            owner=${2:?--owner needs a PID}
            shift 2
            ;;
        *) usage ;;
        esac
    done
    check_packages
    case "$folder" in
    *[!A-Za-z0-9_./+-]*) die "FOLDER may hold only letters, digits and _ . / + - (it goes into configuration files): $folder" ;;
    esac
    # A Unix socket's path holds at most 107 bytes.
    [ ${#folder} -le 90 ] || die "FOLDER's path is too long for MariaDB's socket (${#folder} > 90 bytes): $folder"
    mkdir -p "$folder"
    if [ -d "$folder/pids" ] && [ -n "$(ls -A "$folder/pids")" ]; then
        die "$folder already holds a test bed (stop it first)"
    fi
    [ -z "$(ls -A "$folder")" ] || die "$folder is not empty"
    mkdir -p "$folder/pids" "$folder/log" "$folder/tmp"

    user=$(id -un)
    db_name=wordpress
    db_user=wordpress
    db_password=$(random_word)
    admin_user="admin"
    admin_password=$(random_word)
    admin_email=admin@blog.test
    pop3_user=post@blog.test
    pop3_password=$(random_word)
    pop3_port=$(free_port)
    http_port=$(free_port)
    site_url="http://127.0.0.1:$http_port"

    trap 'status=$?; if [ $status -ne 0 ]; then stop_bed; fi; exit $status' EXIT
    [ -z "$owner" ] || start_watcher "$owner"
    start_mariadb
    start_dovecot
    start_smtp
    start_wordpress
    cat >"$folder/testbed.env" <<EOF
SITE_URL=$site_url
ADMIN_USER=$admin_user
ADMIN_PASSWORD=$admin_password
ADMIN_EMAIL=$admin_email
DB_SOCKET=$folder/mysql.sock
DB_NAME=$db_name
DB_USER=$db_user
DB_PASSWORD=$db_password
SMTP_HOST=127.0.0.1
SMTP_PORT=$smtp_port
MAIL_TO=$pop3_user
POP3_PORT=$pop3_port
POP3_USER=$pop3_user
POP3_PASSWORD=$pop3_password
DOCROOT=$folder/www
PIDS=$(cat "$folder"/pids/*.pid | tr '\n' ' ' | sed 's/ $//')
EOF
    trap - EXIT
    cat "$folder/testbed.env"
}

error_log_size() {
    if [ -f "$folder/log/php-errors.log" ]; then stat -c %s "$folder/log/php-errors.log"; else echo 0; fi
}

check_bed() {
    [ -f "$folder/testbed.env" ] || die "no test bed in $folder (no testbed.env)"
    local site_url docroot status n logged
    logged=$(error_log_size)
    site_url=$(env_value SITE_URL)
    docroot=$(env_value DOCROOT)
    TESTBED_SITE_URL=$site_url php "${php_options[@]}" "$here/wp_tool.php" "$docroot" reset-mail-check ||
        die "could not clear wp-mail.php's last check"
    n=$(find "$folder/log" -name 'wp-mail-*.html' | wc -l)
    n=$((n + 1))
    status=$(curl -sS --max-time $wait_seconds -o "$folder/log/wp-mail-$n.html" -w '%{http_code}' \
        "$site_url/wp-mail.php") || die "fetching $site_url/wp-mail.php failed (see $folder/log/php.log)"
    TESTBED_SITE_URL=$site_url php "${php_options[@]}" "$here/wp_tool.php" "$docroot" posts >"$folder/log/posts-$n.json" ||
        die "could not read the posts"
    "$python" - "$status" "$folder/log/wp-mail-$n.html" "$folder/log/posts-$n.json" <<'EOF'
import html, json, re, sys
status, page, posts = sys.argv[1:4]
with open(page, encoding="utf-8", errors="replace") as f:
    text = f.read()
# The page as words: tags and the error page's style sheet dropped.
text = re.sub(r"(?s)<(style|script)\b.*?</\1>", " ", text)
text = html.unescape(re.sub(r"<[^>]*>", " ", text))
text = re.sub(r"[ \t\r\n]+", " ", text).strip()
with open(posts, encoding="utf-8") as f:
    listed = json.load(f)
json.dump({"wp_mail": {"status": int(status), "text": text}, "posts": listed}, sys.stdout,
          ensure_ascii=False, indent=1)
print()
EOF
    if [ "$(error_log_size)" -gt "$logged" ]; then
        echo "wordpress.sh: PHP logged errors during the check ($folder/log/php-errors.log):" >&2
        tail -c +$((logged + 1)) "$folder/log/php-errors.log" | tail -n 20 >&2
    fi
}

# PHP's errors and warnings (WordPress, without WP_DEBUG, reports no notices and no deprecation
# notices, of which WordPress 6.1 on PHP 8.2 has many) go to one log that check watches.
php_options=(-d log_errors=1 -d display_errors=0 -d "error_log=$folder/log/php-errors.log")

send_message() {
    [ -f "$folder/testbed.env" ] || die "no test bed in $folder (no testbed.env)"
    [ -f "${1:-}" ] || die "send: no message file ${1:-}"
    "$python" - "$(env_value SMTP_PORT)" "$(env_value ADMIN_EMAIL)" "$(env_value MAIL_TO)" "$1" <<'EOF'
import re, smtplib, sys
port, sender, to, path = sys.argv[1:5]
with open(path, "rb") as f:
    message = re.sub(rb"\r?\n", b"\r\n", f.read())
with smtplib.SMTP("127.0.0.1", int(port), timeout=60) as client:
    client.sendmail(sender, [to], message)
EOF
}

app_password() {
    [ -f "$folder/testbed.env" ] || die "no test bed in $folder (no testbed.env)"
    TESTBED_SITE_URL=$(env_value SITE_URL) php "${php_options[@]}" "$here/wp_tool.php" "$(env_value DOCROOT)" \
        app-password "$(env_value ADMIN_USER)" || die "could not make an application password"
}

case "$command" in
start) start_bed "$@" ;;
app-password) app_password ;;
send) send_message "$@" ;;
stop) stop_bed ;;
check) check_bed ;;
env)
    [ -f "$folder/testbed.env" ] || die "no test bed in $folder (no testbed.env)"
    cat "$folder/testbed.env"
    ;;
*) usage ;;
esac
