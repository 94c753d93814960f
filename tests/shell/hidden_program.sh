# The real program, hidden (offscreen) on the simulator in a fresh program folder and fresh
# user folders, driven by norv-remote. Sourced by the scripts that test it; they set
# `name` (their prefix in messages), `program` and `remote` first, may put files into
# "$work/home" before start_program, and end with stop_program.

work=$(mktemp -d)
pid=
cleanup() {
  if [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "$name: $*" >&2
  [[ -s $work/log ]] && sed 's/^/program: /' "$work/log" >&2
  exit 1
}

mkdir -p "$work/home" "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
export VEXILOR_NORV_HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
export QT_QPA_PLATFORM=offscreen

# Starts the program on the simulator; its standard error is "$work/log".
start_program() {
  "$program" Default_Demo >"$work/log" 2>&1 &
  pid=$!
  # The socket appears once the settings are registered (slowly under the sanitizers).
  local socket=$work/runtime/vexilor-norv-$pid.sock
  for _ in $(seq 1 300); do
    [[ -S $socket ]] && return
    kill -0 "$pid" 2>/dev/null || fail "the program ended at start"
    sleep 0.1
  done
  fail "no remote socket after 30 s"
}

send() { "$remote" --pid "$pid" --timeout 30 "$@"; }

# Waits for the program to end after a SIGTERM, at most $1 tenths of a second: it must end
# with status 0.
await_end() {
  local status=
  for _ in $(seq 1 "$1"); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"
      status=$?
      break
    fi
    sleep 0.1
  done
  [[ -n $status ]] || fail "the program did not end within $(($1 / 10)) s of SIGTERM"
  pid=
  ((status == 0)) || fail "exit status $status after SIGTERM"
}

# SIGTERM closes the program through its close query: it must end with status 0.
stop_program() {
  kill -TERM "$pid"
  await_end 300
}
