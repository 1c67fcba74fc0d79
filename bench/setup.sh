#!/usr/bin/env bash
# What the benchmarks need beyond the build: Postfix's smtp-sink and smtp-source (the SMTP
# floor), the sqlite3 shell and openssl (the TLS sink's certificate).
# Never part of the test run: the tests do not need Postfix.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Only Postfix's two test programs are wanted: no mail system is configured or started.
if ! dpkg-query -W -f='${Status}' postfix 2>/dev/null | grep -q 'install ok installed'; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  echo "postfix postfix/main_mailer_type select No configuration" | $sudo_cmd debconf-set-selections
fi
SETUP_EXTRA_PACKAGES="postfix bc openssl" bash "$here/scripts/setup.sh"
