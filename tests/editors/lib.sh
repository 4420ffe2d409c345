# Shared by the editors' test (editors.sh) and the script that drives the
# editors to make its fixtures and the README's pictures (drive-editors).
# Sourced, not run.

# editor_env WORK PREFIX: a private home, temporary and XDG folders under
# WORK (Kdenlive keeps a lock in TMPDIR and stops at a dialog when a killed
# run left one), and the build installed in PREFIX as the editors find it:
# the plug-in through FREI0R_PATH, the Kdenlive effect through XDG_DATA_DIRS.
editor_env() {
  export HOME=$1/home TMPDIR=$1/tmp XDG_RUNTIME_DIR=$1/run
  export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share
  export XDG_CACHE_HOME=$HOME/.cache XDG_STATE_HOME=$HOME/.local/state
  export XDG_DATA_DIRS=$2/share:/usr/share FREI0R_PATH=$2/lib/frei0r-1
  rm -rf "$HOME" "$TMPDIR" "$XDG_RUNTIME_DIR"
  mkdir -p "$HOME" "$TMPDIR" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME"
  chmod 700 "$XDG_RUNTIME_DIR"
}

# make_clip FIELDRESTORE DIR: DIR/in.bgra, 10 interlaced 720x576 frames, and
# DIR/clip.mkv holding them losslessly (FFV1, BGRA) as a PAL DV clip flagged
# interlaced, top field first, so that MLT treats it as an interlaced clip.
# The file is the same byte for byte on every run (bitexact: no random
# identifiers), so Kdenlive finds the clip of its saved projects unchanged.
make_clip() {
  "$1" sample --width 720 --height 576 --frames 10 "$2/in.bgra" >/dev/null
  ffmpeg -v error -y -f rawvideo -pix_fmt bgra -s 720x576 -r 25 -i "$2/in.bgra" \
    -c:v ffv1 -pix_fmt bgra -aspect 4:3 -field_order tt -flags +ilme+ildct+bitexact \
    -fflags +bitexact "$2/clip.mkv"
}

# shotcut_tree PREFIX DIR: Shotcut reads filters only from
# <its binary>/../share/shotcut/qml/filters, so DIR gets a copy of the binary
# and a share/ of links to Shotcut's own files plus the filter of PREFIX.
shotcut_tree() {
  local filters=$2/share/shotcut/qml/filters e
  rm -rf "$2"
  mkdir -p "$2/bin" "$filters"
  cp /usr/bin/shotcut "$2/bin/"
  for e in /usr/share/shotcut/*; do [ "${e##*/}" = qml ] || ln -s "$e" "$2/share/shotcut/"; done
  for e in /usr/share/shotcut/qml/*; do [ "${e##*/}" = filters ] || ln -s "$e" "$2/share/shotcut/qml/"; done
  for e in /usr/share/shotcut/qml/filters/*; do ln -s "$e" "$filters/"; done
  ln -s "$1/share/shotcut/qml/filters/fieldrestore" "$filters/"
}

# wait_for SECONDS COMMAND...: polls COMMAND every half second.
wait_for() {
  local limit=$(($1 * 2))
  shift
  for ((i = 0; i < limit; i++)); do
    "$@" && return 0
    sleep 0.5
  done
  return 1
}

# stop_process PID: ends a process this script started, and waits for it.
stop_process() {
  kill "$1" 2>/dev/null || return 0
  wait_for 10 eval "! kill -0 $1 2>/dev/null" || kill -9 "$1" 2>/dev/null
  wait "$1" 2>/dev/null || true
}

# place_project FILE DIR: FILE copied into DIR with its clip looked for in DIR
# (the editors saved it with the clip beside it, under another path).
place_project() {
  sed -e "s|root=\"[^\"]*\"|root=\"$2\"|" "$1" >"$2/${1##*/}"
}
