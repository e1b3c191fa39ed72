# Shared by the end-to-end test and the app benchmark (source it): a private X display, the local backend,
# a profile of velmoria's own in a scratch folder with a dummy app on its block list, velmoria in it, and
# the steps a user takes, through xdotool. Helpers say what went wrong on stderr and return non-zero.
# Everything started here is ended by e2e_cleanup, by process id.

E2E_PIDS=()
E2E_EMAIL="ada@example.com"
E2E_DUMMY_ID="velmoria-e2e-dummy"
E2E_SCREEN_WIDTH=1280
E2E_SCREEN_HEIGHT=1024

e2e_say() { echo "e2e: $*" >&2; }

# Tools the run needs; exits 77 (skip) naming the first one missing.
e2e_require_tools() {
  local tool
  for tool in Xvfb xdotool xprop import curl /usr/bin/python3 "$@"; do
    if ! command -v "$tool" >/dev/null; then
      e2e_say "SKIP: $tool is not installed (scripts/setup installs it)"
      exit 77
    fi
  done
}

e2e_cleanup() {
  local i pid
  for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
    pid="${E2E_PIDS[i]}"
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  E2E_PIDS=()
}

# Waits up to `seconds` for `command...` to succeed, trying every 0.1 s.
e2e_wait_for() {
  local seconds="$1"
  shift
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

# Alive and not a zombie (a killed process stays one until its parent reaps it).
e2e_alive() {
  local stat
  stat="$(cat "/proc/$1/stat" 2>/dev/null)" || return 1
  stat="${stat##*) }"
  [[ -n $stat && ${stat:0:1} != Z && ${stat:0:1} != X ]]
}
e2e_dead() { ! e2e_alive "$1"; }

# An X server of our own: sets DISPLAY.
e2e_start_display() {
  local work="$1"
  : >"$work/display"
  Xvfb -displayfd 3 -screen 0 "${E2E_SCREEN_WIDTH}x${E2E_SCREEN_HEIGHT}x24" -nolisten tcp -noreset \
    3>"$work/display" >"$work/xvfb.log" 2>&1 &
  E2E_PIDS+=($!)
  e2e_wait_for 20 test -s "$work/display" || {
    e2e_say "Xvfb did not start: $(tail -3 "$work/xvfb.log")"
    return 1
  }
  export DISPLAY=":$(head -n1 "$work/display")"
  unset WAYLAND_DISPLAY
}

# The local backend on a free port: sets E2E_URL, E2E_KEY and E2E_BACKEND_LOG.
e2e_start_backend() {
  local backend="$1" work="$2"
  E2E_BACKEND_LOG="$work/local-backend.log"
  "$backend" </dev/null >"$E2E_BACKEND_LOG" 2>&1 &
  E2E_PIDS+=($!)
  e2e_wait_for 20 grep -q '^key: ' "$E2E_BACKEND_LOG" || {
    e2e_say "the local backend did not start: $(tail -3 "$E2E_BACKEND_LOG")"
    return 1
  }
  E2E_URL="$(sed -n 's/^URL: //p' "$E2E_BACKEND_LOG" | head -n1)"
  E2E_KEY="$(sed -n 's/^key: //p' "$E2E_BACKEND_LOG" | head -n1)"
}

# A profile with the dummy app installed and on the block list: sets E2E_PROFILE.
e2e_make_profile() {
  local work="$1" dummy="$2" built_info="$3"
  E2E_PROFILE="$work/profile"
  mkdir -p "$E2E_PROFILE/config/velmoria" "$E2E_PROFILE/data/applications" "$E2E_PROFILE/cache"
  mkdir -p -m 0700 "$E2E_PROFILE/runtime"
  printf '[Desktop Entry]\nType=Application\nName=E2E Dummy\nExec=%s\n' "$dummy" \
    >"$E2E_PROFILE/data/applications/$E2E_DUMMY_ID.desktop"
  printf '{"mac.blockedBundleIDs": ["%s"]}\n' "$E2E_DUMMY_ID" >"$E2E_PROFILE/config/velmoria/standard.json"
  "$E2E_REPO/scripts/write-info" "$E2E_URL" "$E2E_KEY" "$E2E_PROFILE/Info.json" "$built_info"
}

# velmoria in the profile (its own XDG folders, no session bus, so the keychain lives in files): sets
# E2E_APP_PID and E2E_WINDOW (its main window). With E2E_TRACE set, its blocking engine traces what it sees
# and does into its output.
e2e_start_app() {
  local app="$1" work="$2"
  env -u DBUS_SESSION_BUS_ADDRESS -u SESSION_MANAGER QT_QPA_PLATFORM=xcb ${E2E_TRACE:+VELMORIA_TRACE=1} \
    XDG_CONFIG_HOME="$E2E_PROFILE/config" XDG_DATA_HOME="$E2E_PROFILE/data" \
    XDG_RUNTIME_DIR="$E2E_PROFILE/runtime" XDG_CACHE_HOME="$E2E_PROFILE/cache" \
    XDG_DATA_DIRS="$E2E_PROFILE/system-data" VELMORIA_INFO="$E2E_PROFILE/Info.json" \
    "$app" >"$work/velmoria.log" 2>&1 &
  E2E_APP_PID=$!
  E2E_PIDS+=("$E2E_APP_PID")
  E2E_WINDOW=""
  e2e_wait_for 30 e2e_find_main_window || {
    e2e_say "no velmoria window came up: $(tail -5 "$work/velmoria.log")"
    return 1
  }
}

# Width and height of a window.
e2e_window_size() { xdotool getwindowgeometry --shell "$1" 2>/dev/null | sed -n 's/^\(WIDTH\|HEIGHT\)=//p' | xargs; }

# The visible windows of velmoria, one "id width height" a line.
e2e_app_windows() {
  local id
  for id in $(xdotool search --onlyvisible --pid "$E2E_APP_PID" 2>/dev/null); do
    echo "$id $(e2e_window_size "$id")"
  done
}

e2e_find_main_window() {
  local id width height
  while read -r id width height; do
    [[ -z $id ]] && continue
    if ((width < E2E_SCREEN_WIDTH || height < E2E_SCREEN_HEIGHT)) && ((width >= 300 && height >= 300)); then
      E2E_WINDOW="$id"
      return 0
    fi
  done < <(e2e_app_windows)
  return 1
}

# Whether a shield (a screen-filling window of velmoria) is up.
e2e_shield_up() {
  local id width height
  while read -r id width height; do
    [[ -n $id ]] && ((width >= E2E_SCREEN_WIDTH && height >= E2E_SCREEN_HEIGHT)) && return 0
  done < <(e2e_app_windows)
  return 1
}

# Presses Return in the first window of velmoria that is neither the main one nor a shield (an alert).
e2e_answer_alert() {
  local id width height attempt
  while read -r id width height; do
    [[ -z $id || $id == "$E2E_WINDOW" ]] && continue
    ((width >= E2E_SCREEN_WIDTH && height >= E2E_SCREEN_HEIGHT)) && continue
    # Without a window manager a key can go astray; press again until the alert is gone.
    for attempt in 1 2 3 4 5; do
      xdotool windowfocus --sync "$id" 2>/dev/null || xdotool windowfocus "$id"
      xdotool key Return
      e2e_wait_for 2 e2e_window_gone "$id" && return 0
    done
    e2e_say "the alert stayed up"
    return 1
  done < <(e2e_app_windows)
  return 1
}

e2e_window_gone() { ! e2e_app_windows | grep -q "^$1 "; }

# Fails unless the main window is at least 480 by 640 and tells the window manager it may not be smaller.
e2e_check_window_size() {
  local size width height hint
  size="$(e2e_window_size "$E2E_WINDOW")"
  read -r width height <<<"$size"
  if [[ -z $width ]] || ((width < 480 || height < 640)); then
    e2e_say "the window is ${width:-?}x${height:-?}, less than 480x640"
    return 1
  fi
  hint="$(xprop -id "$E2E_WINDOW" WM_NORMAL_HINTS 2>/dev/null | sed -n 's/.*minimum size: \([0-9]*\) by \([0-9]*\).*/\1 \2/p')"
  read -r width height <<<"$hint"
  if [[ -z $width ]] || ((width < 480 || height < 640)); then
    e2e_say "the window allows a size of ${width:-any}x${height:-any}, less than 480x640"
    return 1
  fi
}

# Keys typed into the main window as a user would.
e2e_type() {
  xdotool windowfocus --sync "$E2E_WINDOW" 2>/dev/null || xdotool windowfocus "$E2E_WINDOW"
  xdotool type --delay 15 "$1"
}
e2e_key() {
  xdotool windowfocus --sync "$E2E_WINDOW" 2>/dev/null || xdotool windowfocus "$E2E_WINDOW"
  xdotool key "$@"
}

# GET /local/v1/status, one field of it ("signed_in" or "session"), "null" when absent.
e2e_status() {
  curl -fsS "$E2E_URL/local/v1/status" |
    /usr/bin/python3 -c 'import json,sys; v=json.load(sys.stdin).get(sys.argv[1]); print("null" if v is None else json.dumps(v))' "$1"
}
e2e_signed_in() { [[ $(e2e_status signed_in) == "\"$E2E_EMAIL\"" ]]; }

# POST /local/v1/start or /local/v1/stop.
e2e_control() {
  local answer
  answer="$(curl -sS -X POST -w ' %{http_code}' "$E2E_URL/local/v1/$1" ${2:+-H 'Content-Type: application/json' -d "$2"})"
  case "$answer" in
    *" 200" | *" 201") return 0 ;;
  esac
  e2e_say "POST /local/v1/$1 answered: $answer"
  return 1
}

