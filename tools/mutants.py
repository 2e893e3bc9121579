#!/usr/bin/env python3
"""Mutation testing: plants one fault at a time in the program's sources and reruns the tests.

A mutant the tests fail on is killed; one they pass is a survivor, a place where a real fault
would go unnoticed. The sample is drawn reproducibly from every candidate site, so two suites can
be scored on the very same faults:

    tools/mutants.py run [--count N] [--sample-number S] [--sample FILE] [--only-killed TSV]
                         [--out TSV]
    tools/mutants.py list [--count N] [--sample-number S] > FILE
    tools/mutants.py compare OLD.tsv NEW.tsv
    tools/mutants.py carry --from COMMIT [--to COMMIT] FILE.tsv > MOVED.tsv

`carry` moves a sample or a result drawn on the sources of one commit onto another's (by
default today's working tree): each mutant follows its file through renames (as `git diff -M`
sees them) and its line through the changes between; one whose line was itself changed is
dropped (and counted on stderr), so both suites are then scored on the very same faults. It
works backwards too: a sample drawn on today's sources is carried to an older commit with
--from HEAD --to OLD, and run there (make mutants MUTANTS_SAMPLE=... in a checkout of OLD).

Each source file is restored byte for byte after its mutant, also when the run is interrupted;
a copy is kept in the build folder until then and put back by the next run if it was not.
"""

from __future__ import annotations

import argparse
import collections
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / "build-mutants"
BACKUP = BUILD / "mutant-backup"
PROGRAM_DIRS = ("app", "imaging", "jpeg", "platform", "resources")

# Left out on purpose, each for a reason the tests cannot change:
SKIPPED_FILES = {
    "app/main_window.cpp": "the window program's entry; the window is tested through its classes",
    "platform/qtview/IconArt.cpp": "the icon's drawing: pixels a person judges, not a test",
    "resources/make_icons.cpp": "build-time tool; a fault there changes the icon files only",
}
# Lines whose faults no test can see by design: invariant assertions and paint handlers.
SKIPPED_LINE = re.compile(r"\bassert\s*\(|static_assert|paintEvent|#\s*include|#\s*pragma")


@dataclass(frozen=True)
class Mutant:
    path: str  # relative to ROOT
    line: int  # 1-based
    col: int  # 0-based, in the line
    old: str
    new: str
    kind: str

    def key(self) -> str:
        return f"{self.path}:{self.line}:{self.col}:{self.kind}"

    def describe(self) -> str:
        if self.kind == "remove":
            return f"{self.path}:{self.line}: statement removed: {self.old.strip()}"
        return f"{self.path}:{self.line}: {self.old.strip()} -> {self.new.strip()}"

    def to_line(self) -> str:
        return "\t".join([self.path, str(self.line), str(self.col), self.kind, self.old, self.new])

    @staticmethod
    def from_line(text: str) -> "Mutant":
        path, line, col, kind, old, new = text.rstrip("\n").split("\t")
        return Mutant(path, int(line), int(col), old, new, kind)


# ---------------------------------------------------------------------------------------------
# Finding the sites


def blank_comments_and_strings(source: str) -> list[str]:
    """The source's lines with comments and string/char literals replaced by spaces, so that a
    pattern matched on them never lands inside text; columns stay those of the real line."""
    out = []
    i, n = 0, len(source)
    state = None  # None, "block"
    buf = []
    while i < n:
        c = source[i]
        if state == "block":
            if source.startswith("*/", i):
                buf.append("  ")
                i += 2
                state = None
            else:
                buf.append("\n" if c == "\n" else " ")
                i += 1
            continue
        if source.startswith("//", i):
            j = source.find("\n", i)
            j = n if j < 0 else j
            buf.append(" " * (j - i))
            i = j
            continue
        if source.startswith("/*", i):
            buf.append("  ")
            i += 2
            state = "block"
            continue
        if c == "R" and source.startswith('R"', i):
            m = re.match(r'R"([^(\s]*)\(', source[i:])
            if m:
                end = source.find(")" + m.group(1) + '"', i)
                end = n if end < 0 else end + len(m.group(1)) + 2
                buf.append("".join("\n" if ch == "\n" else " " for ch in source[i:end]))
                i = end
                continue
        if c in "\"'" and not (c == "'" and i > 0 and source[i - 1].isalnum()):
            j = i + 1
            while j < n and source[j] != c and source[j] != "\n":
                j += 2 if source[j] == "\\" else 1
            j = min(j + 1, n)
            buf.append(" " * (j - i))
            i = j
            continue
        buf.append(c)
        i += 1
    out = "".join(buf).split("\n")
    return out


