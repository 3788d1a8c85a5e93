# A phone on USB without a phone, sourced by the end-to-end test and by
# `make demo`: a private adb server (its own port, home folder and log),
# phone-sim playing the phone's camera application, and fake-adb-phone, which
# the server joins with "adb connect" and whose ports 5000 and 5544 lead to
# phone-sim. Everything lives in one temporary folder, and every process is
# ended by its pid.
#
#   rig_start BUILD_DIR   start it all; sets the RIG_* variables below
#   rig_phone_vanish      the phone is pulled off its cable
#   rig_phone_return      and plugged in again
#   rig_stop              end every process started here, remove the folder
#
# RIG_DIR        the temporary folder (logs are kept there)
# RIG_HOME       a home folder for the program, with a Documents folder
# RIG_ADB_SOCKET what ADB_SERVER_SOCKET must say to reach the private server
# RIG_CONTROLS   the file where phone-sim logs the control codes it receives
# RIG_PIDS       every pid started, in order of starting
# RIG_SIM_ARGS   further options for phone-sim, set before rig_start

RIG_PIDS=()

rig_log() { echo "phone-rig: $*" >&2; }

# rig_wait SECONDS COMMAND...: runs COMMAND until it succeeds, for at most
# SECONDS; fails when it never did.
rig_wait() {
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do
    if [ "$SECONDS" -ge "$deadline" ]; then return 1; fi
    sleep 0.1
  done
}

# rig_adb SERVICE: one request to the private server in its host protocol,
# printed as the server answered it. Bash's own socket, not the adb tool:
# the tool would start a server of its own when the private one is gone.
rig_adb() {
  local fd reply
  { exec {fd}<>"/dev/tcp/127.0.0.1/$RIG_ADB_PORT"; } 2>/dev/null || return 1
  printf '%04x%s' "${#1}" "$1" >&"$fd"
  reply=$(timeout 5 cat <&"$fd")
  exec {fd}>&-
  printf '%s' "$reply"
}

rig_phone_listed() { rig_adb host:devices | grep -qF "$RIG_PHONE_SERIAL"$'\tdevice'; }

# rig_first_line FILE PATTERN: waits up to 10 s for a line of FILE that
# matches PATTERN and prints it.
rig_first_line() {
  rig_wait 10 grep -q "$2" "$1" && grep -m1 "$2" "$1"
}

# rig_start_adb: a server on a free port between 40000 and 47999.
rig_start_adb() {
  local tries
  for tries in 1 2 3 4 5; do
    RIG_ADB_PORT=$((40000 + RANDOM % 8000))
    RIG_ADB_SOCKET="tcp:localhost:$RIG_ADB_PORT"
    HOME="$RIG_HOME" ANDROID_ADB_LOG_PATH="$RIG_DIR/adb.log" \
      adb -L "$RIG_ADB_SOCKET" nodaemon server >"$RIG_DIR/adb.out" 2>&1 &
    RIG_ADB_PID=$!
    RIG_PIDS+=("$RIG_ADB_PID")
    # It answers, or it ends at once when the port is taken.
    rig_wait 10 rig_adb_settled
    if [ -n "$(rig_adb host:version)" ]; then return 0; fi
    rig_end_pid "$RIG_ADB_PID"
  done
  rig_log "no adb server would start; see $RIG_DIR/adb.out"
  return 1
}

rig_adb_settled() { [ -n "$(rig_adb host:version)" ] || rig_gone "$RIG_ADB_PID"; }

rig_start() {
  local build=$1 line
  RIG_DIR=$(mktemp -d "${TMPDIR:-/tmp}/orvane-phone-rig-XXXXXX") || return 1
  RIG_HOME="$RIG_DIR/home"
  mkdir -p "$RIG_HOME/Documents"
  RIG_CONTROLS="$RIG_DIR/controls.log"

  rig_start_adb || return 1

  # shellcheck disable=SC2086 # RIG_SIM_ARGS is a list of options
  "$build/tools/phone-sim/phone-sim" --command-port 0 --video-port 0 --log "$RIG_CONTROLS" \
    ${RIG_SIM_ARGS:-} 2>"$RIG_DIR/phone-sim.err" &
  RIG_PIDS+=($!)
  line=$(rig_first_line "$RIG_DIR/phone-sim.err" "listening on command port") ||
    { rig_log "phone-sim did not start: $(cat "$RIG_DIR/phone-sim.err")"; return 1; }
  local command_port video_port
  command_port=$(sed -E 's/.*command port ([0-9]+).*/\1/' <<<"$line")
  video_port=$(sed -E 's/.*video port ([0-9]+).*/\1/' <<<"$line")

  "$build/tools/fake-adb-phone/fake-adb-phone" --relay "5000=127.0.0.1:$command_port" \
    --relay "5544=127.0.0.1:$video_port" >"$RIG_DIR/phone.out" 2>"$RIG_DIR/phone.err" &
  RIG_PHONE_PID=$!
  RIG_PIDS+=("$RIG_PHONE_PID")
  line=$(rig_first_line "$RIG_DIR/phone.out" "^listening on") ||
    { rig_log "fake-adb-phone did not start: $(cat "$RIG_DIR/phone.err")"; return 1; }
  RIG_PHONE_SERIAL="127.0.0.1:${line#listening on }"

  rig_phone_return_connect
}

# Asks the server to join the phone until it lists it as ready: the phone may
# not be listening yet when it was just told to come back.
rig_phone_return_connect() {
  rig_wait 10 rig_phone_join || { rig_log "the adb server does not list the phone"; return 1; }
}

rig_phone_join() {
  rig_adb "host:connect:$RIG_PHONE_SERIAL" >/dev/null
  rig_phone_listed
}

# A phone joined over TCP would stay listed as "offline"; taking it off the
# server's list is what pulling a USB cable does.
rig_phone_vanish() {
  kill -USR1 "$RIG_PHONE_PID"
  rig_adb "host:disconnect:$RIG_PHONE_SERIAL" >/dev/null
}

rig_phone_return() {
  kill -USR2 "$RIG_PHONE_PID"
  rig_phone_return_connect
}

# rig_end_pid PID: SIGTERM, then SIGKILL after 5 s.
rig_end_pid() {
  kill -TERM "$1" 2>/dev/null || return 0
  if ! rig_wait 5 rig_gone "$1"; then
    kill -KILL "$1" 2>/dev/null
  fi
  wait "$1" 2>/dev/null || true
}

# Ended: no longer there, or a child that ended and waits to be reaped.
rig_gone() { [ ! -e "/proc/$1" ] || grep -q '^State:.*Z' "/proc/$1/status" 2>/dev/null; }

# Ends the processes in the reverse order of their start.
rig_stop() {
  local i
  for ((i = ${#RIG_PIDS[@]} - 1; i >= 0; i--)); do
    rig_end_pid "${RIG_PIDS[$i]}"
  done
  RIG_PIDS=()
  if [ -n "${RIG_DIR:-}" ] && [ -z "${RIG_KEEP:-}" ]; then
    rm -rf "$RIG_DIR"
  fi
}
