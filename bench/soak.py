"""Soak run: 10 000 consecutive checks (or as many as given) against scripted
servers mixing every kind of outcome, one server per kind, each in a process
of its own. The check runs in bench/soak.cpp, which prints its heap, resident
size and open descriptors as it goes.

    python3 bench/soak.py [CHECKS]
"""

import pathlib
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
NATIVE = ROOT / "build" / "native"

SESSION = ["send +OK ready\\r\\n", "expect", "send +OK\\r\\n", "expect", "send +OK in\\r\\n",
           "expect"]
KINDS = {
    "mail waiting": SESSION + ["send +OK 3 300\\r\\n", "expect", "send +OK bye\\r\\n"],
    "no mail": SESSION + ["send +OK 0 0\\r\\n", "expect"],
    "user refused": ["send +OK\\r\\n", "expect", "send -ERR [AUTH] who\\r\\n", "expect"],
    "password refused": ["send +OK\\r\\n", "expect", "send +OK\\r\\n", "expect",
                         "send -ERR [AUTH] no\\r\\n"],
    "STAT refused": SESSION + ["send -ERR\\r\\n"],
    "STAT without count": SESSION + ["send +OK\\r\\n"],
    "greeting refused": ["send -ERR busy\\r\\n"],
    "cut mid-line": ["send +OK\\r\\n", "expect", "send +O", "close"],
    "reset": ["send +OK\\r\\n", "expect", "send +OK\\r\\n", "expect", "reset"],
    "silent": SESSION + ["stall"],
    "split bytes": [step.replace("send ", "sendsplit 0 ") for step in SESSION] +
                   ["sendsplit 0 +OK 2 2\\r\\n", "expect"],
    "64 KiB line": ["send +OK\\r\\n", "expect", "send " + "x" * 65536, "stall"],
}


def main():
    checks = sys.argv[1] if len(sys.argv) > 1 else "10000"
    servers, ports = [], []
    with tempfile.TemporaryDirectory() as folder:
        try:
            for name, steps in KINDS.items():
                script = pathlib.Path(folder) / (name.replace(" ", "_") + ".script")
                script.write_text("\n".join(steps) + "\n")
                server = subprocess.Popen([str(NATIVE / "tests" / "support" / "fake_pop3"),
                                           "--port", "0", "--script", str(script)],
                                          stdout=subprocess.PIPE, text=True)
                servers.append(server)
                ports.append(server.stdout.readline().split()[-1])
            print(f"{len(KINDS)} kinds of server: {', '.join(KINDS)}")
            return subprocess.run([str(NATIVE / "bench" / "soak"), checks, *ports]).returncode
        finally:
            for server in servers:
                server.terminate()
                server.wait()
                server.stdout.close()


if __name__ == "__main__":
    sys.exit(main())
