#!/usr/bin/env bash
# Checks an installation of Qubopost in a folder of its own (a prefix), the way a user or a
# desktop meets it. One check per call:
#   installed.sh install BUILD PREFIX          cmake --install BUILD into a fresh PREFIX
#   installed.sh layout PREFIX LIBDIR          every file in its place, libbsmtp.so found from bin/
#   installed.sh docs PREFIX VERSION           copyright, change log, Japanese manual pages
#   installed.sh options PREFIX VERSION        qubopost --help and --version without a display
#   installed.sh cli PREFIX                    qubopost-cli --help and generate --page
#   installed.sh dialog-term PREFIX            qubopost closed by SIGTERM saves its settings
#   installed.sh dialog-int PREFIX             ... by SIGINT
#   installed.sh dialog-hup PREFIX             ... by SIGHUP
#   installed.sh dialog-nohup PREFIX           a SIGHUP ignored at start stays ignored
#   installed.sh dialog-stuck PREFIX           a signal while the close waits ends the program
#   installed.sh desktop PREFIX                desktop-file-validate, the entry's icon and program
#   installed.sh window-class PREFIX           the window's X11 class is the entry's StartupWMClass
#   installed.sh metainfo PREFIX               appstreamcli validate and validate-tree (no network)
#   installed.sh package BUILD VERSION         the Debian package cpack makes: documentation, dependencies
# QT_QPA_PLATFORM=offscreen comes from the caller.
set -euo pipefail

mode=$1
prefix=$2
app_id=org.qubopost.Qubopost
icon_sizes=(16 22 24 32 48 64 128 256)

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Nothing from the build folder may help the installed programs find their library.
unset LD_LIBRARY_PATH LD_PRELOAD

