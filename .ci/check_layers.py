#!/usr/bin/env python3
"""Checks the include structure of Source/, platform/, rating/ and signalbays/.

A unit is a .h/.cpp pair (its path without the extension). Quoted and angled includes are resolved the way
the compiler does for the file's target: the including file's folder first, then the -iquote, -I and
-isystem folders of the compile command of a .cpp in the same folder (build/compile_commands.json).

Fails on
  - an include cycle between units,
  - an include from one layer into a layer it may not use,
  - a file that reaches a header its layer must not see (a GUI module, FFmpeg), directly or through our
    own headers,
  - a translation unit that reaches such a header after preprocessing (the compiler's -M output, one
    compiler per translation unit, several at a time).

--report prints the same findings (each cycle with its include edges and a smallest set of them to cut)
and where the global look-ups sit, and exits 0 whatever it found, unless a translation unit could not be
preprocessed.
"""

import argparse
import collections
import concurrent.futures
import fnmatch
import json
import os
import re
import shlex
import subprocess
import sys

# --- The layers ------------------------------------------------------------------------------------------
# The folders read, relative to the top of the tree.
ROOTS = ["Source", "platform", "rating", "signalbays"]

# Each unit belongs to the first layer with a matching pattern (fnmatch on the path without extension;
# "*" also crosses "/"). To move units into a layer, name them on its line.
LAYERS = [
    ("dsp", ["Source/zdsp/*", "signalbays/*"]),
    ("state", ["Source/state/*", "Source/readers/*"]),
    ("chain", ["Source/chain/*"]),
    ("engine", ["Source/engine/*"]),
    ("platform-gui", ["platform/gui/*"]),
    ("platform", ["platform/*"]),
    ("app", ["Source/*", "rating/*"]),
]

# The layers whose units each layer may include. The readers use the platform's plain request and answer
# types; the chain only the DSP library and the saved state, never the engine or the application; the engine
# the chain and the platform's media and desktop layers, never the part that draws (platform/gui).
MAY_INCLUDE = {
    "dsp": {"dsp"},
    "state": {"state", "platform"},
    "chain": {"chain", "dsp", "state"},
    "engine": {"engine", "chain", "dsp", "state", "platform"},
    "platform": {"platform"},
    "platform-gui": {"platform-gui", "platform"},
    "app": {"app", "engine", "chain", "dsp", "state", "platform", "platform-gui"},
}

# Outside headers, by the folder they sit in (any component of the header's path).
GUI_MODULES = ["juce_graphics", "juce_gui_basics", "juce_gui_extra", "juce_audio_processors", "juce_audio_utils",
               "juce_opengl", "juce_video", "juce_box2d", "juce_product_unlocking", "juce_analytics"]
FFMPEG = ["libavcodec", "libavdevice", "libavfilter", "libavformat", "libavutil", "libpostproc",
          "libswresample", "libswscale"]

# What the files of each layer must not reach, directly or through other headers. juce_audio_processors
# counts as GUI: its header brings in the editors and with them juce_gui_basics.
MAY_NOT_REACH = {
    "dsp": GUI_MODULES + FFMPEG,
    "state": GUI_MODULES + FFMPEG,
    "chain": GUI_MODULES + FFMPEG,
    "engine": GUI_MODULES + FFMPEG,
    "platform": [],
    "platform-gui": [],
    "app": FFMPEG,
}

# Translation units outside the layers: first match wins, and every other one outside the build folder
# must not reach FFmpeg either.
OTHER_TRANSLATION_UNITS = [
    ("tests/platform/*", []),
]

# The global look-ups the report counts, file by file (definitions are not counted).
LOOKUPS = [
    "TavlinApplication::getApp",
    "ProcessingAVPlayer::getInstance",
    "PlayerHost::get",
]
# ---------------------------------------------------------------------------------------------------------

SOURCE_EXTENSIONS = (".cpp", ".cc", ".cxx", ".c")
HEADER_EXTENSIONS = (".h", ".hpp", ".hh", ".hxx", ".inl", ".ipp")
INCLUDE_RE = re.compile(r'^[ \t]*#[ \t]*include[ \t]*([<"])([^>"\n]+)[>"]', re.M)


