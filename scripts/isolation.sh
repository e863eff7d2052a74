# Running a script's stages in a network, process and /tmp of their own, so
# that they cannot collide with the host's services and ports, and whatever
# they start ends with them on every path. Sourced by the other scripts.
#
#   isolate SCRIPT ARGS...   re-runs SCRIPT --isolated ARGS... as the first
#                            process of new namespaces (needs root)
#   enter_isolation          inside: brings loopback up and mounts the private
#                            /tmp

isolate() {
  if ! unshare --net --pid --fork --mount-proc true 2>/dev/null; then
    echo "This needs namespaces of its own (unshare); run it as root." >&2
    exit 1
  fi
  local script=$1
  shift
  exec unshare --net --pid --fork --kill-child --mount-proc "$script" --isolated "$@"
}

# A checkout that itself lives below /tmp stays reachable at its path: it is
# bound back from the host's /tmp, held open across the new mount. mount must
# not canonicalize that path, or it would name the new, empty /tmp instead.
enter_isolation() {
  ip link set lo up
  exec 8</tmp
  mount -t tmpfs -o mode=1777 tmpfs /tmp
  if [[ $root == /tmp/* ]]; then
    mkdir -p "$root"
    mount --no-canonicalize --bind "/proc/self/fd/8${root#/tmp}" "$root"
  fi
  exec 8<&-
}