scratch=$(mktemp -d "${TMPDIR:-/tmp}/qubopost-install-test.XXXXXX")
program_pid=
server_pid=
bus_pid=
cleanup() {
    if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
        kill -KILL "$program_pid" 2>/dev/null || true
    fi
    if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
        kill -TERM "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    if [ -n "$bus_pid" ] && kill -0 "$bus_pid" 2>/dev/null; then
        kill -TERM "$bus_pid" 2>/dev/null || true
        wait "$bus_pid" 2>/dev/null || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

# The width of a PNG file, from its header chunk.
png_width() {
    [ "$(od -An -tx1 -N8 "$1" | tr -d ' \n')" = 89504e470d0a1a0a ] || return 1
    echo $((16#$(od -An -tx1 -j16 -N4 "$1" | tr -d ' \n')))
}

# Whether process $2 catches (with $1 = Cgt) or ignores ($1 = Ign) signal number $3.
signal_state() {
    local field=$1 pid=$2 number=$3 mask
    mask=$(awk -v f="Sig$field:" '$1 == f { print $2 }' "/proc/$pid/status" 2>/dev/null) || return 1
    [ -n "$mask" ] || return 1
    (( (16#$mask >> (number - 1)) & 1 ))
}

# Whether process $1 still runs (an ended child stays a zombie until waited for).
running() {
    local state
    state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1) || return 1
    [ -n "$state" ] && [ "$state" != Z ]
}

# Waits until the command "$@" (after the pid $1) succeeds, failing if the process ends first.
# The bound only stops a hung run.
wait_for() {
    local pid=$1
    shift
    for _ in $(seq 1 1200); do
        running "$pid" || fail "qubopost ended on its own; its output: $(cat "$scratch/output")"
        if "$@"; then return 0; fi
        sleep 0.05
    done
    fail "qubopost never reached: $*"
}

# Waits for the program's exit and sets exit_status (128 + N when signal N ended it).
exit_status=
wait_exit() {
    for _ in $(seq 1 1200); do
        running "$program_pid" || break
        sleep 0.05
    done
    running "$program_pid" && fail "qubopost did not end; its output: $(cat "$scratch/output")"
    exit_status=0
    wait "$program_pid" || exit_status=$?
    program_pid=
}

# Starts the installed dialog program with the user's folders in the scratch folder and the
# signal handling given by env(1) options, and waits until it has its dialog up and catches
# SIGTERM and SIGINT.
start_dialog() {
    mkdir -p "$scratch/home"
    HOME=$scratch/home XDG_CONFIG_HOME=$config \
        env "$@" "$prefix/bin/qubopost" >"$scratch/output" 2>&1 &
    program_pid=$!
    wait_for "$program_pid" caught_term_and_int
}
caught_term_and_int() { signal_state Cgt "$program_pid" 15 && signal_state Cgt "$program_pid" 2; }
term_released() { ! signal_state Cgt "$program_pid" 15; }

# Closes the started dialog program with signal $1 and checks that it ended well and wrote
# its settings under the configuration folder, not beside the executable.
close_with() {
    local signal=$1
    kill -s "$signal" "$program_pid"
    wait_exit
    [ "$exit_status" = 0 ] || fail "SIG$signal: exit status $exit_status; output: $(cat "$scratch/output")"
    [ -f "$config/qubopost/CQubopostDlg.ini" ] || fail "SIG$signal: no $config/qubopost/CQubopostDlg.ini"
    grep -q '^\[HostData\]' "$config/qubopost/CQubopostDlg.ini" || fail "no [HostData] in the settings"
    [ ! -e "$prefix/bin/CQubopostDlg.ini" ] || fail "settings written beside the installed executable"
}


# The option names a manual page mentions (--long ones and the registration /Switches), one a line.
page_options() {
    sed 's/\\-/-/g' "$1" | grep -oE -- '--[a-z][a-z0-9-]*|/[A-Z][A-Za-z]+' | sort -u
}

# Checks the documentation under the share folder $1 (PREFIX/share, or usr/share of the
# package): the copyright file in the machine-readable format, the change log of version $2,
# and the Japanese manual pages beside the English ones, saying the same in the same shape.
check_docs() {
    local share=$1 version=$2 doc=$1/doc/qubopost page english japanese
    [ -f "$doc/copyright" ] || fail "no $doc/copyright"
    head -n1 "$doc/copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
        fail "copyright is not in the machine-readable format: $(head -n1 "$doc/copyright")"
    grep -q '^Files: \*$' "$doc/copyright" || fail "copyright has no paragraph for every file"
    grep -q '^Copyright: .*Qubopost developers' "$doc/copyright" || fail "copyright names no rights holder"
    grep -q '^License: ' "$doc/copyright" || fail "copyright names no licence"
    grep -q 'All rights reserved' "$doc/copyright" || fail "copyright does not reserve the rights"

    gzip -t "$doc/changelog.gz" || fail "no $doc/changelog.gz"
    zcat "$doc/changelog.gz" >"$scratch/changelog"
    [ "$(dpkg-parsechangelog -l "$scratch/changelog" -S Source)" = qubopost ] || fail "change log of another package"
    [ "$(dpkg-parsechangelog -l "$scratch/changelog" -S Version)" = "$version" ] ||
        fail "change log's newest version is not $version: $(head -n1 "$scratch/changelog")"

    for page in qubopost qubopost-cli; do
        english=$share/man/man1/$page.1.gz
        japanese=$share/man/ja/man1/$page.1.gz
        gzip -t "$japanese" || fail "no Japanese manual page $japanese"
        zcat "$english" >"$scratch/en.1"
        zcat "$japanese" >"$scratch/ja.1"
        iconv -f UTF-8 -t UTF-8 "$scratch/ja.1" >/dev/null || fail "$page.1 (ja) is not UTF-8"
        grep -q '^\.SH 名前$' "$scratch/ja.1" || fail "$page.1 (ja) has no 名前 section (whatis reads it)"
        # groff as man runs it for a Japanese reader: no warning about the page.
        report=$(groff -k -mja -man -Tutf8 -ww -z "$scratch/ja.1" 2>&1) || fail "groff $page.1 (ja): $report"
        [ -z "$report" ] || fail "groff $page.1 (ja): $report"
        # The same sections, subsections and tagged paragraphs, and every option of the
        # English page.
        for macro in SH SS TP; do
            [ "$(grep -c "^\.$macro" "$scratch/en.1")" = "$(grep -c "^\.$macro" "$scratch/ja.1")" ] ||
                fail "$page.1: the Japanese page has another number of .$macro than the English one"
        done
        missing=$(comm -23 <(page_options "$scratch/en.1") <(page_options "$scratch/ja.1") | tr '\n' ' ')
        [ -z "$missing" ] || fail "$page.1 (ja) lacks the options $missing"
    done
}

case $mode in
install)
    build=$2
    prefix=$3
    rm -rf "$prefix"
    cmake --install "$build" --prefix "$prefix" >"$scratch/output" 2>&1 ||
        fail "cmake --install: $(cat "$scratch/output")"
    ;;

layout)
    libdir=$3
    [ -x "$prefix/bin/qubopost-cli" ] || fail "no bin/qubopost-cli"
    # qubopost-cli opens the mail library only to post or manage credentials, through its
    # run path: with no key ring it must get as far as saying so (status 3), not fail to load.
    status=0
    env -u DBUS_SESSION_BUS_ADDRESS HOME="$scratch/home" "$prefix/bin/qubopost-cli" credentials list \
        >"$scratch/output" 2>&1 || status=$?
    [ "$status" = 3 ] || fail "bin/qubopost-cli credentials list: status $status: $(cat "$scratch/output")"
    ! ldd "$prefix/bin/qubopost-cli" | grep -q libbsmtp || fail "bin/qubopost-cli loads libbsmtp.so at start"
    for program in qubopost; do
        [ -x "$prefix/bin/$program" ] || fail "no bin/$program"
        # The library must come from the installation, through the run path.
        found=$(ldd "$prefix/bin/$program" | awk '$1 == "libbsmtp.so" && $3 ~ /^\// { print $3 }')
        [ "$found" -ef "$prefix/$libdir/libbsmtp.so" ] ||
            fail "bin/$program finds libbsmtp.so at '${found:-nowhere}', not in $prefix/$libdir"
    done
    for size in "${icon_sizes[@]}"; do
        icon=$prefix/share/icons/hicolor/${size}x${size}/apps/$app_id.png
        [ -f "$icon" ] || fail "no $icon"
        [ "$(png_width "$icon")" = "$size" ] || fail "$icon is not a PNG $size pixels wide"
    done
    for page in qubopost qubopost-cli; do
        gzip -t "$prefix/share/man/man1/$page.1.gz" || fail "no manual page $page.1.gz"
        zcat "$prefix/share/man/man1/$page.1.gz" | grep -q "^\.TH " || fail "$page.1.gz is no manual page"
    done
    [ -f "$prefix/share/applications/$app_id.desktop" ] || fail "no desktop entry"
    [ -f "$prefix/share/metainfo/$app_id.metainfo.xml" ] || fail "no metainfo"
    [ -s "$prefix/share/qubopost/README" ] || fail "no share/qubopost/README"
    ;;

docs)
    check_docs "$prefix/share" "$3"
    ;;

options)
    version=$3
    # No display of any kind and a fresh user folder: the answers come before any window
    # system starts, and nothing is written.
    no_display=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM
        HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config")
    mkdir -p "$scratch/home"
    run() {
        "${no_display[@]}" "$prefix/bin/qubopost" "$@" >"$scratch/out" 2>"$scratch/err" ||
            fail "qubopost $*: exit status $?; $(cat "$scratch/err")"
        [ ! -s "$scratch/err" ] || fail "qubopost $*: wrote to standard error: $(cat "$scratch/err")"
    }
    run --version
    [ "$(cat "$scratch/out")" = "qubopost $version" ] || fail "--version: '$(cat "$scratch/out")'"
    run --help
    iconv -f UTF-8 -t UTF-8 "$scratch/out" >/dev/null || fail "--help is not UTF-8"
    head -n1 "$scratch/out" | grep -q '^使い方: qubopost' || fail "--help: $(head -n1 "$scratch/out")"
    for option in --help --version /RegServer -RegServer /UnregServer -UnregServer -Embedding /Automation; do
        grep -qF -- "$option" "$scratch/out" || fail "--help does not mention $option"
    done
    # Anywhere on the command line, the first of the two deciding.
    run -Embedding --help
    head -n1 "$scratch/out" | grep -q '^使い方: qubopost' || fail "-Embedding --help: $(cat "$scratch/out")"
    run --version --help
    [ "$(cat "$scratch/out")" = "qubopost $version" ] || fail "--version --help: '$(cat "$scratch/out")'"
    run --help --version
    head -n1 "$scratch/out" | grep -q '^使い方: qubopost' || fail "--help --version: $(cat "$scratch/out")"
    [ ! -e "$scratch/config" ] || fail "--help or --version wrote to the configuration folder"
    # A full standard output is an error, said on standard error.
    if "${no_display[@]}" "$prefix/bin/qubopost" --version >/dev/full 2>"$scratch/err"; then
        fail "--version into a full disk reported success"
    fi
    grep -q '標準出力に書き込めませんでした' "$scratch/err" || fail "--version >/dev/full: $(cat "$scratch/err")"
    # The registration switches still end without a window, so without a display too.
    run /RegServer
    [ -s "$scratch/config/qubopost/registry.ini" ] || fail "/RegServer wrote no registry file"
    [ ! -s "$scratch/out" ] || fail "/RegServer printed: $(cat "$scratch/out")"
    ;;

cli)
    "$prefix/bin/qubopost-cli" --help >"$scratch/help" 2>&1 || fail "qubopost-cli --help: $(cat "$scratch/help")"
    grep -q "generate" "$scratch/help" && grep -q "post" "$scratch/help" || fail "--help: $(cat "$scratch/help")"
    # A saved ranking page, EUC-JP as the service sends it.
    iconv -f UTF-8 -t EUC-JP >"$scratch/page.html" <<'EOF'
