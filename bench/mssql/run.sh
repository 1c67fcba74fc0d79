#!/usr/bin/env bash
# Round trips and time of every campaign and of a drain on the SQL Server road, against the
# TDS peer holding every answer back by 1 ms and then by 10 ms (a LAN, a VPN).
#   bash bench/mssql/run.sh [MEMBERS [ROWS [DELAYS...]]]   (defaults 10000, 1000, "1 10")
# VELOCAST=path measures another build of the program. Goals: loyalty <= 1 round trip per 100
# candidates plus a constant; the drain <= 1.2 round trips per row; every other campaign a
# constant number (none grows with the club).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
tool="$build/bench/mssql/bench_mssql_round_trips"
require "$velocast" "$tool"
members=${1:-10000}
rows=${2:-1000}
shift $(( $# > 2 ? 2 : $# ))
delays=("$@")
[ ${#delays[@]} -gt 0 ] || delays=(1 10)
export VELOCAST_SOURCE_DIR="$here"
for delay in "${delays[@]}"; do
  "$tool" --delay-ms "$delay" --members "$members" --rows "$rows" --velocast "$velocast"
done
echo "goals: loyalty <= 1 round trip per 100 candidates + a constant; drain <= 1.2 per row; other campaigns constant"
