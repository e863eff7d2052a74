"""One mutation session: puts each mutant into its file in turn, rebuilds the
tests in build/mutate, runs them until the first failure and puts the file
back. Started by scripts/mutate inside a network and /tmp of its own."""

import argparse
import json
import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import time

import mutants as generator

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD = ROOT / "build" / "mutate"
BACKUP = BUILD / "originals"
MUTANT_SUFFIX = ".mutant"
EQUIVALENTS = ROOT / "tests" / "mutation_equivalents.txt"
DOVECOT = ROOT / "tests" / "integration" / "dovecot.sh"
# script_server_test checks the test server only, dovecot_script checks
# dovecot.sh; the session starts and stops dovecot itself.
NOT_PRODUCT_TESTS = "^(script_server_test.*|dovecot_script|dovecot_start|dovecot_stop)$"
PRODUCT_TARGETS = (r"tarvik_core\.dir", r"tarvik_posix\.dir")
# "12/80 Test #7: Name .....   Passed    0.12 sec", or "***Failed",
# "***Exception: SegFault", "***Timeout"...; a parameter's name has spaces.
RESULT = re.compile(r"Test\s+#\d+: (.+?) \.+\s*(\S.*?)\s+([\d.]+) sec\s*$", re.M)


class Interrupted(Exception):
    pass


def interrupted(signum, frame):
    raise Interrupted(signal.Signals(signum).name)


STOPPING = {signal.SIGINT, signal.SIGTERM, signal.SIGHUP}


def run(command, **options):
    """Runs command in a process group of its own, ended with it on any
    exception (Ctrl+C included); returns (exit status, output)."""
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                               errors="replace", start_new_session=True, **options)
    try:
        output, _ = process.communicate()
        return process.returncode, output
    except BaseException:
        for sig, wait in ((signal.SIGTERM, 5), (signal.SIGKILL, None)):
            try:
                os.killpg(process.pid, sig)
                process.wait(wait)
                break
            except (ProcessLookupError, subprocess.TimeoutExpired):
                continue
        raise


def configure(timeout):
    cache = BUILD / "CMakeCache.txt"
    options = [f"-DTARVIK_TEST_TIMEOUT={timeout}"]
    if not cache.exists():
        # No debug information and no optimization: each mutant compiles
        # and links in a fraction of the time.
        options += ["-DCMAKE_BUILD_TYPE=Debug", "-DCMAKE_CXX_FLAGS_DEBUG=-O0",
                    "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON"]
        options += ["-G", "Ninja"] if shutil.which("ninja") else []
        options += ["-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=gold"] if shutil.which("ld.gold") else []
    elif f"TARVIK_TEST_TIMEOUT:STRING={timeout}\n" in cache.read_text():
        return
    status, output = run(["cmake", "-S", str(ROOT), "-B", str(BUILD)] + options)
    if status:
        sys.exit(f"configuring {BUILD} failed:\n{output}")


def cached(name):
    match = re.search(rf"^{name}:\w+=(.*)$", (BUILD / "CMakeCache.txt").read_text(), re.M)
    return match.group(1)


def product_files():
    """The sources of the native program's libraries, relative to the root."""
    commands = json.loads((BUILD / "compile_commands.json").read_text())
    return sorted({str(pathlib.Path(entry["file"]).resolve().relative_to(ROOT)) for entry in commands
                   if re.search(r" -o \S*(?:" + "|".join(PRODUCT_TARGETS) + ")/", entry["command"])})


def chosen_files(names, since):
    products = product_files()
    chosen = []
    if since:
        status, output = run(["git", "-C", str(ROOT), "diff", "--name-only", since, "--"])
        if status:
            sys.exit(output)
        chosen += [name for name in output.split() if name in products]
    for name in names:
        path = (pathlib.Path.cwd() / name).resolve()
        relative = str(path.relative_to(ROOT)) if path.is_relative_to(ROOT) else name
        inside = [p for p in products if p == relative or p.startswith(relative.rstrip("/") + "/")]
        if not inside:
            sys.exit(f"{name}: not a source of the native program (tests, tools and Windows-only "
                     "files are not mutated)")
        chosen += inside
    return sorted(set(chosen))


def restore_left_behind():
    """Puts back files a session that was killed outright left mutated. A
    file that no longer holds that mutant was put back or edited since, and
    an old copy would undo the edit: it stays as it is."""
    for original in sorted(BACKUP.rglob("*")) if BACKUP.exists() else []:
        if original.is_file() and original.suffix != MUTANT_SUFFIX:
            target = ROOT / original.relative_to(BACKUP)
            mutant = original.with_name(original.name + MUTANT_SUFFIX)
            if mutant.exists() and target.read_bytes() == mutant.read_bytes():
                target.write_bytes(original.read_bytes())
                print(f"put back {target.relative_to(ROOT)}, left mutated by an earlier session")
            else:
                print(f"left {target.relative_to(ROOT)} as it is: it no longer holds an earlier "
                      "session's mutant (see git diff if in doubt)")
            original.unlink()
            mutant.unlink(missing_ok=True)


