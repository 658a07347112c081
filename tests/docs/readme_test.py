#!/usr/bin/env python3
"""Runs the README as a reader does, in a new folder holding the sample files
(make_samples), with the built tool as `tarnwick`, in C.UTF-8 and UTC: the
quick start's command lines, each of which must succeed and whose copy X
writes back must hold the files byte for byte, then every console block in
the order of the page, each command's output (both streams) compared with
the page's. A listing's time stamp that the run took from the clock (of
today) may differ from the page's.
    readme_test.py TARNWICK MAKE_SAMPLES README.md
"""
import filecmp
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

STAMP = re.compile(r"'(\d\d/\d\d/\d\d) \d\d:\d\d")
OPTIONAL = ("jq",)  # a command that needs one of these is skipped when it is missing


def blocks(page, kind):
    """The lines of every fenced block of `kind`, its indentation taken off."""
    found, lines, indent = [], None, 0
    for line in page.splitlines():
        if lines is None and line.strip() == "```" + kind:
            lines, indent = [], len(line) - len(line.lstrip())
        elif lines is not None and line.strip() == "```":
            found.append(lines)
            lines = None
        elif lines is not None:
            lines.append(line[indent:])
    return found


def run(command, cwd, env):
    done = subprocess.run(["bash", "-c", command], cwd=cwd, env=env, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT)
    return done.returncode, done.stdout.decode("utf-8", "replace").splitlines()


def same_but_clock(expected, actual, today):
    if len(expected) != len(actual):
        return False
    for page, got in zip(expected, actual):
        for match in reversed([m for m in STAMP.finditer(got) if m.group(1) in today]):
            start, end = match.span()
            got = got[:start] + page[start:end] + got[end:]
        if page != got:
            return False
    return True


def main(tool, make_samples, readme):
    page = open(readme, encoding="utf-8").read()
    work = tempfile.mkdtemp()
    try:
        os.mkdir(os.path.join(work, "bin"))
        os.symlink(os.path.abspath(tool), os.path.join(work, "bin", "tarnwick"))
        env = dict(os.environ, LC_ALL="C.UTF-8", TZ="UTC", PATH=os.path.join(work, "bin") + ":" + os.environ["PATH"])
        subprocess.run([os.path.abspath(make_samples), work], check=True, stdout=subprocess.DEVNULL, env=env)
        failures = quick_start(page, work, env) + console_blocks(page, work, env)
    finally:
        shutil.rmtree(work)
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


def quick_start(page, work, env):
    marked = page.split("<!-- quick-start -->\n", 1)[1].split("<!-- /quick-start -->", 1)[0]
    failures = []
    for line in blocks(marked, "sh")[0]:
        status, out = run(line, work, env)
        print("$ " + line, *out, sep="\n")
        if status != 0:
            failures.append("exit status %d: %s" % (status, line))
    compared = filecmp.dircmp(os.path.join(work, "myfiles"), os.path.join(work, "copy", "GAMES"))
    if compared.left_only or compared.right_only or compared.diff_files or compared.subdirs["TOOLS"].diff_files:
        failures.append("the copy X wrote differs from myfiles")
    return failures


def console_blocks(page, work, env):
    failures, ran = [], 0
    today = {time.strftime("%y/%m/%d", time.gmtime())}
    for block in blocks(page, "console"):
        commands = []
        for line in block:
            if line.startswith("$ "):
                commands.append((line[2:], []))
            else:
                commands[-1][1].append(line)
        for command, expected in commands:
            if any(re.search(r"\b%s\b" % p, command) and not shutil.which(p) for p in OPTIONAL):
                print("skipped, a program is missing: " + command)
                continue
            _, actual = run(command, work, env)
            ran += 1
            today.add(time.strftime("%y/%m/%d", time.gmtime()))
            if not same_but_clock(expected, actual, today):
                print("$ " + command, "--- the page:", *expected, "--- the run:", *actual, sep="\n")
                failures.append(command)
    print("%d commands of the console blocks run, %d print what the page shows" % (ran, ran - len(failures)))
    return failures


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