Finding = collections.namedtuple("Finding", "kind text")


def strip_comments(text):
    """The text with comments blanked out (newlines kept), leaving string and character literals alone."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if c == "/" and text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif c == "/" and text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c == "R" and text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            m = re.match(r'R"([^()\\ ]{0,16})\(', text[i:])
            if not m:
                out.append(c)
                i += 1
                continue
            end = text.find(")" + m.group(1) + '"', i + m.end())
            j = n if end < 0 else end + len(m.group(1)) + 2
            out.append(text[i:j])
            i = j
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(text[i:j + 1])
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def unit_of(rel_path):
    return os.path.splitext(rel_path)[0]


def layer_of(unit):
    for layer, patterns in LAYERS:
        if any(fnmatch.fnmatchcase(unit, p) for p in patterns):
            return layer
    return None


def other_rule_of(rel_path):
    for pattern, forbidden in OTHER_TRANSLATION_UNITS:
        if fnmatch.fnmatchcase(rel_path, pattern):
            return forbidden
    return FFMPEG


def forbidden_group(path, forbidden):
    """The forbidden folder a header's path lies in, or None."""
    parts = path.replace("\\", "/").split("/")
    for part in parts[:-1]:
        if part in forbidden:
            return part
    return None


# --- The compile commands --------------------------------------------------------------------------------

def command_arguments(entry):
    if "arguments" in entry:
        return list(entry["arguments"])
    return shlex.split(entry["command"])


def search_path(args, directory):
    """(quote folders, angle folders) of a compile command, in the compiler's order."""
    quote, normal, system, after = [], [], [], []
    flags = {"-iquote": quote, "-I": normal, "-isystem": system, "-idirafter": after}
    i = 0
    while i < len(args):
        a = args[i]
        for flag, bucket in flags.items():
            if a == flag and i + 1 < len(args):
                bucket.append(args[i + 1])
                i += 1
                break
            if a.startswith(flag) and len(a) > len(flag):
                bucket.append(a[len(flag):])
                break
        i += 1
    absolute = [os.path.normpath(os.path.join(directory, d)) for d in quote + normal + system + after]
    return absolute, absolute[len(quote):]


def load_compile_db(build_dir):
    path = os.path.join(build_dir, "compile_commands.json")
    with open(path, encoding="utf-8") as f:
        entries = json.load(f)
    result = []
    for e in entries:
        directory = e.get("directory", build_dir)
        file = os.path.normpath(os.path.join(directory, e["file"]))
        result.append((file, command_arguments(e), directory))
    return result


def inside(path, folder):
    return os.path.commonpath([path, folder]) == folder


# --- The include graph -----------------------------------------------------------------------------------

class Graph:
    def __init__(self):
        self.units = set()
        self.edges = collections.defaultdict(list)     # (from unit, to unit) -> ["file:line", ...]
        self.includes = collections.defaultdict(list)  # file -> [(header as written, project file or None,
                                                       #           resolved path or None, "file:line")]
        self.unresolved = []                           # "file:line: name"
        self.files = {}                                # rel path -> comment-free text