<tr><td><a href='http://x/1/' target=_blank>漫画の本</a></td>
<td valign=top align=left><span class=style2>説明です。</span></td></tr>
<tr><td><a href="http://x/2/" target=_blank>Book Two</a></td></tr>
EOF
    "$prefix/bin/qubopost-cli" generate --page "$scratch/page.html" >"$scratch/article" 2>"$scratch/errors" ||
        fail "qubopost-cli generate: $(cat "$scratch/errors")"
    for line in "[title]漫画の本" "説明です。" "http://x/1/" "[title]Book Two" "本日のお勧め内容 ↓↓" "-----into-----"; do
        grep -qF -- "$line" "$scratch/article" || fail "article without '$line': $(cat "$scratch/article")"
    done
    ;;

dialog-term)
    # Settings from an earlier session, Shift-JIS as the program keeps them; SIGTERM must
    # write them back (a new file in its place) after loading them into the dialog.
    config=$scratch/config
    settings=$config/qubopost/CQubopostDlg.ini
    mkdir -p "$config/qubopost"
    {
        printf '[HostData]\r\nMAIL=me@example.jp\r\nSMTP=smtp.example.jp\r\nPORT=587\r\n'
        printf 'FOOTER=%s\r\n' "$(printf 'ブログ..フッター' | iconv -f UTF-8 -t CP932)"
    } >"$settings"
    before=$(stat -c %i "$settings")
    start_dialog --default-signal=TERM,INT,HUP
    close_with TERM
    [ "$(stat -c %i "$settings")" != "$before" ] || fail "SIGTERM left the settings file unwritten"
    for entry in MAIL=me@example.jp SMTP=smtp.example.jp PORT=587 \
        "FOOTER=$(printf 'ブログ..フッター' | iconv -f UTF-8 -t CP932)"; do
        grep -qaF -- "$entry" "$settings" || fail "settings lost '$entry': $(cat -v "$settings")"
    done
    ;;