# Types the address, reads the code the backend printed, types it: signed in when the backend says so.
# With a file name, a screenshot of the code step goes there.
e2e_sign_in() {
  local code_shot="${1:-}"
  e2e_type "$E2E_EMAIL"
  e2e_key Return
  e2e_wait_for 20 grep -q "^code for $E2E_EMAIL: " "$E2E_BACKEND_LOG" || {
    e2e_say "no code was asked for"
    return 1
  }
  E2E_CODE="$(sed -n "s/^code for $E2E_EMAIL: //p" "$E2E_BACKEND_LOG" | tail -n1)"
  # The code step comes up once the answer is in; a loaded machine may take a while to show it, and a code
  # typed before that lands in the address field.
  sleep 3
  e2e_type "$E2E_CODE"
  [[ -n $code_shot ]] && e2e_screenshot "$code_shot"
  e2e_key Return
  e2e_wait_for 20 e2e_signed_in || {
    e2e_say "the code did not sign in"
    return 1
  }
}

# Starts the dummy app, not as a child of this shell (which would report each kill): sets E2E_DUMMY_PID and
# adds it to E2E_DUMMY_PIDS.
E2E_DUMMY_PIDS=()
e2e_launch_dummy() {
  E2E_DUMMY_PID="$(/bin/sh -c '"$0" </dev/null >/dev/null 2>&1 & echo $!' "$1")"
  E2E_PIDS+=("$E2E_DUMMY_PID")
  E2E_DUMMY_PIDS+=("$E2E_DUMMY_PID")
}

# From velmoria's output, what its blocking engine's trace says of the dummy apps, the kills, launches and
# activations, blocking going on and off, and polls that came late.
e2e_trace_summary() {
  local pids
  pids="$(IFS='|'; echo "${E2E_DUMMY_PIDS[*]:-none}")"
  grep -E "^velmoria-trace .*(pid ($pids)\b|blocking o|kill of|launch of|activation of|ms after the last)" "$1" |
    tail -n 150
}

# A picture of the whole screen, as PNG.
e2e_screenshot() {
  import -display "$DISPLAY" -window root "$1" 2>/dev/null || e2e_say "no screenshot $1"
}

# Seconds of CPU time a process has used (user and system), and its resident size in KiB.
e2e_cpu_seconds() {
  /usr/bin/python3 - "$1" <<'PY'
import os, sys
with open(f"/proc/{sys.argv[1]}/stat") as f:
    fields = f.read().rsplit(")", 1)[1].split()
print((int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK"))
PY
}
e2e_rss_kib() { sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$1/status"; }
