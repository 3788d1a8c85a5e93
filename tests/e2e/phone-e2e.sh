#!/usr/bin/env bash
# The whole program as a user drives it, with a phone on USB: a private adb
# server, phone-sim behind fake-adb-phone (scripts/phone-rig.sh), and the
# real orvane program with a private home folder, in a virtual X server.
#
#   phone-e2e.sh BUILD_DIR
#
# Checks, from what the user sees and what reaches the files and the phone:
# the phone is opened as "[USB Device]" and its moving picture shows in the
# window (pixels of X screenshots); the photo button saves a photo of it; the
# record button records a few seconds (H.264 and AAC in an AVI, about as many
# pictures as the frame rate promises); a camera button sends its control
# code to the phone; the picture stops when the phone is pulled off and comes
# back when it is plugged in again; the program ends cleanly on SIGTERM.
# Exits 77 (skipped) when a tool it needs is missing.
set -euo pipefail

build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)

if [ -z "${ORVANE_E2E_DISPLAY:-}" ]; then
  missing=()
  for tool in adb xvfb-run xauth xdotool import convert compare ffprobe identify; do
    command -v "$tool" >/dev/null || missing+=("$tool")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "skipped: ${missing[*]} not installed (scripts/install-deps installs them)"
    exit 77
  fi
  ORVANE_E2E_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1400x900x24" bash "$0" "$@"
fi

# shellcheck source=../../scripts/phone-rig.sh
source "$root/scripts/phone-rig.sh"

# Where the window (1256 x 772) puts things: the phone's 640 x 360 picture
# at its own size in the middle of the 1055 x 697 video area at (201, 0);
# the photo and record buttons of the settings panel; the auto-focus button
# of the control panel.
PICTURE="640 360 408 168"
PHOTO_BUTTON="49 719" RECORD_BUTTON="149 719" AUTO_FOCUS_BUTTON="233 734"
FPS=10 # "FPS" 0
read -r pic_w pic_h pic_x pic_y <<<"$PICTURE"
# Inside the red, green and blue bands of the upper half, and inside the
# lower half that a white bar crosses.
BANDS="${pic_w}x$((pic_h / 2 - 40))+${pic_x}+$((pic_y + 20))"
PAGE="${pic_w}x$((pic_h / 2 - 20))+${pic_x}+$((pic_y + pic_h / 2 + 10))"

shot=0
fail() {
  echo "FAIL: $*" >&2
  for log in orvane.out phone-sim.err phone.err; do
    echo "--- $log" >&2
    tail -n 15 "$RIG_DIR/$log" >&2 || true
  done
  exit 1
}
step() { echo "e2e: $* (${SECONDS} s)"; }

RIG_SIM_ARGS="--size ${pic_w}x${pic_h} --fps 20"
trap rig_stop EXIT
trap "exit 1" TERM INT
rig_start "$build" || fail "the phone rig did not start"

config="$RIG_HOME/Documents/Orvane"
mkdir -p "$config"
printf '[Setting]\nDevice=[USB Device]\nFPS=0\nRecordResolution=0\n' >"$config/config.ini"

step "starting orvane"
(
  cd "$RIG_DIR"
  export HOME="$RIG_HOME" XDG_CONFIG_HOME="$RIG_HOME/.config" XDG_DATA_HOME="$RIG_HOME/.local/share" \
    XDG_CACHE_HOME="$RIG_HOME/.cache" XDG_RUNTIME_DIR="$RIG_DIR" ADB_SERVER_SOCKET="$RIG_ADB_SOCKET"
  exec "$build/orvane"
) >"$RIG_DIR/orvane.out" 2>&1 &
orvane=$!
RIG_PIDS+=("$orvane")

window=""
find_window() { window=$(xdotool search --onlyvisible --pid "$orvane" 2>/dev/null | head -n 1); [ -n "$window" ]; }
rig_wait 30 find_window || fail "no window"

# take_shot: a screenshot of the window; its file name in $shot_file.
take_shot() {
  shot=$((shot + 1))
  shot_file="$RIG_DIR/shot-$shot.png"
  import -window "$window" "$shot_file" 2>/dev/null
}

# mean_colours FILE WxH+X+Y N: the mean colour of N equal columns of a region,
# one "r g b" line each (0 to 255).
mean_colours() {
  convert "$1" -crop "$2" +repage -scale "$3x1!" -depth 8 txt:- |
    sed -n 's/^[0-9]*,0: *(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p'
}