RELATIONAL_FLIP = {"==": "!=", "!=": "==", "<": ">=", ">=": "<", ">": "<=", "<=": ">"}
BOUNDARY = {"<": "<=", "<=": "<", ">": ">=", ">=": ">"}
RELATIONAL = re.compile(r"(?<=\s)(==|!=|<=|>=|<|>)(?=\s)")
LOGICAL = re.compile(r"(?<=\s)(&&|\|\|)(?=\s)")
PLUS_MINUS_ONE = re.compile(r"(?<=\s)([+-]) 1\b(?![.'\w])")
RETURN_BOOL = re.compile(r"\breturn (true|false);")
NUMBER = re.compile(r"(?<![\w.'])(\d+)(?![\w.'])")
KEYWORDS_NOT_STATEMENTS = re.compile(
    r"^(return|break|continue|case|default|goto|using|typedef|namespace|template|class|struct|"
    r"enum|public|private|protected|static|const|constexpr|auto|if|for|while|do|switch|else|"
    r"throw|co_return|friend|extern|inline|virtual|explicit|operator)\b"
)
# A statement that does something: a call, an assignment or an increment, one line long.
STATEMENT = re.compile(
    r"^(\+\+|--)?[A-Za-z_][\w:]*(\[[^\]]*\])*((\.|->)[A-Za-z_]\w*(\[[^\]]*\])*)*"
    r"(\s*(\(|=[^=]|\+=|-=|\*=|/=|\|=|&=|\^=|<<=|>>=|\+\+|--)).*;$"
)


def statement_site(code: str, previous: str) -> bool:
    s = code.strip()
    if not STATEMENT.match(s) or KEYWORDS_NOT_STATEMENTS.match(s):
        return False
    if s.count("(") != s.count(")") or s.count("{") != s.count("}"):
        return False
    # A declaration starts with a type followed by a name: "Foo bar = ...", "std::string s(...)".
    if re.match(r"^[A-Za-z_][\w:<>,*&]*\s+[*&]*[A-Za-z_]\w*\s*(=|\(|\{|;)", s):
        return False
    p = previous.strip()
    return p == "" or p.endswith((";", "{", "}", ":")) or re.match(r"^(if|for|while|else)\b", p) is not None


def sites_in(path: str) -> list[Mutant]:
    text = (ROOT / path).read_text(encoding="utf-8", errors="surrogateescape")
    real = text.split("\n")
    code = blank_comments_and_strings(text)
    found = []
    previous = ""
    for number, (line, masked) in enumerate(zip(real, code), start=1):
        if SKIPPED_LINE.search(line) or masked.lstrip().startswith("#") and "#define" not in masked:
            if masked.strip():
                previous = masked
            continue
        for m in RELATIONAL.finditer(masked):
            op = m.group(1)
            found.append(Mutant(path, number, m.start(), op, RELATIONAL_FLIP[op], "flip"))
            if op in BOUNDARY:
                found.append(Mutant(path, number, m.start(), op, BOUNDARY[op], "boundary"))
        for m in LOGICAL.finditer(masked):
            op = m.group(1)
            found.append(Mutant(path, number, m.start(), op, "||" if op == "&&" else "&&", "logic"))
        for m in PLUS_MINUS_ONE.finditer(masked):
            old = m.group(0)
            found.append(Mutant(path, number, m.start(), old, ("-" if old[0] == "+" else "+") + " 1", "plusminus"))
        for m in RETURN_BOOL.finditer(masked):
            old = m.group(0)
            flipped = "return false;" if m.group(1) == "true" else "return true;"
            found.append(Mutant(path, number, m.start(), old, flipped, "return"))
        for m in NUMBER.finditer(masked):
            value = int(m.group(1))
            new = {0: "1", 1: "0"}.get(value, str(value + 1))
            found.append(Mutant(path, number, m.start(), m.group(1), new, "constant"))
        if statement_site(masked, previous):
            start = len(line) - len(line.lstrip())
            found.append(Mutant(path, number, start, line[start:], "{}", "remove"))
        if masked.strip():
            previous = masked
    return found