def build(target):
    status, output = run(["cmake", "--build", str(BUILD), "--target", target, "-j2"])
    return status == 0, output


def write_order(durations, first):
    """Lets ctest start the tests that killed this file's mutants before,
    then the fastest: it starts earlier failures first, then the highest
    cost."""
    lines = [f"{name} 1 {1000.0 / (1.0 + 1000.0 * seconds):.6f}" for name, seconds in durations.items()
             if " " not in name]
    path = BUILD / "Testing" / "Temporary" / "CTestCostData.txt"
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text("\n".join(lines + ["---"] + list(first)) + "\n")


def ctest(selection, timeout, stop):
    """Runs a selection of the tests: (results {name: outcome}, output). A
    failure counts only when it repeats, so a test that fails now and then
    under load kills nothing."""
    command = ["ctest", "--test-dir", str(BUILD), "-E", NOT_PRODUCT_TESTS, "-FA", "dovecot", "-j2",
               "--timeout", str(timeout), "--no-tests=error", "--repeat", "until-pass:2",
               "--output-on-failure"] + selection
    status, output = run(command + (["--stop-on-failure"] if stop else []))
    results = {match.group(1): ("Timeout" if "Timeout" in match.group(2) else match.group(2).strip("*"),
                                match.group(3)) for match in RESULT.finditer(output)}
    if status and all(outcome == "Passed" for outcome, _ in results.values()):
        results["(ctest)"] = ("Failed", "")
    return results, output


STAGES = (("unit_tests", ["-LE", "integration"]), ("integration_tests", ["-L", "integration"]))


def dovecot_dir():
    return f"/tmp/tarvik-dovecot-{cached('DOVECOT_PORT')}"


def fresh_dovecot():
    """Starts dovecot anew on fresh mailboxes: the integration tests deliver,
    flag and expunge mail, and each run expects the mailboxes as made."""
    run([str(DOVECOT), "stop", dovecot_dir()])
    shutil.rmtree(dovecot_dir(), ignore_errors=True)
    status, output = run([str(DOVECOT), "start", dovecot_dir()] +
                         [cached(f"DOVECOT_{name}PORT") for name in ("", "TLS_", "IMAP_", "IMAPS_")])
    if status:
        sys.exit(output)


def baseline(timeout):
    durations = {}
    for target, _ in STAGES:
        built, output = build(target)
        if not built:
            sys.exit(f"the unmutated tree does not build:\n{output[-4000:]}")
    for target, selection in STAGES:
        if target == "integration_tests":
            fresh_dovecot()
        results, output = ctest(selection, timeout, stop=False)
        if any(outcome != "Passed" for outcome, _ in results.values()):
            sys.exit(f"the suite fails without any mutant:\n{output[-4000:]}")
        durations.update({name: float(seconds) for name, (_, seconds) in results.items()})
    return durations


def try_mutant(mutant, durations, killers, timeout, log):
    """('killed' or 'timed out', [(failed test, how)]), ('survived', []) or
    ('did not compile', []); the output of a failed build or test goes to log."""
    for target, selection in STAGES:
        built, output = build(target)
        if not built:
            log.write_text(output)
            return "did not compile", []
        write_order(durations, killers.get(mutant.path, []))
        if target == "integration_tests":
            fresh_dovecot()
        results, output = ctest(selection, timeout, stop=True)
        failed = [(name, outcome) for name, (outcome, _) in results.items() if outcome != "Passed"]
        if failed:
            log.write_text(output)
            timed_out = all(outcome == "Timeout" for _, outcome in failed)
            return ("timed out" if timed_out else "killed"), failed
    return "survived", []


class MutatedFile:
    """The file with one mutant in it; the original is back on leaving, and
    kept in build/mutate/originals meanwhile in case the session is killed."""

    def __init__(self, mutant, original):
        self.path = ROOT / mutant.path
        self.backup = BACKUP / mutant.path
        self.backup_mutant = self.backup.with_name(self.backup.name + MUTANT_SUFFIX)
        self.original = encode(original)
        self.mutated = encode(mutant.apply(original))

    def __enter__(self):
        self.backup.parent.mkdir(parents=True, exist_ok=True)
        self.backup.write_bytes(self.original)
        self.backup_mutant.write_bytes(self.mutated)
        self.path.write_bytes(self.mutated)

    def __exit__(self, *error):
        # A second Ctrl+C waits until the file is back.
        signal.pthread_sigmask(signal.SIG_BLOCK, STOPPING)
        try:
            self.path.write_bytes(self.original)
            if self.path.read_bytes() != self.original:
                raise RuntimeError(f"{self.path} could not be put back; the original is in {self.backup}")
            self.backup.unlink()
            self.backup_mutant.unlink()
        finally:
            signal.pthread_sigmask(signal.SIG_UNBLOCK, STOPPING)


# Byte for byte: line ends and any stray byte come back as they were.
def decode(data):
    return data.decode("utf-8", "surrogateescape")


def encode(text):
    return text.encode("utf-8", "surrogateescape")


def git_diff(files):
    return run(["git", "-C", str(ROOT), "diff", "--"] + files)[1]