# shows_bands FILE WxH+X+Y: red, green and blue from left to right.
shows_bands() {
  mean_colours "$1" "$2" 3 | awk '
    { r[NR] = $1; g[NR] = $2; b[NR] = $3 }
    END {
      exit !(NR == 3 && r[1] > 180 && g[1] < 80 && b[1] < 80 &&
             g[2] > 180 && r[2] < 80 && b[2] < 80 &&
             b[3] > 180 && r[3] < 80 && g[3] < 80)
    }'
}

bands_shown() { take_shot && shows_bands "$shot_file" "$BANDS"; }

# Differing pixels of the page region between two screenshots.
page_change() {
  compare -metric AE -fuzz 10% "$1[$PAGE]" "$2[$PAGE]" null: 2>&1 || true
}

# The page moves: a screenshot differs from the one before it.
moving() {
  local before=$shot_file
  take_shot
  [ "$(page_change "$before" "$shot_file" | cut -d' ' -f1)" -gt 200 ]
}

# The page stands still over half a second.
still() {
  local before=$shot_file
  take_shot
  sleep 0.5
  local middle=$shot_file
  take_shot
  [ "$(page_change "$before" "$middle" | cut -d' ' -f1)" -lt 50 ] &&
    [ "$(page_change "$middle" "$shot_file" | cut -d' ' -f1)" -lt 50 ]
}

click() {
  # shellcheck disable=SC2086 # "x y"
  xdotool mousemove --window "$window" $1 click 1
}

step "waiting for the phone's picture"
rig_wait 30 bands_shown || fail "the window never showed the phone's red, green and blue bands"
rig_wait 10 moving || fail "the phone's picture does not move"
forwards=$(rig_adb host:list-forward)
for port in 5000 5544; do
  grep -q "tcp:$port" <<<"$forwards" || fail "port $port of the phone is not forwarded: $forwards"
done

step "photo"
click "$PHOTO_BUTTON"
photo_taken() { compgen -G "$config/Screenshot/*.jpg" >/dev/null; }
rig_wait 10 photo_taken || fail "no photo in $config/Screenshot"
photo=$(compgen -G "$config/Screenshot/*.jpg" | head -n 1)
[ "$(identify -format '%m %wx%h' "$photo")" = "JPEG 1600x1200" ] ||
  fail "the photo is not a 1600 x 1200 JPEG: $(identify "$photo")"
# The 16:9 picture stretched to 4:3: its bands fill the upper half.
shows_bands "$photo" "1600x300+0+150" || fail "the photo does not show the phone's bands"

step "control code"
click "$AUTO_FOCUS_BUTTON"
auto_focus_sent() { grep -q '^control 8 ' "$RIG_CONTROLS" 2>/dev/null; }
rig_wait 10 auto_focus_sent || fail "the phone never received auto focus (code 8)"

step "recording"
click "$RECORD_BUTTON"
recording_started() { compgen -G "$config/Record/*.avi" >/dev/null; }
rig_wait 10 recording_started || fail "the record button started no recording"
started=$(date +%s%N)
sleep 3 # the length of the recording, not a wait for anything
click "$RECORD_BUTTON"
recorded_ms=$((($(date +%s%N) - started) / 1000000))
recording=$(compgen -G "$config/Record/*.avi" | head -n 1)

step "the phone is pulled off"
rig_phone_vanish
rig_wait 15 still || fail "the picture still moves after the phone was pulled off"
step "the phone is plugged in again"
rig_phone_return || fail "the adb server did not take the phone back"
rig_wait 40 moving || fail "the picture did not come back after the phone returned"
bands_shown || fail "the picture that came back is not the phone's"

step "closing orvane"
kill -TERM "$orvane"
rig_wait 15 rig_gone "$orvane" || fail "orvane did not end on SIGTERM"
status=0
wait "$orvane" || status=$?
[ "$status" -eq 0 ] || fail "orvane ended with status $status"

streams=$(ffprobe -v error -show_entries stream=codec_type,codec_name -of csv=p=0 "$recording")
[ "$streams" = $'aac,audio\nh264,video' ] || fail "the recording's streams are not AAC and H.264: $streams"
frames=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets \
  -of csv=p=0 "$recording")
expected=$((recorded_ms * FPS / 1000))
echo "e2e: $frames pictures in a recording of $recorded_ms ms at $FPS a second"
[ "$frames" -ge $((expected * 6 / 10)) ] && [ "$frames" -le $((expected * 12 / 10 + 2)) ] ||
  fail "$frames pictures recorded, about $expected expected"
step "passed"
