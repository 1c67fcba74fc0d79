# Shared by the benchmark scripts: paths, a free loopback port, timing with peak RSS.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$here/build"
velocast="${VELOCAST:-$build/velocast}"  # VELOCAST=path measures another build
seed="$build/velocast-seed"

# A TCP port on 127.0.0.1 that nobody listens on right now.
free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# Waits until something accepts connections on 127.0.0.1:$1 (at most 10 s).
wait_port() {
  for _ in $(seq 1 200); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.05
  done
  echo "nothing listens on 127.0.0.1:$1" >&2
  return 1
}

# measure NAME [--mark REGEX] CMD...: runs CMD; sets ${NAME}_s (wall seconds), ${NAME}_kb
# (peak RSS in KiB, from the kernel's rusage of the process) and ${NAME}_mark_s (seconds until
# CMD first wrote a line matching REGEX on standard error). Output: $work/NAME.out, .err.
measure() {
  local name=$1; shift
  local mark=()
  if [ "$1" = --mark ]; then mark=(--mark "$2"); shift 2; fi
  local result rc=0
  result=$(/usr/bin/python3 "$here/bench/run_timed.py" "$work/$name.out" "$work/$name.err" "${mark[@]}" -- "$@") || rc=$?
  local seconds mark_s rss
  seconds=$(sed -E 's/.*seconds=([0-9.]*).*/\1/' <<<"$result")
  mark_s=$(sed -E 's/.*mark=([0-9.]*).*/\1/' <<<"$result")
  rss=$(sed -E 's/.*rss_kb=([0-9]*).*/\1/' <<<"$result")
  printf -v "${name}_s" '%s' "$seconds"
  printf -v "${name}_mark_s" '%s' "$mark_s"
  printf -v "${name}_kb" '%s' "$rss"
  return $rc
}

# A data-link file for the SQLite database $1, written next to it.
udl_for() {
  printf '[oledb]\r\nProvider=SQLite;Data Source=%s\r\n' "$1" >"$1.udl"
  echo "$1.udl"
}

# x / y with three decimals.
ratio() { echo "scale=3; $1 / $2" | bc -l | sed 's/^\./0./'; }
# n / seconds as a whole rate.
rate() { echo "scale=0; $1 / $2" | bc -l; }
mb() { echo "scale=1; $1 / 1024" | bc -l | sed 's/^\./0./'; }

require() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || [ -x "$tool" ] || {
      echo "$tool is missing: run bash bench/setup.sh" >&2
      exit 1
    }
  done
}
