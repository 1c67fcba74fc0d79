#!/usr/bin/env bash
# The drain at the SMTP floor: N outbox rows with 1 KiB bodies sent by
# `velocast --headless --once` to Postfix's smtp-sink on loopback, against smtp-source -s 1
# (one session per message, the same exchanges) with the same count and size on the same
# sink, in the same run, and with 50 messages a session ([sending] messages_per_connection)
# against smtp-source -d (one session for all). Then plain and STARTTLS drains against a TLS-capable sink of our own
# (bench/drain/tls_sink.cpp), beside the same two against the OpenSSL floor: a minimal client
# with the program's TLS settings that makes the same exchanges (bench/drain/tls_source.cpp).
# Last, a large-message case: LARGE_ROWS rows (default 20) each with a LARGE_MB image
# (default 5 MB) attached, plain and STARTTLS to the TLS sink, against the OpenSSL floor
# sending messages of the same encoded size: a message larger than the socket's buffer must
# stream, not wait.
#   bash bench/drain/run.sh [N [ROUNDS]]     (defaults 2000 and 5)
# The machine is shared, so each round measures both sides of a ratio back to back and the
# ratio reported is the median of the rounds' ratios, with the ratio of each side's best
# round beside it (the least disturbed run of each); the rates shown are each side's best.
# Needs bench/setup.sh once. Prints rates, ratios and peak RSS.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
rows=${1:-2000}
rounds=${2:-5}
tls_sink="$build/bench/drain/bench_tls_sink"
tls_source="$build/bench/drain/bench_tls_source"
require "$velocast" "$seed" "$tls_sink" "$tls_source" /usr/sbin/smtp-sink /usr/sbin/smtp-source sqlite3 openssl bc

work=$(mktemp -d /tmp/velocast-bench-drain.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The outbox: N rows, campaigns off so that only the drain runs.
body=$(printf 'Olá! Seu treino de hoje está pronto: aquecimento, força e alongamento. %.0s' $(seq 1 20) | cut -c1-1024)
"$seed" "$work/template.sqlite" --members 0 --date 2024-03-15 --force >/dev/null
sqlite3 "$work/template.sqlite" <<SQL
UPDATE Qzcvar2 SET MARKETING_MEDICA = 'Não', MARKETING_FUNCIONAL = 'Não',
  MARKETING_ANIVERSARUANETE = 'Não', MARKETING_PLANO = 'Não', MARKETING_TRANCAMENTO = 'Não',
  MARKETING_FIDELIDADE = 'Não', MARKETING_INADIMPLENTES = 'Não', MARKETING_AUSENTES = 'Não',
  USERNAME = NULL, PASSWORD = NULL;
DELETE FROM Velocast;
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $rows)
INSERT INTO Velocast (Email, Assunto, Texto, IMAGEM_CORPO_MARKETING)
  SELECT 'membro' || i || '@example.com', 'Seu treino de hoje', '$body', NULL FROM n;
SQL

# A fresh copy of the outbox aimed at PORT with TLS MODE; prints its data-link file.
outbox_for() {
  local db="$work/outbox-$3.sqlite"
  cp "$work/template.sqlite" "$db"
  sqlite3 "$db" "UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*$1', IdSMTP_UseTLS = '$2'"
  udl_for "$db"
}

drain() {  # NAME PORT MODE
  local udl
  udl=$(outbox_for "$2" "$3" "$1")
  measure "$1" "$velocast" --headless --once --data-link "$udl" || {
    echo "velocast failed ($1):" >&2; tail -n 5 "$work/$1.err" >&2; exit 1; }
  local left
  left=$(sqlite3 "${udl%.udl}" "SELECT COUNT(*) FROM Velocast")
  [ "$left" = 0 ] || { echo "$1: $left rows left in the outbox" >&2; exit 1; }
}

# Keeps the fastest round of NAME in best_NAME_s and its RSS in best_NAME_kb.
keep_best() {
  local s="${1}_s" kb="${1}_kb" bs="best_${1}_s" bkb="best_${1}_kb"
  if [ -z "${!bs:-}" ] || [ "$(echo "${!s} < ${!bs}" | bc -l)" = 1 ]; then
    printf -v "$bs" '%s' "${!s}"
    printf -v "$bkb" '%s' "${!kb}"
  fi
}

sink_port=$(free_port)
user=()
[ "$(id -u)" -ne 0 ] || user=(-u postfix)
/usr/sbin/smtp-sink "${user[@]}" "127.0.0.1:$sink_port" 256 >"$work/sink.log" 2>&1 &
pids+=($!)
wait_port "$sink_port"

# The program verifies the server: a certificate for the address it connects to, trusted
# through velocast.conf beside the data-link files (and by the floor through its variable).
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" \
  -days 2 -subj /CN=localhost -addext "subjectAltName=IP:127.0.0.1,DNS:localhost" >/dev/null 2>&1
