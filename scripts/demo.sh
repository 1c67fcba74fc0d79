#!/usr/bin/env bash
# Velocast's main job on the demo club: builds, creates the demo club database for today,
# starts a local SMTP server that stores each message it receives as a file, runs the day's
# campaigns and sends the outbox, then says how many e-mails went out and where to read them.
#
# Two campaigns are tied to days of the month: plans to renew run from the 26th on, loyalty
# on the first days of a month. When today is not such a day, the demo also plays the club's
# next renewal day and next loyalty day, each in a database of its own, so that every
# campaign shows. `bash scripts/demo.sh --today-only` plays today alone; `--port N` puts the
# demo's mail server on 127.0.0.1:N instead of 2525.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
today_only=0
port=2525
while [ $# -gt 0 ]; do
  case "$1" in
    --today-only) today_only=1 ;;
    --port)
      [[ "${2:-}" =~ ^[0-9]+$ ]] && [ "$2" -ge 1 ] && [ "$2" -le 65535 ] \
        || { echo "demo.sh: --port wants a port number from 1 to 65535" >&2; exit 2; }
      port=$2; shift ;;
    -h|--help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "demo.sh: unknown option $1 (try --help)" >&2; exit 2 ;;
  esac
  shift
done
echo "demo: installing what is missing and building velocast and velocast-seed into build/ (the first time takes a few minutes)"
SETUP_TARGETS="velocast velocast-seed" bash "$here/scripts/setup.sh"

# The demo club's database, data-link file and images are the owner's only, as a real
# club's must be.
umask 077
demo="$here/demo"
mail="$demo/mail"
mkdir -p "$demo"
chmod 700 "$demo"
rm -rf "$mail"

today=$(date +%F)
days=("$today")
if [ "$today_only" = 0 ]; then
  day_of_month=$((10#$(date +%d)))
  [ "$day_of_month" -ge 26 ] || days+=("$(date +%Y-%m-26)")                      # plans to renew
  [ "$day_of_month" -eq 1 ] || days+=("$(date -d "$(date +%Y-%m-01) +1 month" +%F)")  # loyalty
fi

# The demo clubs send to 127.0.0.1:$port. Another server already there would take the demo's
# mail (and the catcher could not listen beside it).
if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  echo "demo.sh: something already listens on 127.0.0.1:$port (another mail server or an earlier demo);" \
    "stop it and run the demo again: its mail catcher needs that port." >&2
  exit 1
fi
/usr/bin/python3 "$here/tools/demo/mail_catcher.py" "$mail" --port "$port" > "$demo/mail_catcher.log" 2>&1 &
catcher=$!
trap 'kill "$catcher" 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
  grep -q ready "$demo/mail_catcher.log" 2>/dev/null && break
  kill -0 "$catcher" 2>/dev/null || { cat "$demo/mail_catcher.log" >&2; exit 1; }
  sleep 0.1
done

# The demo's copies keep their single-copy guard to themselves, so that a Velocast already
# running for this user (the tray program, a service) neither stops the demo nor is disturbed.
export XDG_RUNTIME_DIR="$demo/run"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
# Their state databases (deferred rows, the day's count) too: a demo club seeded afresh under
# the same path must not inherit what an earlier demo or the user's own copy remembers.
export XDG_STATE_HOME="$demo/state"

status=0
for day in "${days[@]}"; do
  db="$demo/club.sqlite"
  [ "$day" = "$today" ] || db="$demo/club-$day.sqlite"
  before=$(find "$mail" -name '*.eml' 2>/dev/null | wc -l)
  "$here/build/velocast-seed" "$db" --date "$day" --port "$port" --force
  echo "demo: the club's business date $day ($db)"
  "$here/build/velocast" --headless --once --data-link "$db.udl" || { status=$?; break; }
  after=$(find "$mail" -name '*.eml' 2>/dev/null | wc -l)
  echo "demo: $((after - before)) e-mail(s) for $day"
done

kill "$catcher" 2>/dev/null || true
wait "$catcher" 2>/dev/null || true
trap - EXIT

sent=$(find "$mail" -name '*.eml' 2>/dev/null | wc -l)
echo
echo "Velocast sent $sent e-mail(s) to the local SMTP server on 127.0.0.1:$port, by subject:"
# Subjects are MIME-encoded words; Python's email package reads them back for people.
/usr/bin/python3 - "$mail" <<'PY' || true
import collections, email, email.header, email.policy, pathlib, sys
counts = collections.Counter()
for path in sorted(pathlib.Path(sys.argv[1]).glob("*.eml")):
    with open(path, "rb") as f:
        counts[str(email.message_from_binary_file(f, policy=email.policy.default)["Subject"])] += 1
for subject, n in sorted(counts.items()):
    print(f"  {n:4d}  {subject}")
PY
echo "Read them in $mail/ (one .eml file per message); today's demo database is $demo/club.sqlite."
exit "$status"
