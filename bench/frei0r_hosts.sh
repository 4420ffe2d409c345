#!/usr/bin/env bash
# Frames per second of one interlaced clip through ffmpeg with the frei0r
# plug-in and through `fieldrestore render`, both file to file, with the
# default settings: wall-clock and CPU (user + system) figures. Needs a
# native build. Private settings, never the user's.
#
#   bench/frei0r_hosts.sh [WIDTH HEIGHT FRAMES]     (default 720 576 100)
set -euo pipefail
cd "$(dirname "$0")/.."
w=${1:-720} h=${2:-576} n=${3:-100}
bin=$PWD/build/native/bin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state FREI0R_PATH=$bin
"$bin/fieldrestore" sample --width "$w" --height "$h" --frames "$n" "$work/in.bgra" >/dev/null

measure() {  # label, command...
  local label=$1
  shift
  /usr/bin/time -o "$work/time" -f "%e %U %S" "$@" >/dev/null 2>&1
  read -r wall user sys <"$work/time"
  awk -v l="$label" -v n="$n" -v e="$wall" -v u="$user" -v s="$sys" \
    'BEGIN { printf "%-28s %7.1f fps wall (%.2f s), %7.1f fps CPU (%.2f s)\n", l, n / e, e, n / (u + s), u + s }'
}
echo "${w}x$h, $n frames, load $(cut -d' ' -f1-3 /proc/loadavg)"
measure "fieldrestore render" "$bin/fieldrestore" render --width "$w" --height "$h" \
  "$work/in.bgra" "$work/cli.bgra"
measure "ffmpeg -vf frei0r=fieldrestore" ffmpeg -v error -y -f rawvideo -pix_fmt bgra \
  -s "${w}x$h" -i "$work/in.bgra" -vf frei0r=fieldrestore -f rawvideo "$work/ffmpeg.bgra"
measure "ffmpeg alone (no filter)" ffmpeg -v error -y -f rawvideo -pix_fmt bgra \
  -s "${w}x$h" -i "$work/in.bgra" -f rawvideo "$work/copy.bgra"
cmp -s "$work/cli.bgra" "$work/ffmpeg.bgra" && echo "both renders: same bytes"
