#!/usr/bin/env python3
"""SaveMedia's command line: every malformed word is a usage error (exit 2), never read as 0; a well-formed
line on a file that cannot be opened, or with a learn region outside its sound, fails with its error text
(exit 1)."""

import subprocess
import sys
import tempfile
import os
import wave

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
        (["--format", "1", "--learn", "-1", "1"], 2),
        (["--format", "1", "--learn", "0", "0"], 2),
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

    # A learn region past the end of the sound (one second of it) is refused, not learned as silence.
    short = os.path.join(folder, "short.wav")
    with wave.open(short, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(44100)
        w.writeframes(bytes(2 * 44100))
    run = subprocess.run([save_media, short, out, "--format", "5", "--learn", "0.5", "1"], capture_output=True,
                         text=True, timeout=300)
    if run.returncode != 1 or "does not lie within the sound" not in (run.stdout + run.stderr):
        failures.append(f"learn region past the end: exit {run.returncode}, {run.stderr.strip()!r}")

for failure in failures:
    print(failure)

checked = len(cases) + 1  # and the learn region past the end
print(f"{checked - len(failures)} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