def program_files() -> list[str]:
    listed = subprocess.run(
        ["git", "ls-files", "--", *PROGRAM_DIRS], cwd=ROOT, capture_output=True, text=True, check=True
    ).stdout.split()
    return sorted(p for p in listed if p.endswith((".cpp", ".h")) and p not in SKIPPED_FILES)


def all_sites() -> list[Mutant]:
    return [m for path in program_files() for m in sites_in(path)]


def draw_sample(count: int, number: int) -> list[Mutant]:
    sites = all_sites()
    chosen = random.Random(number).sample(sites, min(count, len(sites)))
    return sorted(chosen, key=lambda m: (m.path, m.line, m.col, m.kind))


def apply(m: Mutant, text: str) -> str | None:
    lines = text.split("\n")
    line = lines[m.line - 1]
    if line[m.col : m.col + len(m.old)] != m.old:
        return None  # the source moved on since the sample was drawn
    lines[m.line - 1] = line[: m.col] + m.new + line[m.col + len(m.old) :]
    return "\n".join(lines)


# ---------------------------------------------------------------------------------------------
# Building and running


def ninja(*args: str, timeout: float = 1800) -> subprocess.CompletedProcess:
    return subprocess.run(
        ["ninja", "-C", str(BUILD), *args], capture_output=True, text=True, timeout=timeout
    )


def configure() -> None:
    env = dict(os.environ)
    command = [
        "cmake", "-S", str(ROOT), "-B", str(BUILD), "-G", "Ninja",
        "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g0",
        "-DQUILLANE_WERROR=OFF",
    ]
    if shutil.which("ccache"):
        command.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
        env.setdefault("CCACHE_BASEDIR", str(ROOT.parent))
    subprocess.run(command, check=True, env=env, stdout=subprocess.DEVNULL)
    os.environ.update({k: v for k, v in env.items() if k == "CCACHE_BASEDIR"})
    built = ninja("-j", str(os.cpu_count() or 2))
    if built.returncode != 0:
        sys.exit("mutants: the unmutated tree does not build:\n" + built.stdout[-3000:])


class Graph:
    """Which test programs can see a source file, read from the build's own dependency records."""

    def __init__(self) -> None:
        targets = ninja("-t", "targets", "all").stdout.splitlines()
        self.tests = sorted(
            t.split(":")[0] for t in targets
            if re.match(r"^tests/\w+_tests: CXX_EXECUTABLE_LINKER", t)
        )
        self.libraries_of = {}
        for test in self.tests:
            query = ninja("-t", "query", test).stdout
            self.libraries_of[test] = set(re.findall(r"(lib\w+\.a)", query))
        self.objects_of: dict[str, set[str]] = collections.defaultdict(set)
        current = None
        for line in ninja("-t", "deps").stdout.splitlines():
            if line and not line.startswith(" "):
                current = line.split(":")[0]
            elif current and line.strip():
                source = os.path.normpath(os.path.join(BUILD, line.strip()))
                self.objects_of[source].add(current)

    def tests_seeing(self, path: str) -> list[str]:
        seen = set()
        for obj in self.objects_of.get(str(ROOT / path), ()):
            # The target that compiled it, whichever folder's CMakeLists.txt declares it (a
            # library may move into a subfolder of its own).
            owner = re.search(r"(?:^|/)CMakeFiles/([\w-]+)\.dir/", obj)
            if not owner:
                continue
            target = owner.group(1)
            if f"tests/{target}" in self.tests:
                seen.add(f"tests/{target}")
            elif target == "quillane-batch":
                seen.add("tests/app_tests")
            else:
                seen |= {t for t in self.tests if f"lib{target}.a" in self.libraries_of[t]}
        return sorted(seen)


