#!/usr/bin/env bash
# Checks dovecot.sh: two instances side by side, their mailboxes, and clean stops.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
server=$here/dovecot.sh

if ! command -v python3 >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q python3 >/dev/null
fi

tmp=$(mktemp -d)
# dovecot's unprivileged processes have to reach the instance directories.
chmod 755 "$tmp"
cleanup() {
    "$server" stop "$tmp/a" || true
    "$server" stop "$tmp/b" || true
    rm -rf "$tmp"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

port_free() {
    ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# Both sockets stay bound until both numbers are known, so the ports differ.
read -r port_a port_b < <(python3 -c '
import socket
socks = [socket.socket() for _ in range(2)]
for s in socks:
    s.bind(("127.0.0.1", 0))
print(*(s.getsockname()[1] for s in socks))
')

# $1: port, $2: instance dir
check_instance() {
    python3 - "$1" "$2" <<'EOF'
import os, poplib, sys

port, run_dir = int(sys.argv[1]), sys.argv[2] + "/run"
problems = []

def login(user, password):
    pop = poplib.POP3("127.0.0.1", port, timeout=10)
    pop.user(user)
    pop.pass_(password)
    return pop

for user, password, count in [("zero", "secret", 0), ("one", "secret", 1),
                              ("twelve", "secret", 12), ("other", "p a s s", 3)]:
    pop = login(user, password)
    got = pop.stat()[0]
    if got != count:
        problems.append(f"{user}: STAT says {got} messages, expected {count}")
    if user == "twelve":
        for n in (1, 12):
            subject = f"Subject: Message {n} of 12 for twelve".encode()
            if subject not in pop.top(n, 0)[1]:
                problems.append(f"twelve: message {n} is not the {n}th written")
    pop.quit()

for user, password in [("one", "wrong"), ("one", "secret "), ("nobody", "secret")]:
    try:
        login(user, password).quit()
        problems.append(f"{user!r} with password {password!r} was accepted")
    except poplib.error_proto as e:
        if not e.args[0].startswith(b"-ERR"):
            problems.append(f"{user!r}: unexpected reply {e.args[0]!r}")

# Every TCP listener dovecot opened is held by its master process.
with open(run_dir + "/master.pid") as f:
    master = f.read().strip()
inodes = {os.readlink(f"/proc/{master}/fd/{fd}")[8:-1]
          for fd in os.listdir(f"/proc/{master}/fd")
          if os.readlink(f"/proc/{master}/fd/{fd}").startswith("socket:[")}
listeners = set()
for table in ("/proc/net/tcp", "/proc/net/tcp6"):
    with open(table) as f:
        for line in f.readlines()[1:]:
            fields = line.split()
            if fields[3] == "0A" and fields[9] in inodes:
                listeners.add(fields[1])
if listeners != {f"0100007F:{port:04X}"}:
    problems.append(f"listeners {sorted(listeners)}, expected only 127.0.0.1:{port}")

for p in problems:
    print("  " + p, file=sys.stderr)
sys.exit(1 if problems else 0)
EOF
}

"$server" start "$tmp/a" "$port_a" &
start_a=$!
"$server" start "$tmp/b" "$port_b" &
start_b=$!
wait "$start_a" || fail "start of instance a on port $port_a"
wait "$start_b" || fail "start of instance b on port $port_b"

check_instance "$port_a" "$tmp/a" || fail "instance a"
check_instance "$port_b" "$tmp/b" || fail "instance b"

if "$server" start "$tmp/c" "$port_b" 2>/dev/null; then
    fail "start on a port that is already in use succeeded"
fi

"$server" stop "$tmp/a" || fail "stop of instance a"
port_free "$port_a" || fail "port $port_a still open after stop"
check_instance "$port_b" "$tmp/b" || fail "instance b after instance a was stopped"

"$server" stop "$tmp/b" || fail "stop of instance b"
port_free "$port_b" || fail "port $port_b still open after stop"

"$server" stop "$tmp/a" || fail "second stop of instance a"
"$server" stop "$tmp/never-started" || fail "stop of a directory that never held an instance"

echo "dovecot.sh: all checks passed"