printf '[tls]\nca_file = %s\n' "$work/cert.pem" >"$work/velocast.conf"
export VELOCAST_BENCH_CA="$work/cert.pem"
tls_port=$(free_port)
"$tls_sink" "$tls_port" "$work/cert.pem" "$work/key.pem" >"$work/tls_sink.log" 2>&1 &
pids+=($!)
wait_port "$tls_port"

# The same outbox with one session for up to 50 messages, beside smtp-source -d (one session
# for all): in a folder of its own, whose velocast.conf asks for the reuse.
mkdir -p "$work/reuse"
printf '[tls]\nca_file = %s\n[sending]\nmessages_per_connection = 50\n' "$work/cert.pem" >"$work/reuse/velocast.conf"
reuse_drain() {
  local db="$work/reuse/outbox.sqlite" udl
  cp "$work/template.sqlite" "$db"
  sqlite3 "$db" "UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*$sink_port', IdSMTP_UseTLS = 'utNoTLSSupport'"
  udl=$(udl_for "$db")
  measure reuse "$velocast" --headless --once --data-link "$udl" || {
    echo "velocast failed (reuse):" >&2; tail -n 5 "$work/reuse.err" >&2; exit 1; }
  [ "$(sqlite3 "$db" "SELECT COUNT(*) FROM Velocast")" = 0 ] || { echo "reuse: rows left in the outbox" >&2; exit 1; }
}

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
plain_ratios=(); reuse_ratios=(); tls_ratios=(); floor_tls_ratios=(); tls_to_floor=()
for round in $(seq 1 "$rounds"); do
  echo "round $round of $rounds: $rows rows each" >&2
  drain plain "$sink_port" utNoTLSSupport
  keep_best plain
  measure source /usr/sbin/smtp-source -s 1 -m "$rows" -l 1024 -f academia@example.com \
    -t membro@example.com "127.0.0.1:$sink_port"
  keep_best source
  reuse_drain
  keep_best reuse
  measure sourced /usr/sbin/smtp-source -d -m "$rows" -l 1024 -f academia@example.com \
    -t membro@example.com "127.0.0.1:$sink_port"
  keep_best sourced
  drain tlsplain "$tls_port" utNoTLSSupport
  keep_best tlsplain
  drain starttls "$tls_port" utUseRequireTLS
  keep_best starttls
  measure floorplain "$tls_source" "$tls_port" "$rows" 1024
  keep_best floorplain
  measure floortls "$tls_source" "$tls_port" "$rows" 1024 --starttls
  keep_best floortls
  plain_ratios+=("$(ratio "$source_s" "$plain_s")")
  reuse_ratios+=("$(ratio "$sourced_s" "$reuse_s")")
  tls_ratios+=("$(ratio "$tlsplain_s" "$starttls_s")")
  floor_tls_ratios+=("$(ratio "$floorplain_s" "$floortls_s")")
  tls_to_floor+=("$(ratio "$floortls_s" "$starttls_s")")
done

# The large-message case: one image of LARGE_MB, beside the data-link files (the folder
# attachments are taken from by default), in every row.
large_rows=${LARGE_ROWS:-20}
large_bytes=$(echo "${LARGE_MB:-5} * 1048576 / 1" | bc)
{ printf '\x89PNG\r\n\x1a\n'; head -c "$large_bytes" /dev/urandom; } > "$work/large.png"
# What goes on the wire: base64 in lines of 76 characters and their CR LF.
large_wire=$(( (large_bytes + 8 + 2) / 3 * 4 * 78 / 76 ))
cp "$work/template.sqlite" "$work/large-template.sqlite"
sqlite3 "$work/large-template.sqlite" "DELETE FROM Velocast;
  WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $large_rows)
  INSERT INTO Velocast (Email, Assunto, Texto, IMAGEM_CORPO_MARKETING)
    SELECT 'membro' || i || '@example.com', 'Sua foto', 'Veja a foto.', '$work/large.png' FROM n;"
large_drain() {  # NAME MODE
  local db="$work/$1.sqlite" udl
  cp "$work/large-template.sqlite" "$db"
  sqlite3 "$db" "UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*$tls_port', IdSMTP_UseTLS = '$2'"
  udl=$(udl_for "$db")
  measure "$1" "$velocast" --headless --once --data-link "$udl" || {
    echo "velocast failed ($1):" >&2; tail -n 5 "$work/$1.err" >&2; exit 1; }
  [ "$(sqlite3 "$db" "SELECT COUNT(*) FROM Velocast")" = 0 ] || { echo "$1: rows left in the outbox" >&2; exit 1; }
}
large_plain_ratios=(); large_tls_ratios=()
for round in $(seq 1 "$rounds"); do
  echo "large round $round of $rounds: $large_rows rows with a $large_bytes-byte image" >&2
  large_drain largeplain utNoTLSSupport
  keep_best largeplain
  measure largefloorplain "$tls_source" "$tls_port" "$large_rows" "$large_wire"
  keep_best largefloorplain
  large_drain largetls utUseRequireTLS
  keep_best largetls
  measure largefloortls "$tls_source" "$tls_port" "$large_rows" "$large_wire" --starttls
  keep_best largefloortls
  large_plain_ratios+=("$(ratio "$largefloorplain_s" "$largeplain_s")")
  large_tls_ratios+=("$(ratio "$largefloortls_s" "$largetls_s")")
