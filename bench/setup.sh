#!/usr/bin/env bash
# What the benchmarks need beyond the build: Postfix's smtp-sink and smtp-source (the SMTP
# floor), the sqlite3 shell and openssl (the TLS sink's certificate).
# Never part of the test run: the tests do not need Postfix.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

packages=(postfix bc sqlite3 openssl python3)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "bench setup: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  # Only the two test programs are wanted: no mail system is configured or started.
  echo "postfix postfix/main_mailer_type select No configuration" | $sudo_cmd debconf-set-selections
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -q
  $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

bash "$here/scripts/setup.sh"