def suite_time(test: str) -> float:
    start = time.monotonic()
    run_test(test, timeout=600)
    return time.monotonic() - start


def run_test(test: str, timeout: float) -> str:
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", GTEST_FAIL_FAST="1")
    try:
        done = subprocess.run(
            [str(BUILD / test), "--gtest_fail_fast", "--gtest_brief=1"],
            cwd=BUILD / "tests", env=env, capture_output=True, timeout=timeout,
            start_new_session=True,
        )
    except subprocess.TimeoutExpired:
        return "timeout"
    return "pass" if done.returncode == 0 else "fail"


def restore_leftovers() -> None:
    if BACKUP.exists():
        for saved in BACKUP.rglob("*"):
            if saved.is_file():
                target = ROOT / saved.relative_to(BACKUP)
                shutil.copyfile(saved, target)
                print(f"mutants: restored {target.relative_to(ROOT)} from an interrupted run")
        shutil.rmtree(BACKUP)


def run_one(m: Mutant, graph: Graph, limits: dict[str, float]) -> tuple[str, str]:
    source = ROOT / m.path
    original = source.read_bytes()
    mutated = apply(m, original.decode("utf-8", errors="surrogateescape"))
    if mutated is None:
        return "stale", ""
    tests = graph.tests_seeing(m.path)
    if not tests:
        return "unreached", ""
    saved = BACKUP / m.path
    saved.parent.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(source, saved)
    try:
        source.write_bytes(mutated.encode("utf-8", errors="surrogateescape"))
        if ninja(*tests, timeout=900).returncode != 0:
            return "uncompiled", ""
        # The layer's own tests first: they are the likeliest to fail fast.
        own = "tests/" + m.path.split("/")[-2] + "_tests" if "/" in m.path else ""
        for test in sorted(tests, key=lambda t: (t != own, limits.get(t, 0))):
            outcome = run_test(test, limits[test])
            if outcome != "pass":
                return ("killed" if outcome == "fail" else "timeout"), test.removeprefix("tests/")
        return "survived", ""
    finally:
        source.write_bytes(original)
        saved.unlink()


def score(rows: list[tuple[Mutant, str, str]]) -> str:
    counted = [r for r in rows if r[1] in ("killed", "survived", "timeout")]
    caught = sum(1 for r in counted if r[1] != "survived")
    return f"{100.0 * caught / len(counted):.1f}%" if counted else "n/a"


def report(rows: list[tuple[Mutant, str, str]], elapsed: float) -> None:
    by_file = collections.defaultdict(list)
    for row in rows:
        by_file[row[0].path].append(row)
    print(f"\n{'file':48} {'killed':>6} {'surv':>5} {'t/o':>4} {'n/c':>4} score")
    for path in sorted(by_file):
        c = collections.Counter(r[1] for r in by_file[path])
        print(f"{path:48} {c['killed']:6} {c['survived']:5} {c['timeout']:4} "
              f"{c['uncompiled'] + c['stale'] + c['unreached']:4} {score(by_file[path])}")
    c = collections.Counter(r[1] for r in rows)
    print(f"\nmutants: {len(rows)}  killed {c['killed']}  survived {c['survived']}  timed out "
          f"{c['timeout']}  did not compile {c['uncompiled']}  stale {c['stale']}  "
          f"unreached {c['unreached']}  score {score(rows)}  ({elapsed / 60:.1f} min)")
    survivors = [r[0] for r in rows if r[1] == "survived"]
    if survivors:
        print("\nsurvivors:")
        for m in survivors:
            print("  " + m.describe())


