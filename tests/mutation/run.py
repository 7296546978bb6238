#!/usr/bin/env python3
"""Mutation run: puts each fault of faults.txt into the core, one at a time,
rebuilds the programs the native suite runs and runs that suite; a fault that
no test catches survives.

    tests/mutation/run.py [--check] [--build DIR] [FAULT...]

--check only checks that every fault's text still occurs exactly once (no
build, no test). FAULT names limit the run to those faults. The suite is
`ctest` of the native build without the tests that use loopback sockets: a
fault in the core is for the unit and replay tests to catch, and they need no
port. Exit status 0 when every fault is caught or argued equivalent, 1 when
one survives unargued or is stale, 2 on a broken set-up.
"""
import argparse
import json
import signal
import subprocess
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
FAULTS = Path(__file__).with_name("faults.txt")
NETWORK_TESTS = r"peer\.loopback|Loopback|ListenerSocket"
TEST_TIMEOUT_S = 60  # a fault that makes a loop endless fails the test


def fail(message):
    print(message, file=sys.stderr)
    sys.exit(2)


@dataclass
class Fault:
    name: str
    line: int
    file: str = ""
    original: list = field(default_factory=list)
    replacement: list = field(default_factory=list)
    equivalent: str = ""

    @property
    def snippet(self):
        return "\n".join(self.original)

    @property
    def faulty(self):
        return "\n".join(self.replacement)


def parse_faults(path):
    faults = []
    for number, raw in enumerate(path.read_text().splitlines(), start=1):
        if raw.startswith("fault "):
            faults.append(Fault(raw[len("fault "):].strip(), number))
        elif not raw.strip() or raw.startswith("#"):
            continue
        elif not faults:
            fail(f"{path}:{number}: a fault must start with 'fault NAME'")
        elif raw.startswith("file "):
            faults[-1].file = raw[len("file "):].strip()
        elif raw.startswith("- "):
            faults[-1].original.append(raw[2:])
        elif raw.startswith("+ ") or raw == "+":
            faults[-1].replacement.append(raw[2:])
        elif raw.startswith("equivalent "):
            faults[-1].equivalent = raw[len("equivalent "):].strip()
        else:
            fail(f"{path}:{number}: not a fault line: {raw!r}")
    names = [f.name for f in faults]
    for fault in faults:
        if not fault.file or not fault.original:
            fail(f"{path}:{fault.line}: fault {fault.name} needs a file and '- ' lines")
        if names.count(fault.name) > 1:
            fail(f"{path}:{fault.line}: fault {fault.name} is listed twice")
    return faults


def occurrences(fault):
    source = (ROOT / fault.file).read_text() if (ROOT / fault.file).exists() else ""
    return source.count(fault.snippet)


class Mutated:
    """The fault's file with the fault in it for the duration of a `with`;
    the original comes back on any exit, and a copy under the build folder
    lets a later run restore it after a kill that skipped the `finally`."""

    def __init__(self, fault, backup_dir):
        self.path = ROOT / fault.file
        self.backup = backup_dir / (fault.file.replace("/", "__") + ".orig")
        self.fault = fault

    def __enter__(self):
        self.source = self.path.read_text()
        self.backup.parent.mkdir(parents=True, exist_ok=True)
        self.backup.write_text(self.source)
        self.path.write_text(self.source.replace(self.fault.snippet, self.fault.faulty, 1))

    def __exit__(self, *exc):
        self.path.write_text(self.source)
        self.backup.unlink()


def restore_leftovers(backup_dir):
    for backup in backup_dir.glob("*.orig") if backup_dir.exists() else []:
        target = ROOT / backup.name[:-len(".orig")].replace("__", "/")
        target.write_text(backup.read_text())
        backup.unlink()
        print(f"restored {target.relative_to(ROOT)} left mutated by an earlier run")


def run(command, **kwargs):
    return subprocess.run(command, cwd=ROOT, capture_output=True, text=True, **kwargs)


