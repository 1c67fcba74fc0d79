#!/usr/bin/env bash
# The daily run at the SQL floor: a velocast-seed club, every campaign switched on, run by
# `velocast --headless --once` (the SMTP port is made unreadable, so the drain keeps every
# row and sends nothing), against the same selections as set-based INSERT ... SELECT in the
# sqlite3 shell on a copy of the same database. The program's daily run is the time from its
# start to its first figures line, which the drain writes when it begins; the whole process
# (with that one drain pass over the outbox) is shown too. Peak RSS of both, at each size.
#   bash bench/daily/run.sh [MEMBERS... ]   (default: 10000 100000; 3 rounds each)
# Each round times both sides back to back; the ratio is the median of the rounds' ratios,
# the times shown each side's best.
# Needs bench/setup.sh once. ROUNDS and DATES (business dates, YYYY-MM-DD) may be set in the
# environment.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
floor_tool="$build/bench/daily/bench_daily_floor"
require "$velocast" "$seed" "$floor_tool" sqlite3 bc
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 100000)
rounds=${ROUNDS:-3}
# After the 25th the plans to renew are due; the 1st is a loyalty day.
dates=(${DATES:-2024-03-27 2024-04-01})

work=$(mktemp -d /tmp/velocast-bench-daily.XXXXXX)
trap 'rm -rf "$work"' EXIT

report=()
for date in "${dates[@]}"; do
for members in "${sizes[@]}"; do
  echo "seeding $members members, business date $date" >&2
  "$seed" "$work/club.sqlite" --members "$members" --date "$date" --force >/dev/null
  # No port after the "*": every row stays in the outbox, nothing is sent.
  sqlite3 "$work/club.sqlite" "UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*none'"
  "$floor_tool" "$work/club.sqlite" "$date" >"$work/floor.sql" 2>"$work/floor.due"
  echo "  campaigns due: $(cut -d: -f3- "$work/floor.due")" >&2
  best_program=""; best_floor=""; ratios=()
  for round in $(seq 1 "$rounds"); do
    echo "  round $round of $rounds" >&2
    cp "$work/club.sqlite" "$work/program.sqlite"
    cp "$work/club.sqlite" "$work/floor.sqlite"
    udl=$(udl_for "$work/program.sqlite")
    measure program --mark "velocast: figures:" "$velocast" --headless --once --data-link "$udl" || true
    grep -q 'velocast: error\|notice:' "$work/program.err" && { cat "$work/program.err" >&2; exit 1; }
    measure floor sqlite3 -bail "$work/floor.sqlite" ".read $work/floor.sql"
    # The drain deletes the rows whose address fails the check; they were written too.
    invalid=$(grep -o 'invalid=[0-9]*' "$work/program.err" | tail -n 1 | cut -d= -f2)
    written=$(( $(sqlite3 "$work/program.sqlite" "SELECT COUNT(*) FROM Velocast") + ${invalid:-0} ))
    expected=$(sqlite3 "$work/floor.sqlite" "SELECT COUNT(*) FROM Velocast")
    [ "$written" = "$expected" ] || { echo "the program wrote $written outbox rows, the floor $expected" >&2; exit 1; }
    [ -n "$program_mark_s" ] || { echo "the program never began the drain" >&2; exit 1; }
    ratios+=("$(ratio "$program_mark_s" "$floor_s")")
    if [ -z "$best_program" ] || [ "$(echo "$program_mark_s < $best_program" | bc -l)" = 1 ]; then
      best_program=$program_mark_s; best_whole=$program_s; best_program_kb=$program_kb; fi
    if [ -z "$best_floor" ] || [ "$(echo "$floor_s < $best_floor" | bc -l)" = 1 ]; then
      best_floor=$floor_s; best_floor_kb=$floor_kb; fi
  done
  report+=("$(printf '  %s %7d members, %5d outbox rows: daily run %6.3f s (whole process %6.3f s, peak RSS %5s MB), sqlite3 floor %6.3f s (peak RSS %5s MB), daily run / floor %s' \
    "$date" "$members" "$written" "$best_program" "$best_whole" "$(mb "$best_program_kb")" "$best_floor" "$(mb "$best_floor_kb")" \
    "$(printf '%s\n' "${ratios[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')")")
done
done

echo "daily run, every built campaign on ($rounds rounds; times: each side's best; ratio: median of the rounds)"
printf '%s\n' "${report[@]}"
echo "  goals: daily run / floor <= 1.5 on every business date at 100000 members; velocast peak RSS <= 32 MB and flat in members"