def read_results(path: str) -> dict[str, tuple[Mutant, str, str]]:
    rows = {}
    for line in Path(path).read_text(encoding="utf-8", errors="surrogateescape").splitlines():
        if line.startswith("#") or not line.strip():
            continue
        outcome, killer, rest = line.split("\t", 2)
        m = Mutant.from_line(rest)
        rows[m.key()] = (m, outcome, killer)
    return rows


def command_run(args: argparse.Namespace) -> None:
    restore_leftovers()
    if args.sample:
        # A sample, or a result (its outcome and killer first): the mutant is the last six fields.
        mutants = [Mutant.from_line("\t".join(l.split("\t")[-6:])) for l in Path(args.sample).read_text(
            encoding="utf-8", errors="surrogateescape").splitlines() if l.strip() and not l.startswith("#")]
    else:
        mutants = draw_sample(args.count, args.sample_number)
    if args.only_killed:
        killed = {k for k, r in read_results(args.only_killed).items() if r[1] in ("killed", "timeout")}
        mutants = [m for m in mutants if m.key() in killed]
    configure()
    graph = Graph()
    limits = {t: max(60.0, 10 * suite_time(t)) for t in graph.tests}
    out = Path(args.out)
    out.parent.mkdir(parents=True, exist_ok=True)
    rows = []
    start = time.monotonic()

    def interrupted(*_):
        raise KeyboardInterrupt

    signal.signal(signal.SIGTERM, interrupted)
    with out.open("w", encoding="utf-8", errors="surrogateescape") as results:
        results.write("# outcome\tkilled by\tfile\tline\tcolumn\tkind\told\tnew\n")
        try:
            for index, m in enumerate(mutants, start=1):
                outcome, killer = run_one(m, graph, limits)
                rows.append((m, outcome, killer))
                results.write(f"{outcome}\t{killer}\t{m.to_line()}\n")
                results.flush()
                print(f"[{index}/{len(mutants)}] {outcome:10} {m.describe()}", flush=True)
        except KeyboardInterrupt:
            print("mutants: interrupted; every file is restored", file=sys.stderr)
        finally:
            restore_leftovers()
            ninja()  # leave the build matching the sources again
    report(rows, time.monotonic() - start)
    print(f"\nresults: {out}")


def command_list(args: argparse.Namespace) -> None:
    print("# file\tline\tcolumn\tkind\told\tnew")
    for m in draw_sample(args.count, args.sample_number):
        print(m.to_line())


def command_compare(args: argparse.Namespace) -> None:
    old, new = read_results(args.old), read_results(args.new)
    common = [k for k in old if k in new]
    print(f"old {score([old[k] for k in common])}  new {score([new[k] for k in common])} "
          f"on {len(common)} shared mutants")
    lost = [old[k][0] for k in common if old[k][1] in ("killed", "timeout") and new[k][1] == "survived"]
    gained = [old[k][0] for k in common if old[k][1] == "survived" and new[k][1] in ("killed", "timeout")]
    for title, group in (("killed before, survive now", lost), ("survived before, killed now", gained)):
        print(f"\n{title}: {len(group)}")
        for m in group:
            print("  " + m.describe())


def line_map(old: list[str], new: list[str]) -> dict[int, int]:
    """1-based line numbers of `old` that survive unchanged in `new`, and where they went."""
    import difflib

    moved = {}
    for block in difflib.SequenceMatcher(None, old, new, autojunk=False).get_matching_blocks():
        for i in range(block.size):
            moved[block.a + i + 1] = block.b + i + 1
    return moved


