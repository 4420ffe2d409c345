#!/usr/bin/env bash
# fieldrestore in Kdenlive and Shotcut, the editors themselves, on a
# virtual display of its own:
# - Kdenlive, opening a project that holds the effect, reads our description
#   (its log: 10 parameters parsed for frei0r.fieldrestore; its generated
#   panel would have 8), and Shotcut adds our filter (its log);
# - the projects these editors saved (fixtures/, made by drive-editors)
#   render as `melt PROJECT in=0 out=N` renders them, through the plug-in,
#   with no deinterlacer of MLT's ahead of it even for a progressive output,
#   into exactly the frames that `fieldrestore render` makes of the clip's
#   frames with the settings the editor showed. MLT_RENDER --melt takes
#   melt's place (tests/frei0r/mlt_render.cpp): the same producer, profile
#   and consumer pull on MLT's library, without the start-up race of MLT
#   7.12's avformat consumer, which makes melt write nothing (exit 0) or
#   hang now and then on a loaded machine.
#   editors.sh BUILD WORK MLT_RENDER
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
failed=0
check() {  # LABEL COMMAND...
  if "${@:2}"; then echo "editors: $1: yes"; else echo "editors: $1: NO"; failed=1; fi
}
if [ "$1" = --editors ]; then
  work=$2 prefix=$2/prefix
else
  build=$1 work=$2 prefix=$2/prefix mlt_render=${3:-}
  [ -x "$mlt_render" ] || { echo "no MLT host: install libmlt-dev (scripts/bootstrap)" >&2; exit 1; }
  rm -rf "$work"
  mkdir -p "$work"
  cmake --install "$build" --prefix "$prefix" >/dev/null
  make_clip "$prefix/bin/fieldrestore" "$work"
  "$here/../../scripts/with-xvfb" --screen 1600x1000 dbus-run-session -- "$0" --editors "$work" \
    2> >(grep -v 'fd limit' >&2) || failed=1
fi

if [ "$1" = --editors ]; then
  # Kdenlive: the parameters it parsed for our effect.
  editor_env "$work/kdenlive" "$prefix"
  place_project "$here/fixtures/kdenlive.kdenlive" "$work"
  QT_LOGGING_RULES="*.debug=true;qt.*.debug=false;kf.*.debug=false" \
    kdenlive "$work/kdenlive.kdenlive" >"$work/kdenlive.log" 2>&1 &
  pid=$!
  parsed='END parsing of  "frei0r.fieldrestore" . Number of found parameters'
  # A clip that differs from the one the project was saved with (another
  # ffmpeg) makes Kdenlive ask first: Return takes its default, reload.
  if ! wait_for 40 grep -q "$parsed" "$work/kdenlive.log"; then
    xdotool key Return
    wait_for 60 grep -q "$parsed" "$work/kdenlive.log" || true
  fi
  stop_process $pid
  count=$(grep -o "$parsed [0-9]*" "$work/kdenlive.log" | head -n 1 | grep -o '[0-9]*$' || true)
  check "Kdenlive parses frei0r.fieldrestore with 10 parameters (${count:-none})" test "${count:-0}" = 10

  # Shotcut: the filter it added.
  editor_env "$work/shotcut" "$prefix"
  shotcut_tree "$prefix" "$work/shotcut/app"
  cp "$here/fixtures/shotcut.mlt" "$work/"
  "$work/shotcut/app/bin/shotcut" --noupgrade --appdata "$work/shotcut/data" "$work/shotcut.mlt" \
    >"$work/shotcut.out" 2>&1 &
  pid=$!
  added='added filter "Deinterlace (fieldrestore)"'
  wait_for 90 grep -q "$added" "$work/shotcut/data/shotcut-log.txt" 2>/dev/null || true
  stop_process $pid
  check "Shotcut adds the filter" grep -q "$added" "$work/shotcut/data/shotcut-log.txt"
  exit $failed
fi

# The saved projects rendered as melt renders them, frames 0 to N-1 (a
# Kdenlive project ends with a long black track), against `fieldrestore
# render`. A render that hangs (MLT's own deinterlacer, when it runs on this
# clip, can) fails after two minutes.
export FREI0R_PATH=$prefix/lib/frei0r-1 XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
fr=$prefix/bin/fieldrestore
render() {  # PROJECT FRAMES SETTINGS OPTIONS
  local project=$1 frames=$2 s log=$work/${1%.*}.render.log
  place_project "$here/fixtures/$project" "$work"
  rm -f "$work/got.bgra"
  local status=0
  timeout 120 "$mlt_render" --melt -debug "$work/$project" in=0 out=$((frames - 1)) \
    -consumer "avformat:$work/got.bgra" f=rawvideo vcodec=rawvideo pix_fmt=bgra an=1 \
    progressive=1 >"$log" 2>&1 || status=$?
  check "$project: renders (exit status $status)" test $status = 0
  check "$project: the plug-in is loaded" \
    eval "grep -q '\[filter frei0r.fieldrestore\]' '$log' && ! grep -q 'failed to load filter' '$log'"
  check "$project: no deinterlacer of MLT's works before it" \
    eval "! grep -E '\[filter (deinterlace|avdeinterlace|yadif)\].* prog 0' '$log' | grep -q ."
  "$fr" settings reset >/dev/null
  for s in $3; do "$fr" settings set "${s%=*}" "${s#*=}" >/dev/null; done
  head -c $((frames * 720 * 576 * 4)) "$work/in.bgra" >"$work/in-part.bgra"
  # shellcheck disable=SC2086
  "$fr" render --width 720 --height 576 $4 "$work/in-part.bgra" "$work/want.bgra" >/dev/null
  check "$project: the frames of fieldrestore render ($3 $4)" cmp -s "$work/got.bgra" "$work/want.bgra"
}
render kdenlive.kdenlive 9 \
  "method=5 block_distance_threshold=30000 replace_threshold=30 is_search_within_interpolated=1" \
  "--keep top"
# Saved with Kdenlive's generated panel: index properties, the threshold it
# wrote as 0.000819, and "0" for the rect file.
render kdenlive-generated.kdenlive 9 "block_distance_threshold=8190" ""
render shotcut.mlt 10 "interlace_threshold=30 block_distance_threshold=20000" "--show-map"
# The restoring method is offered in both panels and stored as 1.2; the
# plug-in restores from the frames before each frame, which MLT hands it in
# order.
render kdenlive-restore.kdenlive 9 \
  "block_distance_threshold=30000 replace_threshold=30 is_search_within_interpolated=1" \
  "--method restore --previous-only --keep top"
render shotcut-restore.mlt 10 "interlace_threshold=30 block_distance_threshold=20000" \
  "--method restore --previous-only --show-map"
for project in kdenlive-restore.kdenlive shotcut-restore.mlt; do
  check "$project: method stored as 1.2" \
    grep -q '<property name="0">1.2</property>' "$here/fixtures/$project"
done
exit $failed
