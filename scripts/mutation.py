#!/usr/bin/env python3
"""Mutation check: small deliberate faults, one at a time, each rebuilt and run
against the native test programs that can see the mutated file.

Run through scripts/mutation.sh (which sets the priority and the build folder).
The sources are copied into the build folder, so the worktree is never touched
and work can go on while a run lasts.
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

DEFAULT_TARGETS = ["src/isp", "src/cycle", "src/image", "src/app", "src/platform/serial_port_posix.cpp",
                   "src/platform/device_path_posix.cpp"]

# Test programs that can see each area, cheapest first: the first failing one
# ends the mutant's run.
TESTS_FOR = [
    # The emulated serial device drives the real port code through a pty.
    ("src/platform/serial_port_posix.cpp", ["platform_tests", "emulated_port_tests"]),
    ("src/platform/device_path_posix.cpp", ["platform_tests", "emulated_port_tests"]),
    ("src/isp/", ["isp_tests", "image_tests", "cycle_tests", "line_tests", "cli_tests", "fault/fault_tests"]),
    ("src/image/", ["image_tests", "app_tests", "cycle_tests", "line_tests", "cli_tests", "fault/fault_tests"]),
    ("src/app/", ["app_tests", "cycle_tests", "line_tests", "cli_tests", "fault/fault_tests"]),
    ("src/cycle/", ["cycle_tests", "line_tests", "cli_tests", "fault/fault_tests"]),
]

# Mutants never run: with the variable's name changed, the test programs'
# ORVALO_COM1/ORVALO_COM2 no longer apply and COM1 would open the machine's
# own /dev/ttyS0 (which may be its console).
NEVER_RUN = {("src/platform/device_path_posix.cpp", "text", '"ORVALO_"')}

LINE_OPS = r"(SetDtr|SetRts|SetBreak|TransmitChar|StrobeControl|DelayUnit|ArmBreakWait|plat::Sleep|Sleep|" \
           r"SetStatusText|EnableStart|EnableVerify|DoWaitCursor|RepaintNow|SetSerialNumberText|ClosePort|" \
           r"ioctl|tcsetattr|tcflush|Notify)\b"


# Operators outside the standard run (numbers in expressions, logical and
# arithmetic operators, negated conditions): about 800 more mutants, for
# --extra or --only.
EXTRA_OPERATORS = ("number", "operator", "negate")


def build_targets(test):
    """What must be built before a test program runs: the runner's tests start
    the runner itself."""
    name = test.split("/")[-1]
    if name == "emulated_port_tests":
        return [name, "orvalo_serial_emu", "orvalo-programmer-cli"]
    return [name, "orvalo-programmer-cli"] if name == "cli_tests" else [name]


def tests_for(path):
    for prefix, tests in TESTS_FOR:
        if path.startswith(prefix):
            return tests
    return []


def code_part(line):
    """The line without a trailing // comment (string literals kept)."""
    out, in_str, i = [], False, 0
    while i < len(line):
        c = line[i]
        if c == '"' and (i == 0 or line[i - 1] != "\\"):
            in_str = not in_str
        if not in_str and line.startswith("//", i):
            break
        out.append(c)
        i += 1
    return "".join(out)


def skip_line(stripped):
    return (not stripped or stripped.startswith("//") or stripped.startswith("#") or stripped.startswith("*")
            or stripped.startswith("/*"))


def is_simple_statement(stripped):
    if not stripped.endswith(";") or skip_line(stripped):
        return False
    if re.match(r"(return|if|for|while|do|else|case|break|continue|using|namespace|static|const|constexpr|"
                r"void\s|extern\s|u?int\w*\s|unsigned\s|bool\s|char\s|auto\s|std::\w+[\s<]|struct|class|enum)", stripped):
        return False
    return True