dialog-int | dialog-hup)
    signal=${mode#dialog-}
    signal=${signal^^}
    config=$scratch/config
    start_dialog --default-signal=TERM,INT,HUP
    wait_for "$program_pid" signal_state Cgt "$program_pid" "$(kill -l "$signal")"
    [ ! -e "$config/qubopost/CQubopostDlg.ini" ] || fail "settings written before the close"
    close_with "$signal"
    ;;

dialog-nohup)
    # Started the way nohup starts a program: the hang-up stays ignored, and SIGTERM still
    # closes the dialog.
    config=$scratch/config
    start_dialog --default-signal=TERM,INT --ignore-signal=HUP
    signal_state Ign "$program_pid" 1 || fail "SIGHUP no longer ignored"
    ! signal_state Cgt "$program_pid" 1 || fail "SIGHUP caught although ignored at start"
    close_with TERM
    ;;

dialog-stuck)
    # The configuration folder cannot be made, so the close stops at a message box saying
    # the settings could not be saved. Once the close has begun, SIGTERM has its own action
    # again: a second one ends the program.
    config=$scratch/not-a-folder
    touch "$config"
    start_dialog --default-signal=TERM,INT,HUP
    kill -s TERM "$program_pid"
    wait_for "$program_pid" term_released
    [ ! -e "$prefix/bin/CQubopostDlg.ini" ] || fail "settings written beside the installed executable"
    kill -s TERM "$program_pid"
    wait_exit
    [ "$exit_status" = $((128 + 15)) ] || fail "second SIGTERM: exit status $exit_status, not death by SIGTERM"
    ;;

