#!/usr/bin/env bash
# The Windows build under Wine: the unit test programs that need no Linux peer; the headless
# program on a demo club made by velocast-seed.exe, sending through the Linux mail catcher,
# its e-mails parsed back; Ctrl+C ending a wait for a silent SMTP server at once; the SQL
# Server road through Wine's ODBC to the host's FreeTDS and the project's TDS stand-in; the
# installer and its uninstaller; the tray program on a virtual X display, with a screenshot
# kept as build/velocast-windows-tray.png.
# Skipped, with a line that says why, where Wine or the toolchain archive is missing.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
archive=${WINDOWS_TOOLCHAIN_ARCHIVE:-"$root/../shared/toolchains/windows-toolchain.tar.xz"}
wine=/usr/lib/wine/wine64

skip() { echo "wine tests: skipped: $*"; exit 0; }
fail() { echo "wine tests: FAILED: $*" >&2; exit 1; }
[ -f "$archive" ] || [ -f "$root/build-win/windows-toolchain/mingw64.cmake" ] ||
  skip "no Windows toolchain (set WINDOWS_TOOLCHAIN_ARCHIVE to windows-toolchain.tar.xz)"

WINDOWS_TOOLCHAIN_ARCHIVE="$archive" WINDOWS_SKIP_PACKAGES="${WINDOWS_SKIP_PACKAGES:-0}" WINDOWS_TESTS=1 \
  bash "$root/scripts/windows.sh"
[ -x "$wine" ] || skip "Wine's 64-bit loader $wine is missing (apt-get install wine64)"