def suite_targets(build):
    """The programs the suite runs, as build targets."""
    listing = run(["ctest", "--test-dir", str(build), "--show-only=json-v1", "-E", NETWORK_TESTS])
    if listing.returncode != 0:
        fail(f"ctest cannot list the tests of {build}: {listing.stderr}")
    programs = set()
    for test in json.loads(listing.stdout)["tests"]:
        programs.update(Path(arg).name for arg in test.get("command", []) if arg.startswith(str(build / "bin")))
    return sorted(programs)


def build_targets(build, targets):
    return run(["cmake", "--build", str(build), "--target", *targets])


def failing_tests(build):
    result = run(["ctest", "--test-dir", str(build), "-E", NETWORK_TESTS, "-j2", "--stop-on-failure",
                  "--timeout", str(TEST_TIMEOUT_S)])
    if result.returncode == 0:
        return []
    listed = result.stdout.split("The following tests FAILED:")[-1].splitlines()
    failed = [line.split(" - ", 1)[1].rsplit(" (", 1)[0] for line in listed if " - " in line]
    return failed or ["ctest"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--check", action="store_true", help="only check that every fault's text still matches")
    parser.add_argument("--build", default="build/native", help="the native build folder (default build/native)")
    parser.add_argument("names", nargs="*", metavar="FAULT", help="run only these faults")
    args = parser.parse_args()

    faults = parse_faults(FAULTS)
    unknown = set(args.names) - {f.name for f in faults}
    if unknown:
        fail(f"no such fault: {', '.join(sorted(unknown))}")
    chosen = [f for f in faults if not args.names or f.name in args.names]
    build = (ROOT / args.build).resolve()
    backup_dir = build / "mutation"
    restore_leftovers(backup_dir)

    stale = [f for f in chosen if occurrences(f) != 1]
    for fault in stale:
        print(f"STALE    {fault.name}: its text occurs {occurrences(fault)} times in {fault.file} "
              f"(faults.txt line {fault.line})")
    if args.check:
        print(f"{len(chosen) - len(stale)} of {len(chosen)} faults apply, {len(stale)} stale")
        return 1 if stale else 0

    # Ctrl-C and a kill both leave through Mutated's __exit__, which restores the file.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(2))
    if not (build / "build.ninja").exists():
        fail(f"{build} is not configured: run cmake --preset native first")
    targets = suite_targets(build)
    started = time.monotonic()
    baseline = build_targets(build, targets)
    if baseline.returncode != 0 or failing_tests(build):
        print(baseline.stdout[-3000:])
        fail("the suite fails without any fault: fix that first")

    caught, argued, survived, broken = [], [], [], []
    live = [f for f in chosen if f not in stale]
    for index, fault in enumerate(live, start=1):
        with Mutated(fault, backup_dir):
            compiled = build_targets(build, targets)
            failed = failing_tests(build) if compiled.returncode == 0 else None
        prefix = f"[{index:2}/{len(live)}]"
        if failed is None:
            broken.append(fault)
            print(f"{prefix} BROKEN   {fault.name}: does not compile")
        elif failed:
            caught.append(fault)
            print(f"{prefix} caught   {fault.name}  by {', '.join(failed[:3])}")
        elif fault.equivalent:
            argued.append(fault)
            print(f"{prefix} equivalent {fault.name}: {fault.equivalent}")
        else:
            survived.append(fault)
            print(f"{prefix} SURVIVED {fault.name}  ({fault.file}, faults.txt line {fault.line})")
        sys.stdout.flush()
    build_targets(build, targets)  # leave the programs as the sources are

    minutes, seconds = divmod(int(time.monotonic() - started), 60)
    scored = len(caught) + len(survived)
    print(f"\nscore: {len(caught)} of {scored} faults caught ({100 * len(caught) // max(scored, 1)} %); "
          f"{len(argued)} argued equivalent; {len(survived)} survived; {len(stale)} stale; "
          f"{len(broken)} do not compile; {minutes} min {seconds} s")
    for fault in survived:
        print(f"survivor: {fault.name}")
    return 1 if survived or stale or broken else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        sys.exit(130)  # the file in work is already restored