done

echo "drain of $rows rows, 1 KiB bodies, one SMTP session per message ($rounds rounds; rates: each side's best)"
printf '  %-44s %7s msg/s  %6.3f s  peak RSS %s MB\n' \
  "smtp-source -s 1 -> smtp-sink" "$(rate "$rows" "$best_source_s")" "$best_source_s" "$(mb "$best_source_kb")" \
  "velocast --headless --once -> smtp-sink" "$(rate "$rows" "$best_plain_s")" "$best_plain_s" "$(mb "$best_plain_kb")" \
  "smtp-source -d -> smtp-sink" "$(rate "$rows" "$best_sourced_s")" "$best_sourced_s" "$(mb "$best_sourced_kb")" \
  "velocast, 50 messages a session -> smtp-sink" "$(rate "$rows" "$best_reuse_s")" "$best_reuse_s" "$(mb "$best_reuse_kb")" \
  "velocast, plain -> TLS sink" "$(rate "$rows" "$best_tlsplain_s")" "$best_tlsplain_s" "$(mb "$best_tlsplain_kb")" \
  "velocast, STARTTLS -> TLS sink" "$(rate "$rows" "$best_starttls_s")" "$best_starttls_s" "$(mb "$best_starttls_kb")" \
  "OpenSSL floor, plain -> TLS sink" "$(rate "$rows" "$best_floorplain_s")" "$best_floorplain_s" "$(mb "$best_floorplain_kb")" \
  "OpenSSL floor, STARTTLS -> TLS sink" "$(rate "$rows" "$best_floortls_s")" "$best_floortls_s" "$(mb "$best_floortls_kb")"
echo "  plain drain / smtp-source:      $(median "${plain_ratios[@]}")   (goal >= 1.0; median of the rounds: ${plain_ratios[*]}; of each side's best: $(ratio "$best_source_s" "$best_plain_s"))"
echo "  50 a session / smtp-source -d:  $(median "${reuse_ratios[@]}")   (goal >= 1.0; median of the rounds: ${reuse_ratios[*]}; of each side's best: $(ratio "$best_sourced_s" "$best_reuse_s"))"
kill "${pids[1]}" && wait "${pids[1]}" 2>/dev/null || true
echo "  TLS sink: $(tail -n 1 "$work/tls_sink.log")"
echo "  STARTTLS drain / plain drain:   $(median "${tls_ratios[@]}")   (goal >= 0.5, same TLS sink; median of: ${tls_ratios[*]}; of each side's best: $(ratio "$best_tlsplain_s" "$best_starttls_s"))"
echo "    the same ratio at the OpenSSL floor: $(median "${floor_tls_ratios[@]}")   (median of: ${floor_tls_ratios[*]}; of each side's best: $(ratio "$best_floorplain_s" "$best_floortls_s"))"
echo "    STARTTLS drain / STARTTLS floor:     $(median "${tls_to_floor[@]}")   (median of: ${tls_to_floor[*]}; of each side's best: $(ratio "$best_floortls_s" "$best_starttls_s"))"
echo "large messages: $large_rows rows, each a $large_bytes-byte image ($large_wire bytes on the wire)"
printf '  %-44s %7s msg/s  %6.3f s  peak RSS %s MB\n' \
  "velocast, plain -> TLS sink" "$(rate "$large_rows" "$best_largeplain_s")" "$best_largeplain_s" "$(mb "$best_largeplain_kb")" \
  "velocast, STARTTLS -> TLS sink" "$(rate "$large_rows" "$best_largetls_s")" "$best_largetls_s" "$(mb "$best_largetls_kb")" \
  "OpenSSL floor, plain -> TLS sink" "$(rate "$large_rows" "$best_largefloorplain_s")" "$best_largefloorplain_s" "$(mb "$best_largefloorplain_kb")" \
  "OpenSSL floor, STARTTLS -> TLS sink" "$(rate "$large_rows" "$best_largefloortls_s")" "$best_largefloortls_s" "$(mb "$best_largefloortls_kb")"
echo "  large plain drain / plain floor:       $(median "${large_plain_ratios[@]}")   (median of: ${large_plain_ratios[*]}; of each side's best: $(ratio "$best_largefloorplain_s" "$best_largeplain_s"))"
echo "  large STARTTLS drain / STARTTLS floor: $(median "${large_tls_ratios[@]}")   (median of: ${large_tls_ratios[*]}; of each side's best: $(ratio "$best_largefloortls_s" "$best_largetls_s"))"
