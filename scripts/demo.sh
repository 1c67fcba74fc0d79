#!/usr/bin/env bash
# Velocast's main job on the demo club: builds, creates the demo database for today, starts a
# local SMTP server that stores each message it receives as a file, runs the day's campaigns
# and sends the outbox, then says how many e-mails went out and where to read them.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$here/scripts/setup.sh"

demo="$here/demo"
mail="$demo/mail"
port=2525
mkdir -p "$demo"
rm -rf "$mail"
"$here/build/velocast-seed" "$demo/club.sqlite" --date "$(date +%F)" --force

/usr/bin/python3 "$here/tools/demo/mail_catcher.py" "$mail" --port "$port" > "$demo/mail_catcher.log" 2>&1 &
catcher=$!
trap 'kill "$catcher" 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
  grep -q ready "$demo/mail_catcher.log" 2>/dev/null && break
  kill -0 "$catcher" 2>/dev/null || { cat "$demo/mail_catcher.log" >&2; exit 1; }
  sleep 0.1
done

status=0
"$here/build/velocast" --headless --once --data-link "$demo/club.sqlite.udl" || status=$?

kill "$catcher" 2>/dev/null || true
wait "$catcher" 2>/dev/null || true
trap - EXIT

sent=$(find "$mail" -name '*.eml' 2>/dev/null | wc -l)
echo
echo "Velocast sent $sent e-mail(s) to the local SMTP server on 127.0.0.1:$port."
echo "Read them in $mail/ (one .eml file per message); the demo database is $demo/club.sqlite."
exit "$status"
