#!/usr/bin/env bash
# What `cmake --install` and `cpack -G DEB` produce, checked from the outside, as an IT
# person's machine would see it.
# Usage: check_install.sh tree|units|package BUILD_DIR [PACKAGE.deb]
# `package` builds the package from BUILD_DIR unless one is given.
# Exit status 77 means the check cannot run here (ctest reports it as skipped).
set -euo pipefail
what=$1
build=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIPPED: $*"; exit 77; }

# The files every install holds, relative to the prefix; the autostart entry is in /etc.
expected=(
  bin/velocast
  bin/velocast-seed
  share/applications/velocast.desktop
  share/icons/hicolor/scalable/apps/velocast.svg
  share/icons/hicolor/48x48/apps/velocast.png
  share/icons/hicolor/128x128/apps/velocast.png
  share/icons/hicolor/256x256/apps/velocast.png
  lib/systemd/system/velocast.service
  lib/systemd/system/velocast.timer
  lib/systemd/system/velocast@.service
  lib/systemd/system/velocast@.timer
  lib/sysusers.d/velocast.conf
  share/doc/velocast/README.md
  share/doc/velocast/copyright
  share/man/man1/velocast.1
  share/man/man1/velocast-seed.1
  share/doc/velocast/examples/Korvana.udl
  share/doc/velocast/examples/velocast.conf
)

case "$what" in
tree)
  # DESTDIR is honoured: nothing outside it is written, the autostart entry included.
  DESTDIR="$work/dest" cmake --install "$build" --prefix /usr >/dev/null
  for f in "${expected[@]}"; do
    [ -f "$work/dest/usr/$f" ] || fail "missing /usr/$f under DESTDIR"
  done
  [ -f "$work/dest/etc/xdg/autostart/velocast.desktop" ] || fail "missing the autostart entry"
  [ -x "$work/dest/usr/bin/velocast" ] || fail "velocast is not executable"
  service="$work/dest/usr/lib/systemd/system/velocast.service"
  grep -qx 'ExecStart=/usr/bin/velocast --headless --once --data-link /etc/velocast/Korvana.udl' "$service" \
    || fail "the service does not run the installed program: $(grep ExecStart "$service")"
  grep -qx 'User=velocast' "$service" || fail "the service does not run as the velocast account"
  grep -q '^u velocast ' "$work/dest/usr/lib/sysusers.d/velocast.conf" || fail "no velocast account in sysusers.d"
  grep -qx 'OnCalendar=\*:0/10' "$work/dest/usr/lib/systemd/system/velocast.timer" || fail "the timer is not every 10 minutes"
  # One instance per club, each on its own folder of /etc/velocast.
  grep -qx 'ExecStart=/usr/bin/velocast --headless --once --data-link /etc/velocast/%i/Korvana.udl' \
    "$work/dest/usr/lib/systemd/system/velocast@.service" || fail "the per-club service does not read /etc/velocast/CLUB/Korvana.udl"
  for entry in "$work/dest/usr/share/applications/velocast.desktop" "$work/dest/etc/xdg/autostart/velocast.desktop"; do
    grep -qx 'Exec=velocast' "$entry" || fail "$entry does not start the tray program"
    grep -qx 'Icon=velocast' "$entry" || fail "$entry names another icon"
  done
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$work/dest/usr/share/applications/velocast.desktop" "$work/dest/etc/xdg/autostart/velocast.desktop"
  fi
  # The installed program runs from where it was put.
  "$work/dest/usr/bin/velocast" --version | grep -q '^velocast ' || fail "the installed program does not start"
  ;;
units)
  command -v systemd-analyze >/dev/null || skip "systemd-analyze is not installed"
  # The units must name a program that exists, so install for real under a prefix of our own.
  cmake --install "$build" --prefix "$work/prefix" >/dev/null
  SYSTEMD_LOG_LEVEL=notice systemd-analyze verify --man=no \
    "$work/prefix/lib/systemd/system/velocast.service" "$work/prefix/lib/systemd/system/velocast.timer" \
    > "$work/verify.log" 2>&1 || { cat "$work/verify.log" >&2; fail "systemd-analyze verify"; }
  cat "$work/verify.log"
  # A service is confined: systemd's own exposure score, 10 wide open, at most 2.0.
  confined() {
    local unit=$1 name score
    name=$(basename "$unit")
    score=$(systemd-analyze security --offline=yes "$unit" 2>/dev/null \
      | sed -n "s/.*Overall exposure level for $name: \\([0-9.]*\\).*/\\1/p")
    [ -n "$score" ] || fail "systemd-analyze security gave no score for $name"
    awk -v s="$score" 'BEGIN { exit !(s <= 2.0) }' || fail "$name's exposure score is $score, above 2.0"
    echo "$name exposure score: $score"
  }
  confined "$work/prefix/lib/systemd/system/velocast.service"
  # A template is verified through an instance of it, as systemctl would start one.
  units="$work/prefix/lib/systemd/system"
  for unit in service timer; do cp "$units/velocast@.$unit" "$work/velocast@demo.$unit"; done
  SYSTEMD_LOG_LEVEL=notice systemd-analyze verify --man=no "$work/velocast@demo.service" "$work/velocast@demo.timer" \
    > "$work/verify-club.log" 2>&1 || { cat "$work/verify-club.log" >&2; fail "systemd-analyze verify of velocast@.service"; }
  cat "$work/verify-club.log"
  # The per-club template is confined as the single service is.
  confined "$work/velocast@demo.service"
  # verify lets a misspelt directive pass with a warning; the template must have none.
  if grep -E 'Unknown key|Invalid|Failed' "$work/verify-club.log"; then fail "velocast@.service has a directive systemd does not take"; fi
  ;;
package)
  command -v dpkg-deb >/dev/null || skip "dpkg-deb is not installed"
  if [ $# -ge 3 ]; then
    deb=$3
  else
    command -v cpack >/dev/null || skip "cpack is not installed"
    (cd "$build" && cpack -G DEB -B "$work/deb" >/dev/null) || fail "cpack -G DEB"
    deb=$(ls "$work"/deb/velocast_*.deb)
  fi
  dpkg-deb --contents "$deb" | awk '{print $NF}' | sed 's|^\./|/|' > "$work/files"
  for f in "${expected[@]}"; do
    grep -qx "/usr/$f" "$work/files" || fail "the package lacks /usr/$f"
  done
  grep -qx /etc/xdg/autostart/velocast.desktop "$work/files" || fail "the package lacks the autostart entry"
  # Nothing of the build machine may leak into the package.
  if grep -v -e '^/usr/' -e '^/etc/' -e '^/$' "$work/files"; then fail "files outside /usr and /etc"; fi
  depends=$(dpkg-deb --field "$deb" Depends)
  for d in libqt6core6 libqt6widgets6 libqt6sql6-sqlite libqt6sql6-odbc tdsodbc libssl3 media-types; do
    [[ "$depends" == *"$d"* ]] || fail "Depends lacks $d: $depends"
  done
  # Read whole before matching: grep -q stops at the first match, and under pipefail the
  # writer it leaves behind would fail the check at random.
  control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t)
  grep -qx './postinst' <<<"$control" || fail "no postinst to create the account"
  packaged_service=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/lib/systemd/system/velocast.service)
  grep -qx 'ExecStart=/usr/bin/velocast --headless --once --data-link /etc/velocast/Korvana.udl' <<<"$packaged_service" \
    || fail "the packaged service does not run /usr/bin/velocast"
  echo "$deb: $(wc -l < "$work/files") entries; Depends: $depends"
  ;;
*)
  fail "unknown check $what"
  ;;
esac
