#!/usr/bin/env python3
"""Single-line mutation runner: does the suite notice when one product line changes?

Each mutant in mutants.txt (beside this file) names a product file, a text that occurs
exactly once in it, its replacement and a group of CTest programs (a test that a script
runs is written test:target, the target being what the script needs built). Per mutant the runner
writes the changed file into the source tree it is given, rebuilds only that group's
programs, runs them, and puts the original back. A mutant is killed when the build or
a test fails (or a test runs past its time limit).

Mutate a copy of the checkout, never the one you edit, for example:
    git archive HEAD | tar -x -C /tmp/m/src && ln -s "$PWD/../shared" /tmp/m/shared
    cmake -S /tmp/m/src -B /tmp/m/build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    tools/mutants.py --src /tmp/m/src --build /tmp/m/build [--only WORD] [-j2]
The original of the file being mutated is kept as <file>.mutant-original until it is
restored; a run that was killed puts such files back when it starts again.
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
BACKUP = ".mutant-original"


def load(path):
    """Groups (@name = program ...) and mutants (file<TAB>from<TAB>to<TAB>@group)."""
    groups, mutants = {}, []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            if line.startswith("@"):
                name, programs = line.split("=", 1)
                groups[name.strip()] = programs.split()
                continue
            fields = line.split("\t")
            if len(fields) != 4:
                sys.exit(f"{path}:{number}: want four tab-separated fields")
            mutants.append({"line": number, "file": fields[0], "from": fields[1], "to": fields[2],
                            "group": fields[3].strip()})
    for m in mutants:
        if m["group"] not in groups:
            sys.exit(f"{path}:{m['line']}: unknown group {m['group']}")
    return groups, mutants


def restore_leftovers(src):
    for root, _, files in os.walk(src):
        for name in files:
            if name.endswith(BACKUP):
                kept = os.path.join(root, name)
                os.replace(kept, kept[: -len(BACKUP)])
                print(f"restored {kept[: -len(BACKUP)]}")


def run(cmd, timeout):
    try:
        done = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout)
        return done.returncode, done.stdout.decode(errors="replace")
    except subprocess.TimeoutExpired:
        return None, "timed out"


def build_and_test(args, programs):
    # "test:target" names a CTest test run by a script, and the target it needs built.
    targets = [p.split(":")[-1] for p in programs]
    code, out = run(["cmake", "--build", args.build, f"-j{args.jobs}", "--target", *targets], args.build_timeout)
    if code != 0:
        return "build", out
    regex = "^(" + "|".join(p.split(":")[0] for p in programs) + ")$"
    code, out = run(["ctest", "--test-dir", args.build, "-R", regex, f"-j{args.jobs}", "--timeout",
                     str(args.test_timeout), "--output-on-failure"], args.test_timeout * len(programs) + 60)
    if code is None:
        return "timeout", out
    if code != 0:
        return "test", out
    return None, out


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--src", required=True, help="source tree to mutate (a copy)")
    parser.add_argument("--build", required=True, help="its configured build directory")
    parser.add_argument("--list", default=os.path.join(HERE, "mutants.txt"))
    parser.add_argument("--only", help="run the mutants whose file or text contains this")
    parser.add_argument("-j", "--jobs", type=int, default=2)
    parser.add_argument("--test-timeout", type=int, default=300)
    parser.add_argument("--build-timeout", type=int, default=1800)
    parser.add_argument("--report", help="also write the kill report here")
    args = parser.parse_args()

    groups, mutants = load(args.list)
    if args.only:
        mutants = [m for m in mutants if args.only in m["file"] or args.only in m["from"]]
    restore_leftovers(args.src)

    # A clean tree must pass every group used, or a kill would mean nothing.
    used = sorted({p for m in mutants for p in groups[m["group"]]})
    failed, out = build_and_test(args, used)
    if failed:
        sys.exit(f"the unmutated tree fails ({failed}):\n{out[-4000:]}")

    # Put the file back even when the run is interrupted.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(130))
    rows, killed = [], 0
    for m in mutants:
        path = os.path.join(args.src, m["file"])
        with open(path, encoding="utf-8") as f:
            original = f.read()
        if original.count(m["from"]) != 1:
            rows.append((m, "INVALID", "text not found exactly once"))
            continue
        backup = path + BACKUP
        shutil.copy2(path, backup)
        started = time.time()
        try:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original.replace(m["from"], m["to"]))
            failed, out = build_and_test(args, groups[m["group"]])
        finally:
            os.replace(backup, path)
            os.utime(path)  # newer than the mutated object, so the next build recompiles it
        verdict = "killed" if failed else "SURVIVED"
        killed += bool(failed)
        rows.append((m, verdict, f"{failed or ''} {time.time() - started:.0f}s"))
        print(f"{verdict:8} #{m['line']} {m['file']}: {m['from']!r} -> {m['to']!r} {rows[-1][2]}", flush=True)

    valid = sum(1 for r in rows if r[1] != "INVALID")
    lines = [f"{r[1]:8} {r[0]['file']}: {r[0]['from']!r} -> {r[0]['to']!r} ({r[2].strip()})" for r in rows]
    lines.append(f"killed {killed} of {valid} mutants ({len(rows) - valid} invalid)")
    print("\n".join(lines[-1:]))
    if args.report:
        with open(args.report, "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")
    # Leave the build matching the restored sources.
    run(["cmake", "--build", args.build, f"-j{args.jobs}", "--target", *[p.split(":")[-1] for p in used]],
        args.build_timeout)


if __name__ == "__main__":
    main()