desktop)
    command -v desktop-file-validate >/dev/null || fail "desktop-file-validate missing (scripts/setup.sh installs it)"
    entry=$prefix/share/applications/$app_id.desktop
    report=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $report"
    [ -z "$report" ] || fail "desktop-file-validate: $report"
    # The entry starts an installed program and names an installed icon.
    exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
    [ -x "$prefix/bin/$exec_program" ] || fail "Exec=$exec_program is not in bin/"
    icon=$(sed -n 's/^Icon=//p' "$entry")
    [ -f "$prefix/share/icons/hicolor/48x48/apps/$icon.png" ] || fail "Icon=$icon is not in the hicolor theme"
    # The dock matches windows to the entry by their X11 class (window-class checks it).
    grep -qx 'StartupWMClass=qubopost' "$entry" || fail "no StartupWMClass=qubopost in the entry"
    ;;

window-class)
    # The installed program on a real X server: the class of its window must be the one the
    # desktop entry gives in StartupWMClass, or docks show a generic icon for it.
    command -v Xvfb >/dev/null || fail "Xvfb missing (scripts/setup.sh installs xvfb)"
    command -v xwininfo >/dev/null || fail "xwininfo missing (scripts/setup.sh installs x11-utils)"
    wm_class=$(sed -n 's/^StartupWMClass=//p' "$prefix/share/applications/$app_id.desktop")
    [ -n "$wm_class" ] || fail "the desktop entry has no StartupWMClass"
    # Xvfb picks a free display and writes its number when it is ready.
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$scratch/display" >"$scratch/xvfb" 2>&1 &
    server_pid=$!
    for _ in $(seq 1 600); do
        [ -s "$scratch/display" ] && break
        kill -0 "$server_pid" 2>/dev/null || fail "Xvfb ended: $(cat "$scratch/xvfb")"
        sleep 0.05
    done
    [ -s "$scratch/display" ] || fail "Xvfb gave no display"
    display=:$(head -n1 "$scratch/display")
    # The server answers on that display before the program is started (a failure to connect
    # afterwards is then the program's, not a server still coming up or already gone).
    for _ in $(seq 1 200); do
        DISPLAY=$display xwininfo -root >/dev/null 2>&1 && break
        kill -0 "$server_pid" 2>/dev/null || fail "Xvfb on $display ended: $(cat "$scratch/xvfb")"
        sleep 0.05
    done
    DISPLAY=$display xwininfo -root >/dev/null 2>&1 || fail "Xvfb on $display does not answer"
    # A session bus of its own, as every desktop session has one (without any, the D-Bus
    # library would try to start one through the X server).
    command -v dbus-daemon >/dev/null || fail "dbus-daemon missing (scripts/setup.sh installs dbus)"
    dbus-daemon --session --nofork --print-address=4 4>"$scratch/bus" >/dev/null 2>&1 &
    bus_pid=$!
    for _ in $(seq 1 600); do
        [ -s "$scratch/bus" ] && break
        kill -0 "$bus_pid" 2>/dev/null || fail "dbus-daemon ended"
        sleep 0.05
    done
    [ -s "$scratch/bus" ] || fail "dbus-daemon gave no address"
    export DBUS_SESSION_BUS_ADDRESS
    DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$scratch/bus")
    config=$scratch/config
    mkdir -p "$scratch/home"
    # libxkbcommon-x11 reads a keymap name with strndup past its buffer's end, which
    # AddressSanitizer's strndup check reports from inside the X keyboard library.
    HOME=$scratch/home XDG_CONFIG_HOME=$config DISPLAY=$display QT_QPA_PLATFORM=xcb \
        ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}intercept_strndup=0" \
        "$prefix/bin/qubopost" >"$scratch/output" 2>&1 &
    program_pid=$!
    # The class of the first window that has one (the dialog), as the X server holds it.
    window_class() {
        DISPLAY=$display xwininfo -root -tree 2>/dev/null |
            sed -n 's/.*: ("\([^"]*\)" "\([^"]*\)").*/\2/p' | head -n1 >"$scratch/class"
        [ -s "$scratch/class" ]
    }
    if ! kill -0 "$server_pid" 2>/dev/null; then fail "Xvfb on $display ended: $(cat "$scratch/xvfb")"; fi
    wait_for "$program_pid" window_class
    [ "$(cat "$scratch/class")" = "$wm_class" ] ||
        fail "the window's class is '$(cat "$scratch/class")', the entry says StartupWMClass=$wm_class"
    kill -s TERM "$program_pid"
    wait_exit
    [ "$exit_status" = 0 ] || fail "SIGTERM: exit status $exit_status; output: $(cat "$scratch/output")"
    ;;