def mutants_of(path, lines):
    """Yields (line index, new line or None for a deletion, operator, note)."""
    in_block_comment = False
    for i, raw in enumerate(lines):
        stripped = raw.strip()
        if in_block_comment:
            if "*/" in stripped:
                in_block_comment = False
            continue
        if stripped.startswith("/*"):
            in_block_comment = "*/" not in stripped
            continue
        if skip_line(stripped):
            continue
        code = code_part(raw)
        rest = raw[len(code):]

        # A pause length changed.
        for m in re.finditer(r"\b(Sleep|PauseMilliseconds|Wait|JoinFor|EnableLoop)\((\d+)\)", code):
            n = int(m.group(2))
            for v in sorted({n + 1, max(n - 1, 0)} - {n}):
                new = code[:m.start(2)] + str(v) + code[m.end(2):]
                yield i, new + rest, "pause", "%s(%d) -> %d" % (m.group(1), n, v)

        # A line operation deleted, or its level flipped.
        if is_simple_statement(stripped) and re.search(LINE_OPS, stripped):
            indent = raw[:len(raw) - len(raw.lstrip())]
            yield i, indent + "{}  // deleted\n", "delete-step", stripped
        for m in re.finditer(r"\b(SetDtr|SetRts|SetBreak|EnableStart|EnableVerify)\((true|false)\)", code):
            flip = "false" if m.group(2) == "true" else "true"
            yield i, code[:m.start(2)] + flip + code[m.end(2):] + rest, "flip-level", m.group(0)
        for m in re.finditer(r"\bStrobeControl\(([01])\)", code):
            yield i, code[:m.start(1)] + str(1 - int(m.group(1))) + code[m.end(1):] + rest, "flip-level", m.group(0)
        for m in re.finditer(r"\b(SetDtr|SetRts|SetBreak)\(([^()]*(\([^()]*\))?[^()]*)\)", code):
            if m.group(2) in ("true", "false"):
                continue
            new = code[:m.start(2)] + "!(" + m.group(2) + ")" + code[m.end(2):]
            yield i, new + rest, "flip-level", m.group(0)

        # A named constant changed.
        m = re.match(r"\s*(constexpr|const)\b[^=;(]*=\s*(-?)(0x[0-9A-Fa-f]+|\d+)\s*;", code)
        if m:
            text = m.group(3)
            v = int(text, 16) if text.lower().startswith("0x") else int(text)
            v = -v if m.group(2) else v
            new_v = v + 1
            new = code[:m.start(2)] + str(new_v) + code[m.end(3):]
            yield i, new + rest, "constant", "%s -> %d" % (text, new_v)

        # A comparison changed.
        swaps = [("==", "!="), ("!=", "=="), ("<=", "<"), (">=", ">"), ("<", "<="), (">", ">=")]
        for m in re.finditer(r"(==|!=|<=|>=|(?<![<>\-])<(?![<=])|(?<![<>\-])>(?![>=]))", code):
            op = m.group(1)
            # Leave template brackets and casts alone.
            before = code[:m.start()]
            if op in ("<", ">") and (re.search(r"(template|vector|unique_ptr|cast|function|atomic|array|"
                                               r"lock_guard|shared_ptr|include)\s*$", before)
                                     or re.search(r"[A-Za-z_]\w*<[^<>]*$", before) and op == ">"):
                continue
            if op == "<" and re.search(r"\w$", before) and re.match(r"[A-Za-z_:]", code[m.end():]):
                continue
            if '"' in before and before.count('"') % 2 == 1:
                continue
            new_op = dict(swaps)[op]
            yield i, code[:m.start()] + new_op + code[m.end():] + rest, "comparison", "%s -> %s" % (op, new_op)

        # A result code changed.
        m = re.match(r"(\s*)return\s+(-?\d+|k[A-Z]\w*)\s*;", code)
        if m:
            val = m.group(2)
            new_val = "-1" if val == "0" else "0"
            yield i, "%sreturn %s;%s" % (m.group(1), new_val, rest), "result", "%s -> %s" % (val, new_val)

        # One character of a text changed.
        for m in re.finditer(r'"([^"\\]*(\\.[^"\\]*)*)"', code):
            s = m.group(1)
            letters = [k for k, c in enumerate(s) if c.isalpha()]
            if len(letters) < 3 or "%" in s and len(letters) < 4:
                continue
            k = letters[len(letters) // 2]
            c = s[k]
            nc = c.lower() if c.isupper() else c.upper()
            new = code[:m.start(1) + k] + nc + code[m.start(1) + k + 1:]
            yield i, new + rest, "text", '"%s"' % s

        # A number in an expression changed (an address, a mask, a shift, a
        # count): the line's pauses and named constants have their own
        # operators above.
        if not re.match(r"\s*(constexpr|const)\b", code) and not stripped.startswith("#"):
            for m in re.finditer(r"(?<![\w.])(0x[0-9A-Fa-f]+|\d+)(?![\w.])", code):
                before = code[:m.start()]
                if '"' in before and before.count('"') % 2 == 1:
                    continue
                if re.search(r"\b(Sleep|PauseMilliseconds|Wait|JoinFor|EnableLoop)\($", before):
                    continue
                text = m.group(1)
                v = int(text, 16) if text.lower().startswith("0x") else int(text)
                nv = ("0x%02X" % (v + 1)) if text.lower().startswith("0x") else str(v + 1)
                yield i, code[:m.start()] + nv + code[m.end():] + rest, "number", "%s -> %s" % (text, nv)

        # A logical or arithmetic operator changed, or a condition negated.
        for m in re.finditer(r"(&&|\|\||(?<![+\-])[+\-](?![+\-=>]))", code):
            before = code[:m.start()]
            if '"' in before and before.count('"') % 2 == 1:
                continue
            op = m.group(1)
            # A sign, not an operator: after an opening bracket, a comma,
            # an operator or a keyword.
            if op in "+-" and re.search(r"([(\[,=<>!&|?:]|return|^)\s*$", before):
                continue
            new_op = {"&&": "||", "||": "&&", "+": "-", "-": "+"}[op]
            yield i, code[:m.start()] + new_op + code[m.end():] + rest, "operator", "%s -> %s" % (op, new_op)
        m = re.match(r"(\s*(?:\}\s*else\s+)?(?:if|while)\s*\()(.*)\)(\s*(?:\{|[^;]*;)?\s*)$", code.rstrip("\n"))
        if m and m.group(2).count("(") == m.group(2).count(")"):
            yield i, m.group(1) + "!(" + m.group(2) + "))" + m.group(3) + rest.rstrip("\n") + "\n", "negate", \
                "if/while (%s)" % m.group(2)[:60]

    # Two adjacent steps swapped.
    for i in range(len(lines) - 1):
        a, b = lines[i].strip(), lines[i + 1].strip()
        if is_simple_statement(a) and is_simple_statement(b) and a != b:
            ia = lines[i][:len(lines[i]) - len(lines[i].lstrip())]
            ib = lines[i + 1][:len(lines[i + 1]) - len(lines[i + 1].lstrip())]
            if ia == ib:
                yield i, (lines[i + 1], lines[i]), "swap", "%s <-> %s" % (a, b)


def source_files(targets):
    files = []
    for t in targets:
        p = os.path.join(ROOT, t)
        if os.path.isdir(p):
            for name in sorted(os.listdir(p)):
                if name.endswith((".cpp", ".h")) and not name.endswith("_win32.cpp"):
                    files.append(os.path.join(t, name))
        elif os.path.isfile(p):
            files.append(t)
    return files


# No test may reach a real serial device, even under a mutant that opens the
# wrong port: COM1 and COM2 point at paths that do not exist.
SAFE_ENV = dict(os.environ, ORVALO_COM1="/nonexistent/orvalo-com1", ORVALO_COM2="/nonexistent/orvalo-com2")


def run(cmd, cwd, timeout=None):
    # Its own process group: a mutant that hangs a program the tests start
    # (the runner) must not leave it spinning after the timeout.
    p = subprocess.Popen(cmd, cwd=cwd, env=SAFE_ENV, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         start_new_session=True)
    try:
        out, _ = p.communicate(timeout=timeout)
        return p.returncode, out.decode(errors="replace")
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        p.communicate()
        return "timeout", ""


def mutant_key(p):
    return "%s:%d [%s] %s" % (p[0], p[1] + 1, p[3], p[4])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build-mutation"))
    ap.add_argument("--list", action="store_true", help="only list the mutants")
    ap.add_argument("--limit", type=int, default=0, help="at most this many mutants per file")
    ap.add_argument("--only", default="", help="only these operators (comma-separated)")
    ap.add_argument("--extra", action="store_true", help="the extra operators too (%s)" % ", ".join(EXTRA_OPERATORS))
    ap.add_argument("--every", type=int, default=1, help="only every n-th mutant, for a quicker sample")
    ap.add_argument("--faults", default="", help="a file of named faults instead of the operators: lines of "
                    "path<TAB>text<TAB>replacement<TAB>name (\\n in texts for line breaks)")
    ap.add_argument("--shard", default="", help="K/N: only the K-th of N interleaved shares of the mutants, "
                    "so two runs with their own --build folders can share the cores")
    ap.add_argument("--retry", default="", help="a report: only the mutants it lists as survived, found again "
                    "by file, operator and change (line numbers may have moved since)")
    ap.add_argument("--equivalent", default=os.path.join(ROOT, "scripts", "mutation-equivalent.txt"),
                    help="mutants argued equivalent, not run: lines of 'path:line [operator] change<TAB>argument'")
    ap.add_argument("--test-timeout", type=int, default=180)
    ap.add_argument("targets", nargs="*", default=DEFAULT_TARGETS)
    args = ap.parse_args()

    tree = os.path.join(args.build, "tree")
    bdir = os.path.join(args.build, "build")
    plan = []
    for f in source_files(args.targets):
        lines = open(os.path.join(ROOT, f)).read().splitlines(True)
        ms = [m for m in mutants_of(f, lines)
              if (m[2] in args.only.split(",") if args.only else args.extra or m[2] not in EXTRA_OPERATORS)]
        if args.limit:
            ms = ms[:args.limit]
        plan += [(f,) + m for m in ms if (f, m[2], m[3]) not in NEVER_RUN]
    if args.every > 1:
        plan = plan[::args.every]
    if args.retry:
        # Found at the same line where the sources have not moved; elsewhere
        # by file, operator and change alone.
        wanted = []
        for raw in open(args.retry):
            m = re.match(r"survived (\S+?):(\d+) \[(\S+)\] (.*)$", raw.rstrip("\n"))
            if m:
                wanted.append((m.group(1), int(m.group(2)) - 1, m.group(3), m.group(4)))
        found, missing = [], 0
        for f, i, op, note in wanted:
            same = [p for p in plan if (p[0], p[3], p[4]) == (f, op, note)]
            exact = [p for p in same if p[1] == i]
            found += [p for p in (exact or same) if p not in found]
            missing += not same
        if missing:
            print("%d survivors of %s are no longer in the sources" % (missing, args.retry))
        plan = found
    # Mutants argued equivalent (no test can tell them from the sources) are
    # listed with the argument and not run; the score leaves them out. An
    # argument that begins "sanitizer:" is a memory fault the sanitizer build
    # of the same tests stops on, checked by hand: it counts as killed.
    equivalent = {}
    if args.equivalent and os.path.exists(args.equivalent) and not args.faults:
        for raw in open(args.equivalent):
            if not raw.strip() or raw.startswith("#"):
                continue
            key, why = raw.rstrip("\n").split("\t", 1)
            equivalent[key] = why
        keys = {mutant_key(p) for p in plan}
        if args.targets == DEFAULT_TARGETS and not args.retry and not args.shard and args.every <= 1 \
                and not args.only and not args.limit:
            for key in sorted(set(equivalent) - keys):
                print("listed as equivalent but no longer a mutant: %s" % key)
    if args.faults:
        plan = []
        for raw in open(args.faults):
            if not raw.strip() or raw.startswith("#"):
                continue
            f, old, new, name = raw.rstrip("\n").split("\t")
            old, new = old.replace("\\n", "\n"), new.replace("\\n", "\n")
            if old not in open(os.path.join(ROOT, f)).read():
                print("fault %s: text not found in %s" % (name, f))
                return 2
            plan.append((f, -1, (old, new, "named"), "named", name))
    if args.shard:
        k, n = (int(x) for x in args.shard.split("/"))
        plan = plan[k - 1::n]
    if args.list:
        for f, i, _, op, note in plan:
            print("%s:%d %s %s" % (f, i + 1, op, note))
        print("%d mutants" % len(plan))
        return 0

    # A private copy of the sources, configured once; each mutant then costs
    # one compile, the library and the test programs' links.
    if os.path.exists(tree):
        shutil.rmtree(tree)
    os.makedirs(args.build, exist_ok=True)
    top_level_builds = lambda d, names: [n for n in names if n == ".git" or (d == ROOT and n.startswith("build"))]
    # Fresh times on the copy: objects left from an earlier run may be newer
    # than sources edited since, and must not pass for up to date.
    shutil.copytree(ROOT, tree, ignore=top_level_builds, copy_function=shutil.copy)
    rc, out = run(["cmake", "-S", tree, "-B", bdir, "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_CXX_FLAGS_RELEASE=-O1 -DNDEBUG", "-DORVALO_BUILD_GUI=OFF",
                   "-DORVALO_BUILD_BENCH=OFF"], ROOT)
    if rc != 0:
        print(out)
        return 2
    all_tests = sorted({t for _, ts in TESTS_FOR for t in ts})
    targets = [x for t in all_tests for x in build_targets(t)]
    rc, out = run(["cmake", "--build", bdir, "-j2", "--target"] + targets, ROOT)
    if rc != 0:
        print(out)
        return 2
    for t in all_tests:
        rc, _ = run([os.path.join(bdir, "tests", t), "--gtest_brief=1"], bdir, timeout=args.test_timeout)
        if rc != 0:
            print("the unmutated tests fail (%s): fix them first" % t)
            return 2

    report = open(os.path.join(args.build, "report.txt"), "w")
    counts = {"killed": 0, "survived": 0, "invalid": 0, "equivalent": 0}
    started = time.time()
    for n, (f, i, new, op, note) in enumerate(plan, 1):
        why = equivalent.get(mutant_key((f, i, new, op, note)))
        if why and why.startswith("sanitizer:"):
            # An out-of-bounds access the optimised build happens to survive;
            # the sanitizer build of the same tests stops on it.
            counts["killed"] += 1
            line = "%-8s %s  by the sanitizer build (%s)" % ("killed", mutant_key((f, i, new, op, note)),
                                                              why[len("sanitizer:"):].strip())
            report.write(line + "\n")
            print("%d/%d %s" % (n, len(plan), line), flush=True)
            continue
        if why:
            counts["equivalent"] += 1
            line = "%-8s %s  (%s)" % ("equivalent", mutant_key((f, i, new, op, note)), why)
            report.write(line + "\n")
            print("%d/%d %s" % (n, len(plan), line), flush=True)
            continue
        path = os.path.join(tree, f)
        original = open(path).read().splitlines(True)
        mutated = list(original)
        if isinstance(new, tuple) and len(new) == 3:
            mutated = "".join(original).replace(new[0], new[1], 1).splitlines(True)
        elif isinstance(new, tuple):
            mutated[i], mutated[i + 1] = new
        else:
            mutated[i] = new if new.endswith("\n") else new + "\n"
        open(path, "w").write("".join(mutated))
        tests = tests_for(f)
        try:
            # Each program is built only when the ones before it let the
            # mutant through: most mutants die in the first.
            verdict, by = "survived", ""
            for t in tests:
                rc, out = run(["cmake", "--build", bdir, "-j2", "--target"] + build_targets(t), ROOT)
                if rc != 0:
                    verdict, by = "invalid", "does not build"
                    break
                rc, _ = run([os.path.join(bdir, "tests", t), "--gtest_brief=1", "--gtest_fail_fast"], bdir,
                            timeout=args.test_timeout)
                if rc != 0:
                    verdict, by = "killed", "%s (%s)" % (t, "timeout" if rc == "timeout" else "failed")
                    break
        finally:
            open(path, "w").write("".join(original))
            os.utime(path)
        counts[verdict] += 1
        line = "%-8s %s:%d [%s] %s%s" % (verdict, f, i + 1, op, note, ("  by " + by) if by else "")
        report.write(line + "\n")
        report.flush()
        print("%d/%d %s" % (n, len(plan), line), flush=True)
    # Leave the copy built as the sources are.
    run(["cmake", "--build", bdir, "-j2", "--target"] + targets, ROOT)
    valid = counts["killed"] + counts["survived"]
    score = 100.0 * counts["killed"] / valid if valid else 0.0
    summary = "%d mutants: %d killed, %d survived, %d argued equivalent, %d invalid; score %.1f%% of valid, not counting the equivalent; %.0f s" % (
        len(plan), counts["killed"], counts["survived"], counts["equivalent"], counts["invalid"], score, time.time() - started)
    report.write(summary + "\n")
    print(summary)
    return 0


if __name__ == "__main__":
    sys.exit(main())