version=$(sed -n 's/^project(Velocast VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
stage="$root/build-win/stage/velocast-$version"
work="$root/build-win/wine-test"
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX="$root/build-win/wineprefix" WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" wineboot -i >/dev/null 2>&1 || skip "Wine cannot make a prefix here"
fi
"$wine" cmd /c exit 0 >/dev/null 2>&1 || skip "Wine does not run programs here"
trap 'kill $(jobs -p) 2>/dev/null || true; "$root/tests/windows/stop_wine.sh" 2>/dev/null || true' EXIT

# 0. The unit test programs of the Windows build (those whose peers run on Windows too).
ctest --test-dir "$root/build-win/build" -j "$(nproc)" --output-on-failure >"$work/ctest.log" 2>&1 ||
  fail "unit tests under Wine: $(grep -E 'FAILED|Failure|Failed' "$work/ctest.log" | head -20)"
echo "wine tests: $(grep 'tests passed' "$work/ctest.log")"

# The program's own texts follow Windows' display language: Portuguese on the clubs' desks.
LANG=pt_BR.UTF-8 "$wine" "$stage/velocast.exe" --help >"$work/help-pt.log" 2>&1 || true
grep -q "^Uso: velocast" "$work/help-pt.log" ||
  fail "velocast.exe --help on a Portuguese Windows is not in Portuguese: $(head -2 "$work/help-pt.log")"
echo "wine tests: velocast.exe speaks Portuguese on a Portuguese Windows"

free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
wait_for_line() {  # FILE TEXT PID
  for _ in $(seq 1 300); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    kill -0 "$3" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# 1. The headless program on a demo club, through the mail catcher.
port=$(free_port)
/usr/bin/python3 "$root/tools/demo/mail_catcher.py" "$work/mail" --port "$port" >"$work/catcher.log" 2>&1 &
catcher=$!
wait_for_line "$work/catcher.log" ready "$catcher" || fail "the mail catcher did not start: $(cat "$work/catcher.log")"
"$wine" "$stage/velocast-seed.exe" "Z:$work/club.sqlite" --port "$port" --force >"$work/seed.log" 2>&1 ||
  fail "velocast-seed.exe: $(cat "$work/seed.log")"
status=0
QT_QPA_PLATFORM=offscreen "$wine" "$stage/velocast.exe" --headless --once --data-link "Z:$work/club.sqlite.udl" \
  >"$work/headless.log" 2>&1 || status=$?
[ "$status" = 0 ] || fail "velocast.exe --headless --once ended with status $status: $(tail -5 "$work/headless.log")"
/usr/bin/python3 - "$work/mail" "$work/headless.log" <<'PY' || fail "the e-mails sent under Wine do not read back"
import email, email.policy, pathlib, re, sys
mails = sorted(pathlib.Path(sys.argv[1]).glob("*.eml"))
summary = re.search(r"sent=(\d+)", open(sys.argv[2], encoding="utf-8").read().split("summary:")[-1])
assert mails, "no e-mail reached the mail catcher"
assert summary and int(summary.group(1)) == len(mails), f"{len(mails)} e-mails caught, the summary says {summary and summary.group(1)}"
for path in mails:
    with open(path, "rb") as f:
        message = email.message_from_binary_file(f, policy=email.policy.default)
    assert message["From"] and message["To"] and message["Subject"] and message["Date"], path
    body = message.get_body(preferencelist=("html", "plain"))
    assert body is not None and body.get_content().strip(), path
print(f"wine tests: the headless program sent {len(mails)} e-mail(s), each read back")
PY
kill "$catcher" 2>/dev/null || true

# 2. An end request during a wait for the SMTP server: a server that accepts and never greets
# holds the client for its 30-second time-out. Wine turns SIGINT into the console's Ctrl+C;
# the run must end at once with status 130, its rows kept for the next run.
coproc silent { exec /usr/bin/python3 -u -c '
import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(1)
print("PORT", s.getsockname()[1])
c, _ = s.accept()
print("CONNECTED")
sys.stdin.read()'; }
read -r word silent_port <&"${silent[0]}" || fail "the silent server did not start"
"$wine" "$stage/velocast-seed.exe" "Z:$work/silent.sqlite" --port "$silent_port" --force >"$work/seed-silent.log" 2>&1 ||
  fail "velocast-seed.exe: $(cat "$work/seed-silent.log")"
QT_QPA_PLATFORM=offscreen "$wine" "$stage/velocast.exe" --headless --once --data-link "Z:$work/silent.sqlite.udl" \
  >"$work/silent-run.log" 2>&1 &
run=$!
read -r -t 120 word <&"${silent[0]}" || fail "velocast.exe did not connect to the SMTP server: $(tail -3 "$work/silent-run.log")"
asked=$(date +%s)
kill -INT "$(pgrep -f 'velocast.exe --headless --once --data-link Z:.*silent.sqlite.udl')"
status=0
wait "$run" || status=$?
took=$(($(date +%s) - asked))
exec {silent[1]}>&-
wait "$silent_PID" 2>/dev/null || true
[ "$status" = 130 ] || fail "Ctrl+C during an SMTP wait ended the run with status $status: $(tail -3 "$work/silent-run.log")"
[ "$took" -lt 15 ] || fail "Ctrl+C during an SMTP wait took $took s to end the run (the server's time-out is 30 s)"
/usr/bin/python3 - "$work/silent.sqlite" <<'PY' || fail "the rows of the interrupted run were not kept"
import sqlite3, sys
kept = sqlite3.connect(sys.argv[1]).execute("SELECT COUNT(*) FROM Velocast").fetchone()[0]
assert kept > 0, "the outbox is empty"
print(f"wine tests: Ctrl+C ended a wait for a silent SMTP server at once, status 130, {kept} row(s) kept")
PY

# 3. SQL Server: the Windows build through Wine's odbc32, the host's unixODBC and FreeTDS to
# the TDS stand-in. The peer runs nothing, so the program stops after its first statements;
# what counts is that they arrived as the program sent them.
coproc peer { exec /usr/bin/python3 "$root/tests/support/tds_peer.py" --log "$work/tds.log"; }
read -r word tds_port <&"${peer[0]}" || fail "the TDS stand-in did not start"
[ "$word" = PORT ] || fail "the TDS stand-in said $word"
printf '[oledb]\r\n; Everything after this line is an OLE DB initstring\r\nProvider=SQLOLEDB.1;Password=secret;User ID=velocast;Initial Catalog=KORVANA;Data Source=127.0.0.1,%s\r\n' \
  "$tds_port" >"$work/mssql.udl"
printf '[database]\nodbc_driver = FreeTDS\n' >"$work/velocast.conf"
QT_QPA_PLATFORM=offscreen timeout 120 "$wine" "$stage/velocast.exe" --preview --data-link "Z:$work/mssql.udl" \
  --config "Z:$work/velocast.conf" >"$work/mssql.out" 2>&1 || true
exec {peer[1]}>&-
/usr/bin/python3 - "$work/tds.log" <<'PY' || fail "the SQL Server road: $(tail -3 "$work/mssql.out")"
import json, sys
entries = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
logins = [e for e in entries if e["kind"] == "login"]
assert logins and logins[0]["user"] == "velocast" and logins[0]["database"] == "KORVANA", logins
assert any("SET DATEFORMAT dmy" in (e.get("sql") or "") for e in entries), "no SET DATEFORMAT after the login"
print(f"wine tests: SQL Server reached through Wine's ODBC and FreeTDS ({len(entries)} request(s))")
PY

# 4. The installer, silent, in a prefix of its own: the folder, the Start-menu entry, the start
# with Windows and the uninstall entry; then its uninstaller, which must take all of them away.
if [ -f "$root/out/velocast-$version-setup.exe" ]; then
  (
    export WINEPREFIX="$work/install-prefix"
    "$wine" wineboot -i >/dev/null 2>&1
    "$wine" "$root/out/velocast-$version-setup.exe" /S || fail "the installer ended with status $?"
    /usr/lib/wine/wineserver -w
    program="$WINEPREFIX/drive_c/Program Files/Velocast"
    menu="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Velocast"
    [ -f "$program/velocast.exe" ] && [ -f "$program/Qt6Core.dll" ] && [ -f "$program/uninstall.exe" ] ||
      fail "the installer did not put the program under Program Files"
    [ -f "$menu/Velocast.lnk" ] || fail "the installer made no Start-menu entry"
    grep -q '^"Velocast"=.*velocast.exe' "$WINEPREFIX/user.reg" || fail "the installer did not start the program with Windows"
    grep -q 'Uninstall\\\\Velocast\]' "$WINEPREFIX/system.reg" || fail "the installer registered no uninstaller"
    "$wine" "C:\\Program Files\\Velocast\\uninstall.exe" /S || fail "the uninstaller ended with status $?"
    # The uninstaller copies itself away and goes on from there: wait for it to end.
    for _ in $(seq 1 100); do [ -e "$program" ] || break; sleep 0.2; done
    /usr/lib/wine/wineserver -w
    [ ! -e "$program" ] || fail "the uninstaller left $(ls "$program" | head -3 | tr '\n' ' ')"
    [ ! -e "$menu" ] || fail "the uninstaller left the Start-menu entry"
    ! grep -q '^"Velocast"=' "$WINEPREFIX/user.reg" || fail "the uninstaller left the start with Windows"
    ! grep -q 'Uninstall\\\\Velocast\]' "$WINEPREFIX/system.reg" || fail "the uninstaller left its entry"
  )
  echo "wine tests: the installer installs the program, its Start-menu entry and its start with Windows; the uninstaller removes them"
fi

# 5. The tray program on a virtual desktop with a notification area, and a screenshot.
if ! command -v Xvfb >/dev/null || ! command -v trayer >/dev/null || ! command -v xwd >/dev/null || ! command -v xdotool >/dev/null; then
  echo "wine tests: the tray program skipped: Xvfb, trayer, xdotool or xwd is missing (scripts/setup.sh and scripts/windows.sh install them)"
  exit 0
fi
Xvfb -displayfd 3 -screen 0 1024x600x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
wait_for_line "$work/display" '[0-9]' $! || fail "Xvfb did not start"
export DISPLAY=":$(head -1 "$work/display")"
# Wine's desktop process, which hosts the notification area, started without a display for
# the programs above: it must start again on this one.
"$root/tests/windows/stop_wine.sh"
openbox --sm-disable >/dev/null 2>&1 &
trayer --edge bottom --align right --widthtype pixel --width 120 --height 32 --transparent false --tint 0xdddddd >/dev/null 2>&1 &
"$wine" "$stage/velocast-seed.exe" "Z:$work/tray.sqlite" --port "$(free_port)" --force >/dev/null 2>&1
"$wine" "$stage/velocast.exe" --data-link "Z:$work/tray.sqlite.udl" >"$work/tray.log" 2>&1 &
tray=$!
# The icon docks in trayer's panel (Wine's notification area hands it over as an X window);
# a double click on it opens the program's window, as on Windows.
icon=""
for _ in $(seq 1 600); do
  icon=$(xwininfo -root -tree 2>/dev/null | grep -A40 '"panel": ("panel" "trayer")' | grep -v 'IME' |
         grep -m1 '"explorer.exe"' | sed -n 's/.*  [0-9]*x[0-9]*+[-0-9]*+[-0-9]*  +\([0-9]*\)+\([0-9]*\).*/\1 \2/p' || true)
  [ -n "$icon" ] && break
  sleep 0.1
done
[ -n "$icon" ] || fail "the tray program's icon did not reach the notification area: $(tail -5 "$work/tray.log")"
read -r x y <<<"$icon"
xdotool mousemove $((x + 8)) $((y + 12)) click --repeat 2 --delay 100 1
shown=0
for _ in $(seq 1 300); do
  window=$(xwininfo -root -tree 2>/dev/null | grep -m1 '"Velocast - ' | awk '{print $1}' || true)
  if [ -n "$window" ] && xwininfo -id "$window" | grep -q IsViewable; then shown=1; break; fi
  sleep 0.1
done
[ "$shown" = 1 ] || fail "a double click on the tray icon did not open the window: $(tail -5 "$work/tray.log")"
# A second copy for the same database asks the first to come forward and ends.
status=0
LANG=en_US.UTF-8 timeout 60 "$wine" "$stage/velocast.exe" --data-link "Z:$work/tray.sqlite.udl" >"$work/second.log" 2>&1 ||
  status=$?
[ "$status" = 0 ] && grep -q "already running" "$work/second.log" ||
  fail "a second copy of the tray program did not give way to the first (status $status): $(tail -3 "$work/second.log")"
kill -0 "$tray" 2>/dev/null || fail "the first copy ended when a second one started: $(tail -5 "$work/tray.log")"
xwd -root -silent >"$work/tray.xwd"
mkdir -p "$root/build"
/usr/bin/python3 "$root/tests/windows/xwd_to_png.py" "$work/tray.xwd" "$root/build/velocast-windows-tray.png"
echo "wine tests: the tray program's icon opens its window and a second copy gives way to it; screenshot in build/velocast-windows-tray.png"
