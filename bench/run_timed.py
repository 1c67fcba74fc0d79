#!/usr/bin/python3
"""Runs a command and reports its wall time, its peak RSS and, optionally, when it first
wrote a line matching a pattern on standard error (the end of a phase).

    run_timed.py OUT ERR [--mark REGEX] -- CMD...
Prints "seconds=S mark=S rss_kb=K status=N"; mark is empty when no line matched.
"""
import os
import re
import subprocess
import sys
import time


def main():
    out_path, err_path = sys.argv[1], sys.argv[2]
    rest = sys.argv[3:]
    mark = None
    if rest and rest[0] == "--mark":
        mark, rest = re.compile(rest[1].encode()), rest[2:]
    if rest and rest[0] == "--":
        rest = rest[1:]
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        start = time.monotonic()
        child = subprocess.Popen(rest, stdout=out, stderr=subprocess.PIPE)
        marked = None
        for line in child.stderr:
            if marked is None and mark is not None and mark.search(line):
                marked = time.monotonic() - start
            err.write(line)
        _, status, usage = os.wait4(child.pid, 0)
        seconds = time.monotonic() - start
    code = os.waitstatus_to_exitcode(status)
    print(f"seconds={seconds:.4f} mark={'' if marked is None else f'{marked:.4f}'} "
          f"rss_kb={usage.ru_maxrss} status={code}")
    return code


if __name__ == "__main__":
    sys.exit(main())
