#!/usr/bin/env python3
"""SaveMedia's command line: every malformed word is a usage error (exit 2), never read as 0; a well-formed
line on a file that cannot be opened fails with its error text (exit 1)."""

import subprocess
import sys
import tempfile
import os

save_media = sys.argv[1]
failures = []

with tempfile.TemporaryDirectory() as folder:
    missing = os.path.join(folder, "missing.mov")
    out = os.path.join(folder, "copy.mp4")
    cases = [
        (["--format", "x"], 2),
        (["--format", "1x"], 2),
        (["--format", ""], 2),
        (["--format", "99"], 2),
        (["--format"], 2),
        (["--format", "1", "--set", "a=1"], 2),
        (["--format", "1", "--set", "3=abc"], 2),
        (["--format", "1", "--set", "3="], 2),
        (["--format", "1", "--learn", "x", "1"], 2),
        (["--format", "1", "--learn", "0", "1s"], 2),
        (["--format", "1", "--bogus"], 2),
        (["--format", "1", "--set", "3=0.5", "--learn", "0", "1"], 1),
    ]

    for arguments, expected in cases:
        run = subprocess.run([save_media, missing, out] + arguments, capture_output=True, text=True, timeout=120)
        if run.returncode != expected:
            failures.append(f"{' '.join(arguments)!r}: exit {run.returncode}, expected {expected}")
        elif expected == 2 and "usage:" not in run.stderr:
            failures.append(f"{' '.join(arguments)!r}: no usage text")
        elif expected == 1 and "missing.mov" not in (run.stdout + run.stderr):
            failures.append(f"{' '.join(arguments)!r}: the error does not name the file")

for failure in failures:
    print(failure)

print(f"{len(cases) - len(failures)} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