def scan_files(root):
    found = []
    for top in ROOTS:
        for folder, dirs, files in os.walk(os.path.join(root, top)):
            dirs.sort()
            for name in sorted(files):
                if name.endswith(SOURCE_EXTENSIONS + HEADER_EXTENSIONS):
                    found.append(os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/"))
    return found


def folder_search_paths(root, compile_db, build_dir):
    """Folder (absolute) -> search path, from the first translation unit (sorted) in that folder."""
    paths = {}
    for file, args, directory in sorted(compile_db, key=lambda e: e[0]):
        if not inside(file, root) or inside(file, build_dir):
            continue
        folder = os.path.dirname(file)
        if folder not in paths:
            paths[folder] = search_path(args, directory)
    return paths


def build_graph(root, compile_db, build_dir):
    root = os.path.abspath(root)
    build_dir = os.path.abspath(build_dir)
    paths = folder_search_paths(root, compile_db, build_dir)
    graph = Graph()
    project = set(scan_files(root))

    def path_for(folder):
        # A folder without translation units takes the path of the folder under the same top folder that
        # has some and shares the longest start with it, an ancestor before the others.
        if folder in paths:
            return paths[folder]
        top = os.path.join(root, os.path.relpath(folder, root).split(os.sep)[0])
        candidates = [f for f in paths if inside(f, top)]
        if not candidates:
            return [], []
        nearest = min(candidates, key=lambda f: (-len(os.path.commonpath([f, folder])), not inside(folder, f), f))
        return paths[nearest]

    for rel in sorted(project):
        unit = unit_of(rel)
        graph.units.add(unit)
        absolute = os.path.join(root, rel)
        with open(absolute, encoding="utf-8", errors="replace") as f:
            text = strip_comments(f.read())
        graph.files[rel] = text
        quote_dirs, angle_dirs = path_for(os.path.dirname(absolute))
        for m in INCLUDE_RE.finditer(text):
            kind, name = m.group(1), m.group(2).strip()
            where = f"{rel}:{text.count(chr(10), 0, m.start()) + 1}"
            dirs = ([os.path.dirname(absolute)] + quote_dirs) if kind == '"' else angle_dirs
            resolved = None
            for d in dirs:
                candidate = os.path.normpath(os.path.join(d, name))
                if os.path.isfile(candidate):
                    resolved = candidate
                    break
            target = os.path.relpath(resolved, root).replace(os.sep, "/") if resolved else None
            if target not in project:
                target = None
                if resolved is None and kind == '"':
                    graph.unresolved.append(f"{where}: \"{name}\"")
            graph.includes[rel].append((name, target, resolved, where))
            if target and unit_of(target) != unit:
                graph.edges[(unit, unit_of(target))].append(where)
    return graph


def strongly_connected(graph):
    """Tarjan's components with more than one unit, each sorted."""
    index, low, stack, on_stack, result = {}, {}, [], set(), []
    succ = collections.defaultdict(list)
    for (a, b) in graph.edges:
        succ[a].append(b)
    counter = [0]

    def visit(v):
        work = [(v, iter(sorted(succ[v])))]
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on_stack.add(v)
        while work:
            node, it = work[-1]
            advanced = False
            for w in it:
                if w not in index:
                    index[w] = low[w] = counter[0]
                    counter[0] += 1
                    stack.append(w)
                    on_stack.add(w)
                    work.append((w, iter(sorted(succ[w]))))
                    advanced = True
                    break
                if w in on_stack:
                    low[node] = min(low[node], index[w])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                component = []
                while True:
                    w = stack.pop()
                    on_stack.discard(w)
                    component.append(w)
                    if w == node:
                        break
                if len(component) > 1:
                    result.append(sorted(component))

    for v in sorted(graph.units):
        if v not in index:
            visit(v)
    return sorted(result, key=lambda c: (-len(c), c))


def cut_edges(component, edges, budget=200000):
    """A smallest set of edges whose removal leaves the component without a cycle: (edges, proven).

    Among sets of the same size, the one with fewest includes written in headers (a .cpp's include is a use
    that can be turned around; a header's is more often a base class or a member). Collects cycles one at a
    time (the shortest left once the current answer is cut) and finds the cheapest set of edges meeting all
    collected cycles by branch and bound, until cutting that set leaves no cycle. If the search takes more
    than `budget` steps, falls back to an ordering heuristic (proven False).
    """
    members = set(component)
    inner = sorted((a, b) for (a, b) in edges if a in members and b in members)
    weight = {e: 1000 + any(w.split(":")[0].endswith(HEADER_EXTENSIONS) for w in edges[e]) for e in inner}
    best_guess = ordering_cut(members, inner)
    cycles = []
    steps = [0]

    def cheapest_hitting_set():
        best = [set(best_guess), sum(weight[e] for e in best_guess) + 1]

        def search(chosen, cost):
            steps[0] += 1
            if steps[0] > budget:
                raise TimeoutError
            open_cycles = [c for c in cycles if not (c & chosen)]
            if not open_cycles:
                if cost < best[1]:
                    best[:] = [set(chosen), cost]
                return
            used, bound = set(), 0
            for c in sorted(open_cycles, key=lambda c: (len(c), sorted(c))):
                if not (c & used):
                    used |= c
                    bound += min(weight[e] for e in c)
            if cost + bound >= best[1]:
                return
            for edge in sorted(min(open_cycles, key=lambda c: (len(c), sorted(c))), key=lambda e: (weight[e], e)):
                search(chosen | {edge}, cost + weight[edge])

        search(frozenset(), 0)
        return best[0]

    try:
        while True:
            cut = cheapest_hitting_set() if cycles else set()
            cycle = shortest_cycle(members, [e for e in inner if e not in cut])
            if cycle is None:
                return sorted(cut), True
            cycles.append(frozenset(cycle))
    except TimeoutError:
        return best_guess, False


def shortest_cycle(members, edges):
    """The edges of a shortest cycle, or None."""
    succ = collections.defaultdict(list)
    for a, b in edges:
        succ[a].append(b)
    best = None
    for start in sorted(members):
        previous = {start: None}
        queue = collections.deque([start])
        last = None
        while queue and last is None:
            v = queue.popleft()
            for w in sorted(succ[v]):
                if w == start:
                    last = v
                    break
                if w not in previous:
                    previous[w] = v
                    queue.append(w)
        if last is not None:
            path = []
            while last is not None:
                path.append(last)
                last = previous[last]
            path.reverse()
            cycle = list(zip(path, path[1:] + [start]))
            if best is None or len(cycle) < len(best):
                best = cycle
    return best


def ordering_cut(members, inner):
    """The edges running backwards in a good order of the units (sinks last, sources first, else the unit
    with most out minus in; then single units moved while that drops backward edges), less every edge that
    closes no cycle once the others are cut."""
    succ = collections.defaultdict(set)
    pred = collections.defaultdict(set)
    for a, b in inner:
        succ[a].add(b)
        pred[b].add(a)

    left, s1, s2 = set(members), [], []
    while left:
        changed = True
        while changed:
            changed = False
            for v in sorted(left):
                if not (succ[v] & left):
                    s2.append(v)
                    left.discard(v)
                    changed = True
                elif not (pred[v] & left):
                    s1.append(v)
                    left.discard(v)
                    changed = True
        if left:
            v = max(sorted(left), key=lambda u: len(succ[u] & left) - len(pred[u] & left))
            s1.append(v)
            left.discard(v)
    order = s1 + list(reversed(s2))

    def backward(order_):
        pos = {v: i for i, v in enumerate(order_)}
        return [(a, b) for (a, b) in inner if pos[a] > pos[b]]

    best = len(backward(order))
    improved = True
    while improved:
        improved = False
        for v in list(order):
            base = [u for u in order if u != v]
            for i in range(len(base) + 1):
                candidate = base[:i] + [v] + base[i:]
                count = len(backward(candidate))
                if count < best:
                    order, best, improved = candidate, count, True
                    break
    cut = sorted(backward(order))
    kept = set(inner) - set(cut)
    for edge in list(cut):
        if shortest_cycle(members, kept | {edge}) is None:
            kept.add(edge)
            cut.remove(edge)
    return cut


def reach_chain(graph, start, forbidden):
    """The shortest include chain from a file to a forbidden outside header, through the project's files:
    (group, ["file:line <header>", ...]) or None."""
    queue = collections.deque([(start, [])])
    seen = {start}
    while queue:
        file, chain = queue.popleft()
        for name, target, resolved, where in graph.includes[file]:
            if target is None:
                group = forbidden_group(resolved or name, forbidden) or forbidden_group(name, forbidden)
                if group:
                    return group, chain + [f"{where} <{name}>"]
        for name, target, resolved, where in graph.includes[file]:
            if target is not None and target not in seen:
                seen.add(target)
                queue.append((target, chain + [where]))
    return None


def check_structure(graph, preprocessed=()):
    """Cycles, layer breaches, and the files that reach what their layer must not see (those in
    `preprocessed` are left to the check after preprocessing)."""
    findings = []
    for unit in sorted(graph.units):
        if layer_of(unit) is None:
            findings.append(Finding("layer", f"{unit} is in no layer of the table"))

    for component in strongly_connected(graph):
        cut, proven = cut_edges(component, graph.edges)
        members = set(component)
        inner = [(a, b) for (a, b) in sorted(graph.edges) if a in members and b in members]
        lines = [f"include cycle through {len(component)} units, {len(inner)} include edges among them:"]
        for unit in component:
            targets = [b for (a, b) in inner if a == unit]
            here = os.path.dirname(unit)
            lines.append(f"    {unit} -> " + ", ".join(t[len(here) + 1:] if os.path.dirname(t) == here else t
                                                      for t in targets))
        lines.append(f"  {'a smallest' if proven else 'a small'} set of edges whose removal breaks every cycle "
                     f"({len(cut)}):")
        for a, b in cut:
            lines.append(f"    {a} -> {b}   ({', '.join(graph.edges[(a, b)])})")
        findings.append(Finding("cycle", "\n".join(lines)))

    for (a, b), where in sorted(graph.edges.items()):
        la, lb = layer_of(a), layer_of(b)
        if la and lb and lb not in MAY_INCLUDE.get(la, set()):
            findings.append(Finding("layer", f"{la} -> {lb}: {a} includes {b} ({', '.join(where)})"))

    for file in sorted(graph.files):
        layer = layer_of(unit_of(file))
        forbidden = MAY_NOT_REACH.get(layer, [])
        if not forbidden or file in preprocessed:
            continue
        found = reach_chain(graph, file, forbidden)
        if found:
            group, chain = found
            findings.append(Finding("reach", f"{layer} file {file} reaches {group}: " + " > ".join(chain)))
    return findings


# --- After preprocessing ---------------------------------------------------------------------------------

def preprocess_command(args):
    """The compile command turned into one that prints the header list (-M) and tree (-H) and writes nothing."""
    out = []
    skip = False
    if args and os.path.basename(args[0]) in ("ccache", "sccache", "distcc"):
        args = args[1:]
    for a in args:
        if skip:
            skip = False
            continue
        if a in ("-o", "-MF", "-MT", "-MQ"):
            skip = True
            continue
        if a in ("-c", "-MD", "-MMD", "-MP", "-M", "-MM") or a.startswith(("-o", "-MF", "-MT", "-MQ")):
            continue
        out.append(a)
    return out + ["-M", "-H"]


def parse_make_rule(text):
    joined = text.replace("\\\n", " ")
    _, _, deps = joined.partition(": ")
    return [d.replace("\\ ", " ") for d in re.findall(r"(?:\\ |[^\s])+", deps)]


def first_chain(tree_text, forbidden):
    """From -H output: the include chain down to the first forbidden header, as a list of paths."""
    stack = []
    for line in tree_text.splitlines():
        m = re.match(r"^(\.+) (.+)$", line)
        if not m:
            continue
        depth = len(m.group(1))
        del stack[depth - 1:]
        stack.append(m.group(2))
        if forbidden_group(m.group(2), forbidden):
            return list(stack)
    return None


def preprocess_one(entry, forbidden):
    file, args, directory = entry
    command = preprocess_command(args)
    proc = subprocess.run(command, cwd=directory, capture_output=True, text=True, errors="replace")
    if proc.returncode != 0:
        return file, None, None, proc.stderr.strip().splitlines()[-5:]
    headers = parse_make_rule(proc.stdout)
    groups = sorted({g for g in (forbidden_group(h, forbidden) for h in headers) if g})
    chain = first_chain(proc.stderr, forbidden) if groups else None
    if chain:
        chain = [os.path.normpath(os.path.join(directory, p)) for p in chain]
    return file, groups, chain, None


def translation_units(root, compile_db, build_dir):
    """[(rel path, compile entry, forbidden folders)] for the project's translation units that have a rule."""
    root = os.path.abspath(root)
    build_dir = os.path.abspath(build_dir)
    work, seen = [], set()
    for entry in sorted(compile_db, key=lambda e: e[0]):
        file = entry[0]
        if file in seen or not inside(file, root) or inside(file, build_dir) or not file.endswith(SOURCE_EXTENSIONS):
            continue
        seen.add(file)
        rel = os.path.relpath(file, root).replace(os.sep, "/")
        if rel.split("/")[0] in ROOTS:
            forbidden = MAY_NOT_REACH.get(layer_of(unit_of(rel)), [])
        else:
            forbidden = other_rule_of(rel)
        if forbidden:
            work.append((rel, entry, forbidden))
    return work


def check_preprocessed(root, work, jobs):
    root = os.path.abspath(root)

    def show(path):
        if inside(path, root):
            return os.path.relpath(path, root).replace(os.sep, "/")
        parts = path.split("/")
        for i, p in enumerate(parts):
            if p in GUI_MODULES or p in FFMPEG:
                return "<" + "/".join(parts[i:]) + ">"
        return path

    findings = []
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, jobs)) as pool:
        futures = [(rel, pool.submit(preprocess_one, entry, forbidden)) for rel, entry, forbidden in work]
        for rel, future in futures:
            _, groups, chain, error = future.result()
            if error is not None:
                findings.append(Finding("preprocess", f"{rel}: the preprocessor failed: " + " | ".join(error)))
            elif groups:
                route = " > ".join(show(p) for p in chain) if chain else "(no chain in the tree)"
                findings.append(Finding("preprocessed", f"{rel} reaches {', '.join(groups)}: {route}"))
    return findings