def report_line(number, total, mutant, outcome, detail, seconds):
    tests = f"  ({detail})" if detail else ""
    return (f"[{number}/{total}] {outcome:<15} {mutant.path}:{mutant.line}  {mutant.before}  ->  "
            f"{mutant.after}{tests}  {seconds:.1f} s")


def summary(outcomes, files, seed):
    count = {kind: sum(1 for _, outcome, _ in outcomes if outcome == kind)
             for kind in ("killed", "timed out", "survived", "equivalent", "did not compile")}
    lines = [f"{len(outcomes)} mutants of {len(files)} files (seed {seed}): "
             + ", ".join(f"{n} {kind}" for kind, n in count.items())]
    caught, judged = count["killed"] + count["timed out"], count["killed"] + count["timed out"] + count["survived"]
    if judged:
        lines.append(f"Kill rate: {caught} of {judged} non-equivalent mutants caught "
                     f"({100.0 * caught / judged:.1f} %)")
    survivors = [mutant for mutant, outcome, _ in outcomes if outcome == "survived"]
    if survivors:
        lines.append("\nSurvivors; one judged equivalent goes into "
                     f"{EQUIVALENTS.relative_to(ROOT)} by hand, with a reason:")
        for mutant in survivors:
            lines += ["", mutant.path, f"  before: {mutant.before}", f"  after: {mutant.after}"]
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(prog="scripts/mutate", description=__doc__)
    parser.add_argument("files", nargs="*", metavar="FILE", help="product sources or folders")
    parser.add_argument("--since", metavar="REV", help="also every product source changed since REV")
    parser.add_argument("--max", type=int, metavar="N", help="a sample of N mutants")
    parser.add_argument("--seed", type=int, default=1, help="the sample's seed (default 1)")
    parser.add_argument("--timeout", type=int, default=20, help="seconds per test (default 20)")
    parser.add_argument("--list", action="store_true", help="only list the mutants")
    args = parser.parse_args()
    for sig in STOPPING:
        signal.signal(sig, interrupted)

    configure(args.timeout)
    restore_left_behind()
    files = chosen_files(args.files, args.since)
    if not files:
        sys.exit("no product sources to mutate: name some, or use --since REV")
    equivalents = generator.read_equivalents(EQUIVALENTS.read_text())
    found, originals = [], {}
    for name in files:
        originals[name] = decode((ROOT / name).read_bytes())
        header = ROOT / re.sub(r"\.cpp$", ".h", name)
        found += generator.mutants(name, originals[name], header.read_text() if header.exists() else "")
    unmatched = set(key for key in equivalents if key[0] in files) - set(map(generator.equivalent_key, found))
    for path, before, after in sorted(unmatched):
        print(f"{EQUIVALENTS.relative_to(ROOT)}: no mutant of {path} is '{before}' -> '{after}' any more")
    chosen = generator.sample(found, args.max, args.seed)
    print(f"{len(chosen)} of the {len(found)} mutants of {len(files)} files", flush=True)
    if args.list:
        for mutant in chosen:
            print(f"{mutant.path}:{mutant.line}  {mutant.before}  ->  {mutant.after}")
        return 0

    diff_before = git_diff(files)
    outcomes, killers, started = [], {}, time.monotonic()
    shutil.rmtree(BUILD / "logs", ignore_errors=True)
    (BUILD / "logs").mkdir()
    report = (BUILD / "report.txt").open("w")
    try:
        durations = baseline(args.timeout)
        print(f"the unmutated suite passes: {len(durations)} tests; "
              f"{time.monotonic() - started:.0f} s so far", flush=True)
        for number, mutant in enumerate(chosen, 1):
            began = time.monotonic()
            if generator.equivalent_key(mutant) in equivalents:
                outcome, detail = "equivalent", equivalents[generator.equivalent_key(mutant)]
            else:
                with MutatedFile(mutant, originals[mutant.path]):
                    outcome, failed = try_mutant(mutant, durations, killers, args.timeout,
                                                 BUILD / "logs" / f"{number}.txt")
                known = killers.setdefault(mutant.path, [])
                known[:0] = [name for name, _ in failed if name not in known]
                # A parameterized test's name ends in "  # GetParam() = ...".
                detail = ", ".join(name.split("  #")[0] + ("" if how == "Failed" else f" [{how}]")
                                   for name, how in failed)
            outcomes.append((mutant, outcome, detail))
            line = report_line(number, len(chosen), mutant, outcome, detail, time.monotonic() - began)
            print(line, flush=True)
            report.write(line + "\n")
    finally:
        run([str(DOVECOT), "stop", dovecot_dir()])
        text = summary(outcomes, files, args.seed)
        text += f"\n\n{len(outcomes)} mutants in {time.monotonic() - started:.0f} s"
        print("\n" + text)
        report.write("\n" + text + "\n")
        report.close()
        if git_diff(files) != diff_before:
            sys.exit("A mutated source was not put back as it was: see git diff")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except Interrupted as signal_name:
        sys.exit(f"stopped by {signal_name}; every file is as it was")
    except KeyboardInterrupt:
        sys.exit("stopped; every file is as it was")
