#!/usr/bin/env python3
"""The include-structure checker (.ci/check_layers.py) on a small tree laid out like ours.

Each case starts from a clean tree, changes a few files, writes a compile database for its .cpp files with
the include folders our CMake targets give them, runs the checker as CI does and reads its verdict.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
CHECKER = os.path.normpath(os.path.join(HERE, "..", "..", ".ci", "check_layers.py"))
COMPILER = os.environ.get("TAVLIN_CXX") or shutil.which("c++")

# Stand-ins for the outside headers, beside the tree and found through -isystem like JUCE's and FFmpeg's.
SYSTEM = {
    "juce_core/juce_core.h": "#pragma once\n",
    "juce_gui_basics/juce_gui_basics.h": "#pragma once\n#include <juce_core/juce_core.h>\n",
    "libavformat/avformat.h": "#pragma once\n",
}

CLEAN = {
    "Source/zdsp/common/ZBuf.h": "#pragma once\n#include <juce_core/juce_core.h>\n",
    "Source/zdsp/common/ZBuf.cpp": '#include "ZBuf.h"\n',
    "signalbays/common/Bay.cpp": '#include "ZBuf.h"\n',
    "Source/state/Blob.h": "#pragma once\n#include <juce_core/juce_core.h>\n",
    "Source/state/Blob.cpp": '#include "Blob.h"\n',
    "Source/chain/Chain.h": '#pragma once\n#include "ZBuf.h"\n',
    "Source/chain/Chain.cpp": '#include "Chain.h"\n#include "Blob.h"\n',
    "Source/engine/Session.h": '#pragma once\n#include "Chain.h"\n',
    "Source/engine/Session.cpp": '#include "Session.h"\n#include "desktop/Clock.h"\n',
    "platform/desktop/Clock.h": "#pragma once\n",
    "platform/media/Common.h": "#pragma once\n",
    "platform/media/Decoder.h": "#pragma once\n#include <libavformat/avformat.h>\n",
    "platform/media/Player.h": "#pragma once\n#include <juce_gui_basics/juce_gui_basics.h>\n",
    "platform/media/Player.cpp": '#include "Player.h"\n#include "Decoder.h"\n#include "Common.h"\n#include "desktop/Clock.h"\n',
    "Source/Common.h": "#pragma once\n",
    "Source/App.h": '#pragma once\n#include "media/Player.h"\n#include "Common.h"\n',
    "Source/App.cpp": ('#include "App.h"\n#include "ZBuf.h"\n#include "Blob.h"\n'
                       "// TavlinApplication::getApp() named in a comment does not count\n"
                       "void f() { TavlinApplication::getApp (); }\n"),
    "Source/Main.cpp": '#include "App.h"\n',
    "rating/Prompt.cpp": '#include "Common.h"\n',
    "tests/app/AppTest.cpp": '#include "App.h"\n',
    "tests/platform/PlayerTest.cpp": '#include "media/Player.h"\n#include "media/Decoder.h"\n',
}

# The -I folders of each target, as CMake gives them (first match on the file's folder).
DSP = ["Source/zdsp/common", "Source/zdsp/linux", "signalbays/common"]
INCLUDES = [
    ("Source/zdsp/", DSP),
    ("signalbays/", DSP),
    ("Source/state/", ["Source/state"]),
    ("Source/chain/", ["Source/chain"] + DSP + ["Source/state"]),
    ("Source/engine/", ["Source/engine", "Source/chain"] + DSP + ["Source/state", "platform"]),
    ("platform/", ["platform"]),
    ("tests/platform/", ["platform"]),
    ("", ["Source", "rating", "Source/engine", "Source/chain"] + DSP + ["Source/state", "platform"]),
]

# name, files changed (None: removed), extra arguments, exit code, lines that must appear, text that must not.
CASES = [
    ("clean tree passes", {}, [], 0,
     ["no findings"], ["unresolved", "cycle", "layer:", "reach"]),

    ("cycle between two units, cut at the .cpp's include",
     {"Source/Common.cpp": '#include "App.h"\n'}, [], 1,
     ["cycle: include cycle through 2 units, 2 include edges among them:",
      "  a smallest set of edges whose removal breaks every cycle (1):",
      "    Source/Common -> Source/App   (Source/Common.cpp:1)"], []),

    ("cycle through a folder without translation units, its includes resolved by its target's folders",
     {"platform/desktop/Clock.h": '#pragma once\n#include "media/Common.h"\n',
      "platform/media/Common.h": '#pragma once\n#include "desktop/Clock.h"\n'}, ["--no-preprocess"], 1,
     ["cycle: include cycle through 2 units, 2 include edges among them:"], ["unresolved"]),

    ("one include meeting two cycles is the whole cut",
     {"Source/X.h": '#pragma once\n#include "Y.h"\n',
      "Source/Y.h": "#pragma once\n",
      "Source/Y.cpp": '#include "X.h"\n#include "Z.h"\n',
      "Source/Z.h": "#pragma once\n",
      "Source/Z.cpp": '#include "X.h"\n'}, ["--no-preprocess"], 1,
     ["cycle: include cycle through 3 units, 4 include edges among them:",
      "  a smallest set of edges whose removal breaks every cycle (1):",
      "    Source/X -> Source/Y   (Source/X.h:2)"], []),

    ("DSP including the application",
     {"Source/zdsp/common/ZBuf.cpp": '#include "ZBuf.h"\n#include "../../Common.h"\n'}, [], 1,
     ["layer: dsp -> app: Source/zdsp/common/ZBuf includes Source/Common (Source/zdsp/common/ZBuf.cpp:2)"], []),

    ("DSP including the platform",
     {"signalbays/common/Bay.cpp": '#include "ZBuf.h"\n#include "../../platform/media/Common.h"\n'}, [], 1,
     ["layer: dsp -> platform: signalbays/common/Bay includes platform/media/Common (signalbays/common/Bay.cpp:2)"],
     []),

    ("platform including the application",
     {"platform/media/Player.cpp": '#include "Player.h"\n#include "../../Source/Common.h"\n'}, [], 1,
     ["layer: platform -> app: platform/media/Player includes Source/Common (platform/media/Player.cpp:2)"], []),

    ("same-named headers: each file finds the one its own folder or its target's folders give",
     {"Source/zdsp/common/Common.h": "#pragma once\n",
      "signalbays/common/Bay.cpp": '#include "ZBuf.h"\n#include "Common.h"\n',
      "Source/zdsp/linux/Kernels.h": '#pragma once\n#include "Common.h"\n'}, [], 0,
     ["no findings"], ["layer:"]),

    ("saved state including the platform's drawing part, which the application may use",
     {"platform/gui/Picture.h": "#pragma once\n",
      "Source/state/Blob.cpp": '#include "Blob.h"\n#include "../../platform/gui/Picture.h"\n',
      "Source/App.cpp": '#include "App.h"\n#include "gui/Picture.h"\n'}, [], 1,
     ["layer: state -> platform-gui: Source/state/Blob includes platform/gui/Picture (Source/state/Blob.cpp:2)"],
     ["Source/App includes"]),

    ("saved-state header including a GUI module",
     {"Source/state/Blob.h": "#pragma once\n#include <juce_gui_basics/juce_gui_basics.h>\n"}, [], 1,
     ["reach: state file Source/state/Blob.h reaches juce_gui_basics: "
      "Source/state/Blob.h:2 <juce_gui_basics/juce_gui_basics.h>",
      "preprocessed: Source/state/Blob.cpp reaches juce_gui_basics: "
      "Source/state/Blob.h > <juce_gui_basics/juce_gui_basics.h>"], []),

    ("chain including the engine that uses it, the application, and the platform",
     {"Source/chain/Chain.cpp": ('#include "Chain.h"\n#include "../engine/Session.h"\n#include "../Common.h"\n'
                                 '#include "../../platform/desktop/Clock.h"\n')}, [], 1,
     ["layer: chain -> engine: Source/chain/Chain includes Source/engine/Session (Source/chain/Chain.cpp:2)",
      "layer: chain -> app: Source/chain/Chain includes Source/Common (Source/chain/Chain.cpp:3)",
      "layer: chain -> platform: Source/chain/Chain includes platform/desktop/Clock (Source/chain/Chain.cpp:4)",
      "cycle: include cycle through 2 units, 2 include edges among them:"], []),

    ("chain header including a GUI module, which reaches the engine through it",
     {"Source/chain/Chain.h": '#pragma once\n#include "ZBuf.h"\n#include <juce_gui_basics/juce_gui_basics.h>\n'},
     [], 1,
     ["reach: chain file Source/chain/Chain.h reaches juce_gui_basics: "
      "Source/chain/Chain.h:3 <juce_gui_basics/juce_gui_basics.h>",
      "preprocessed: Source/chain/Chain.cpp reaches juce_gui_basics: "
      "Source/chain/Chain.h > <juce_gui_basics/juce_gui_basics.h>",
      "preprocessed: Source/engine/Session.cpp reaches juce_gui_basics: "
      "Source/engine/Session.h > Source/chain/Chain.h > <juce_gui_basics/juce_gui_basics.h>"], []),

    ("engine reaching a GUI module through a platform header",
     {"Source/engine/Session.cpp": '#include "Session.h"\n#include "media/Player.h"\n'}, [], 1,
     ["preprocessed: Source/engine/Session.cpp reaches juce_gui_basics: "
      "platform/media/Player.h > <juce_gui_basics/juce_gui_basics.h>"], ["layer:"]),

    ("FFmpeg reaching application and test files through a platform header",
     {"platform/media/Player.h": '#pragma once\n#include <juce_gui_basics/juce_gui_basics.h>\n#include "Decoder.h"\n'},
     [], 1,
     ["preprocessed: Source/App.cpp reaches libavformat: "
      "Source/App.h > platform/media/Player.h > platform/media/Decoder.h > <libavformat/avformat.h>",
      "preprocessed: Source/Main.cpp reaches libavformat: "
      "Source/App.h > platform/media/Player.h > platform/media/Decoder.h > <libavformat/avformat.h>",
      "preprocessed: tests/app/AppTest.cpp reaches libavformat: "
      "Source/App.h > platform/media/Player.h > platform/media/Decoder.h > <libavformat/avformat.h>"],
     ["tests/platform/PlayerTest.cpp reaches", "platform/media/Player.cpp reaches"]),

    ("report: findings and look-ups printed, exit 0",
     {"Source/Common.cpp": '#include "App.h"\n'}, ["--report"], 0,
     ["cycle: include cycle through 2 units, 2 include edges among them:",
      "look-up: TavlinApplication::getApp(): 1 uses in 1 files: Source/App.cpp 1"], []),

    ("report: a translation unit the preprocessor cannot read fails even there",
     {"Source/App.cpp": '#include "App.h"\n#include "Missing.h"\n'}, ["--report"], 1,
     ['note: unresolved include Source/App.cpp:2: "Missing.h"',
      "preprocess: Source/App.cpp: the preprocessor failed"], []),
]


def flags_for(rel):
    for prefix, dirs in INCLUDES:
        if rel.startswith(prefix):
            return dirs
    raise AssertionError(rel)


def lay_out(top, files):
    for rel, text in files.items():
        path = os.path.join(top, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            # The compiler takes two files with "#pragma once" and the same bytes for one: name each.
            f.write(text + f"// {rel}\n")


def write_compile_db(top, system, build):
    entries = []
    for folder, _, names in os.walk(top):
        for name in sorted(names):
            rel = os.path.relpath(os.path.join(folder, name), top).replace(os.sep, "/")
            if not name.endswith(".cpp") or rel.startswith("build/"):
                continue
            obj = "CMakeFiles/x.dir/" + rel + ".o"
            args = [COMPILER, "-std=c++17"] + ["-I" + os.path.join(top, d) for d in flags_for(rel)]
            args += ["-isystem", system, "-MD", "-MT", obj, "-MF", obj + ".d",
                     "-o", obj, "-c", os.path.join(top, rel)]
            entries.append({"directory": build, "arguments": args, "file": os.path.join(top, rel)})
    with open(os.path.join(build, "compile_commands.json"), "w", encoding="utf-8") as f:
        json.dump(entries, f, indent=1)


class CheckLayersTest(unittest.TestCase):
    def setUp(self):
        self.assertTrue(COMPILER, "no C++ compiler: set TAVLIN_CXX")

    def run_checker(self, changes, args):
        with tempfile.TemporaryDirectory() as scratch:
            top, system = os.path.join(scratch, "tree"), os.path.join(scratch, "system")
            files = dict(CLEAN)
            for rel, text in changes.items():
                if text is None:
                    files.pop(rel)
                else:
                    files[rel] = text
            lay_out(top, files)
            lay_out(system, SYSTEM)
            build = os.path.join(top, "build")
            os.makedirs(build)
            write_compile_db(top, system, build)
            proc = subprocess.run([sys.executable, CHECKER, "--root", top, "--build-dir", build, "--jobs", "2"]
                                  + args, capture_output=True, text=True)
            # Nothing written beside the sources or into the build folder but the compile database.
            self.assertEqual(sorted(os.listdir(build)), ["compile_commands.json"])
            return proc

    def test_cases(self):
        for name, changes, args, code, present, absent in CASES:
            with self.subTest(name):
                proc = self.run_checker(changes, args)
                out = proc.stdout
                self.assertEqual(proc.returncode, code, out + proc.stderr)
                lines = out.splitlines()
                for expected in present:
                    self.assertTrue(any(expected in line for line in lines), f"missing {expected!r} in:\n{out}")
                for unexpected in absent:
                    self.assertNotIn(unexpected, out)

    def test_missing_compile_database_is_an_error(self):
        with tempfile.TemporaryDirectory() as top:
            lay_out(top, CLEAN)
            proc = subprocess.run([sys.executable, CHECKER, "--root", top, "--report"],
                                  capture_output=True, text=True)
            self.assertEqual(proc.returncode, 2)
            self.assertIn("cannot read the compile commands", proc.stderr)


if __name__ == "__main__":
    unittest.main()
