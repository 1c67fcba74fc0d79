#!/usr/bin/env bash
# The resident headless program for a long time, in minutes: the demo club, a drain every
# few milliseconds with one new outbox row each, database outages (the file moved away and
# the connection dropped, then the file back) and SMTP outages (the demo's mail server
# stopped for a few drains). Prints RSS, open descriptors and open connections after the
# warm-up, in the middle and at the end, then what was lost or sent twice. Then the same on
# the SQL Server road against the tests' stand-in server (tests/support/tds_peer.py), killed
# and started again DB_OUTAGES times.
#   bash bench/soak/run.sh [DRAINS [DB_OUTAGES [SMTP_OUTAGES]]]     (defaults 2000 100 100)
# The long run is `bash bench/soak/run.sh 10000 500 500` (tens of minutes).
# Goal: flat from start to end (RSS under 2 MB of growth, no descriptor more), nothing lost,
# no duplicate.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
drains=${1:-2000}
db_outages=${2:-100}
smtp_outages=${3:-100}
soak="$build/bench/soak/bench_soak"
require "$soak" "$seed" /usr/bin/python3

work=$(mktemp -d /tmp/velocast-bench-soak.XXXXXX)
trap 'rm -rf "$work"' EXIT
"$seed" "$work/club.sqlite" --members 200 --force >/dev/null
XDG_RUNTIME_DIR="$work" "$soak" "$work/club.sqlite.udl" "$here/tools/demo/mail_catcher.py" "$work" \
  "$drains" "$db_outages" "$smtp_outages" 2>"$work/stderr.log"
echo "soak: $(grep -c 'notice:' "$work/stderr.log" || true) notice line(s) on standard error (outages), $(grep -c 'error' "$work/stderr.log" || true) error line(s)"
echo "soak: the SQL Server road (the stand-in server, an empty outbox)"
mkdir -p "$work/tds"
XDG_RUNTIME_DIR="$work/tds" VELOCAST_SOURCE_DIR="$here" "$soak" --tds "$here/tools/demo/mail_catcher.py" "$work/tds" \
  "$drains" "$db_outages" 0 2>"$work/tds-stderr.log"
echo "soak: $(grep -c 'notice:' "$work/tds-stderr.log" || true) notice line(s) on standard error (outages), $(grep -c 'error' "$work/tds-stderr.log" || true) error line(s)"