metainfo)
    command -v appstreamcli >/dev/null || fail "appstreamcli missing (scripts/setup.sh installs it)"
    metainfo=$prefix/share/metainfo/$app_id.metainfo.xml
    appstreamcli validate --no-net "$metainfo" >"$scratch/report" 2>&1 ||
        fail "appstreamcli validate: $(cat "$scratch/report")"
    # The tree as a software centre reads it: the desktop entry it launches is there.
    appstreamcli validate-tree --no-net "$prefix" >"$scratch/report" 2>&1 ||
        fail "appstreamcli validate-tree: $(cat "$scratch/report")"
    for program in $(sed -n 's:.*<binary>\(.*\)</binary>.*:\1:p' "$metainfo"); do
        [ -x "$prefix/bin/$program" ] || fail "metainfo provides $program, not in bin/"
    done
    ;;

package)
    build=$2
    version=$3
    command -v dpkg-deb >/dev/null || fail "dpkg-deb missing"
    command -v dpkg-parsechangelog >/dev/null || fail "dpkg-parsechangelog missing (scripts/setup.sh installs dpkg-dev)"
    cpack --config "$build/CPackConfig.cmake" -B "$scratch/package" >"$scratch/output" 2>&1 ||
        fail "cpack: $(cat "$scratch/output")"
    deb=$(find "$scratch/package" -maxdepth 1 -name "qubopost_${version}_*.deb")
    [ -f "$deb" ] || fail "cpack made no qubopost_${version}_*.deb: $(ls "$scratch/package")"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version $(dpkg-deb -f "$deb" Version)"
    dpkg-deb -f "$deb" Recommends | tr ',' '\n' | grep -qx ' *qt6-translations-l10n *' ||
        fail "the package does not recommend qt6-translations-l10n: $(dpkg-deb -f "$deb" Recommends)"
    dpkg-deb -x "$deb" "$scratch/root"
    check_docs "$scratch/root/usr/share" "$version"
    # Documentation readable by all, owned by root.
    dpkg-deb -c "$deb" >"$scratch/contents"
    for file in copyright changelog.gz; do
        grep -qE "^-rw-r--r-- root/root .* \./usr/share/doc/qubopost/$file\$" "$scratch/contents" ||
            fail "usr/share/doc/qubopost/$file: $(grep "doc/qubopost/$file" "$scratch/contents")"
    done
    ;;

*)
    fail "unknown check $mode"
    ;;
esac