def moved_files(source: str, target: str | None) -> dict[str, str]:
    """Files git sees as renamed between two commits (target None: the working tree), as
    {path at source: path at target}. Works either way round: a sample drawn after a move is
    carried back to a commit before it just as one drawn before is carried forward."""
    listed = subprocess.run(
        ["git", "diff", "-M", "--name-status", "-z", source, *([target] if target else []), "--"],
        cwd=ROOT, capture_output=True, text=True, check=True, errors="surrogateescape",
    ).stdout.split("\0")
    moved = {}
    i = 0
    while i < len(listed) - 1:
        if listed[i].startswith("R"):  # a rename (R and its similarity) names both paths
            moved[listed[i + 1]] = listed[i + 2]
            i += 3
        else:
            i += 2
    return moved


def text_at(commit: str | None, path: str) -> list[str] | None:
    """The file's lines at a commit (None: the working tree), or None where it does not exist."""
    if commit is None:
        file = ROOT / path
        return file.read_text(encoding="utf-8", errors="surrogateescape").split("\n") if file.is_file() else None
    shown = subprocess.run(["git", "show", f"{commit}:{path}"], cwd=ROOT, capture_output=True,
                           text=True, errors="surrogateescape")
    return shown.stdout.split("\n") if shown.returncode == 0 else None


def command_carry(args: argparse.Namespace) -> None:
    moved = moved_files(args.source, args.target)
    maps: dict[str, tuple[str, dict[int, int]]] = {}
    kept = renamed = dropped = 0
    for text in Path(args.file).read_text(encoding="utf-8", errors="surrogateescape").splitlines():
        if text.startswith("#") or not text.strip():
            print(text)
            continue
        fields = text.split("\t")
        lead = fields[:-6]  # a result's outcome and killer come before the mutant
        m = Mutant.from_line("\t".join(fields[-6:]))
        if m.path not in maps:
            path = moved.get(m.path, m.path)
            then, now = text_at(args.source, m.path), text_at(args.target, path)
            maps[m.path] = (path, line_map(then, now) if then is not None and now is not None else {})
        path, lines = maps[m.path]
        line = lines.get(m.line)
        if line is None:
            dropped += 1
            continue
        kept += 1
        renamed += path != m.path
        moved_mutant = Mutant(path, line, m.col, m.old, m.new, m.kind)
        print("\t".join(lead + [moved_mutant.to_line()]))
    where = args.target or "the working tree"
    print(f"mutants: carried {kept} ({renamed} into renamed files), dropped {dropped} whose line "
          f"changed or whose file is gone between {args.source} and {where}", file=sys.stderr)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    for name in ("run", "list"):
        p = sub.add_parser(name)
        p.add_argument("--count", type=int, default=int(os.environ.get("MUTANTS", "300")))
        p.add_argument("--sample-number", type=int, default=int(os.environ.get("MUTANTS_SEED", "1")))
        if name == "run":
            p.add_argument("--sample", default=os.environ.get("MUTANTS_SAMPLE") or None,
                           help="replay the mutants listed in this file (a sample or a result) "
                           "instead of drawing them")
            p.add_argument("--only-killed", default=None,
                           help="only the mutants this earlier result says were killed")
            p.add_argument("--out", default=os.environ.get("MUTANTS_OUT", str(BUILD / "results.tsv")))
    p = sub.add_parser("compare")
    p.add_argument("old")
    p.add_argument("new")
    p = sub.add_parser("carry")
    p.add_argument("--from", dest="source", required=True, help="the commit the file was drawn on")
    p.add_argument("--to", dest="target", default=None,
                   help="the commit to carry it onto (default: the working tree)")
    p.add_argument("file")
    args = parser.parse_args()
    commands = {"run": command_run, "list": command_list, "compare": command_compare,
                "carry": command_carry}
    commands[args.command](args)


if __name__ == "__main__":
    main()