# --- The report ------------------------------------------------------------------------------------------

def lookups(graph):
    """Per look-up: the files that call it and how often. Calls without the class name count in the class's
    own .cpp; a line without ';' that names it after a type is its definition and does not count."""
    lines = []
    for name in LOOKUPS:
        cls, _, func = name.rpartition("::")
        qualified = re.compile(r"(?<![\w:])" + re.escape(name) + r"\s*\(")
        bare = re.compile(r"(?<![\w:.>])" + re.escape(func) + r"\s*\(")
        definition = re.compile(r"^\s*[\w:<>]+[\s*&]+" + re.escape(name) + r"\s*\(")
        per_file = []
        for rel, text in sorted(graph.files.items()):
            call = bare if rel.endswith(tuple("/" + cls + e for e in SOURCE_EXTENSIONS)) else qualified
            count = sum(len(call.findall(line)) for line in text.splitlines()
                        if not (definition.search(line) and ";" not in line))
            if count:
                per_file.append((rel, count))
        total = sum(n for _, n in per_file)
        lines.append(f"{name}(): {total} uses in {len(per_file)} files: "
                     + ", ".join(f"{rel} {n}" for rel, n in per_file))
    return lines


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."),
                        help="top of the tree (default: the one holding this script)")
    parser.add_argument("--build-dir", default=None, help="the build folder with compile_commands.json "
                        "(default: ROOT/build)")
    parser.add_argument("--report", action="store_true",
                        help="print every finding and the global look-ups, and exit 0 whatever was found")
    parser.add_argument("--jobs", type=int, default=min(6, os.cpu_count() or 1),
                        help="preprocessors run at once (default: %(default)s)")
    parser.add_argument("--no-preprocess", action="store_true", help="read the includes only, skip the -M pass")
    options = parser.parse_args(argv)

    root = os.path.abspath(options.root)
    build_dir = os.path.abspath(options.build_dir or os.path.join(root, "build"))
    try:
        compile_db = load_compile_db(build_dir)
    except OSError as e:
        print(f"check_layers: cannot read the compile commands: {e}", file=sys.stderr)
        return 2

    graph = build_graph(root, compile_db, build_dir)
    work = [] if options.no_preprocess else translation_units(root, compile_db, build_dir)
    findings = check_structure(graph, {rel for rel, _, _ in work})
    findings += check_preprocessed(root, work, options.jobs)

    for f in findings:
        print(f"{f.kind}: {f.text}")
    for u in graph.unresolved:
        print(f"note: unresolved include {u}")
    if options.report:
        for line in lookups(graph):
            print(f"look-up: {line}")

    counts = collections.Counter(f.kind for f in findings)
    summary = ", ".join(f"{n} {k}" for k, n in sorted(counts.items())) or "no findings"
    print(f"check_layers: {len(graph.units)} units, {len(graph.edges)} include edges, "
          f"{len(work)} translation units preprocessed: {summary}")
    failed = any(f.kind == "preprocess" for f in findings)
    if options.report:
        return 1 if failed else 0
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main())
