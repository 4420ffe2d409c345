#!/usr/bin/env bash
# Renders interlaced clips through fieldrestore.so inside a real frei0r
# host and checks the frames byte for byte against `fieldrestore render`
# of the same pixels with the same settings.
#
#   real_hosts.sh HOST FIELDRESTORE PLUGIN_DIR WORK [MLT_RENDER]
#                                     (HOST: ffmpeg, mlt or gstreamer)
#
# Every host hands the plug-in BGRA frames top row first, as the command
# line reads its files: ffmpeg converts to the colour model the plug-in
# declares (BGRA8888) and so needs no conversion for a bgra clip; MLT works
# in RGBA and swaps red and blue on the way in and out; GStreamer
# negotiates BGRA caps. None of them changes a byte, so the frames must be
# equal. MLT (through tests/frei0r/mlt_render.cpp, which renders as melt
# does without the start-up race of melt's avformat consumer) reads the
# clip from an AVI file with a progressive profile of the clip's size, so
# that it neither scales nor deinterlaces on its own; with several render
# threads it makes one plug-in instance per thread, which then run at once.
# ffmpeg pads the rows of frames whose width is not a multiple of 16, so
# such frames go through the filter graph the plug-in's warning gives.
set -euo pipefail
host=$1 fr=$2 plugin_dir=$3 work=$4 mlt_render=${5:-}
rm -rf "$work"
mkdir -p "$work"
cd "$work"
export FREI0R_PATH=$plugin_dir XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
case $host in
  mlt) [ -x "$mlt_render" ] || { echo "no MLT host: install libmlt-dev (scripts/bootstrap)" >&2; exit 1; } ;;
  *) command -v "${host/gstreamer/gst-launch-1.0}" >/dev/null ||
       { echo "$host is not installed: run scripts/bootstrap" >&2; exit 1; } ;;
esac

failed=0
# label, width, height, frei0r parameters in order (ffmpeg's list), the
# same as name=value pairs, and the command line's settings and options.
# ffmpeg's filter graph is $before, the filter, $after.
check() {
  local label=$1 w=$2 h=$3 list=$4 pairs=$5 settings=$6 options=$7
  "$fr" sample --width "$w" --height "$h" --frames "${frames:-3}" in.bgra >/dev/null
  "$fr" settings reset >/dev/null
  local s
  for s in $settings; do "$fr" settings set "${s%=*}" "${s#*=}" >/dev/null; done
  # shellcheck disable=SC2086
  "$fr" render --width "$w" --height "$h" $options in.bgra want.bgra >/dev/null
  rm -f got.bgra
  case $host in
    ffmpeg)
      ffmpeg -v error -y -f rawvideo -pix_fmt bgra -s "${w}x$h" -i in.bgra \
        -vf "${before:-}frei0r=fieldrestore${list:+:$list}${after:-}" \
        -f rawvideo -pix_fmt bgra got.bgra 2>messages.txt ;;
    mlt)
      ffmpeg -v error -y -f rawvideo -pix_fmt bgra -s "${w}x$h" -r 25 -i in.bgra \
        -c:v rawvideo -pix_fmt bgra in.avi
      printf '%s\n' "description=clip" frame_rate_num=25 frame_rate_den=1 "width=$w" "height=$h" \
        progressive=1 sample_aspect_num=1 sample_aspect_den=1 "display_aspect_num=$w" \
        "display_aspect_den=$h" colorspace=601 >profile
      # shellcheck disable=SC2086
      "$mlt_render" profile in.avi got.bgra "${mlt_threads:-1}" frei0r.fieldrestore $pairs ;;
    gstreamer)
      # shellcheck disable=SC2086
      gst-launch-1.0 -q filesrc location=in.bgra \
        ! rawvideoparse width="$w" height="$h" format=bgra framerate=25/1 \
        ! frei0r-filter-fieldrestore ${pairs//_/-} ! filesink location=got.bgra ;;
  esac
  if cmp -s got.bgra want.bgra; then
    echo "$host: $label: same bytes"
  else
    echo "$host: $label: DIFFERENT ($(cmp got.bgra want.bgra 2>&1 | head -n 1))"
    failed=1
  fi
}

check "defaults, 720x576" 720 576 "" "" "" ""
check "advanced method, top field kept, 720x576" 720 576 \
  "1|0.16|0.048|0.0008192|0.1171875|n|y|top" \
  "method=1 replace_threshold=0.1171875 is_search_within_interpolated=1 field=top" \
  "method=5 replace_threshold=30 is_search_within_interpolated=1" "--keep top"
check "defaults, 1920x1080 (extended to 1088 and cropped back)" 1920 1080 "" "" "" ""
check "comb map, 720x576" 720 576 "0.8|0.16|0.048|0.0008192|0|n|n|bottom||y" "show_map=1" "" \
  "--show-map"
if [ "$host" = ffmpeg ]; then
  # ffmpeg pads the rows of a frame 721 pixels wide: the plug-in says so
  # once, with the filter graph that widens the frame by its last column
  # to 736 and crops it back, which gives the command line's bytes.
  failed_so_far=$failed
  check "721x577 as it comes (sheared, not compared)" 721 577 "" "" "" "" >/dev/null
  failed=$failed_so_far
  warning=$(grep -c "frames 721 pixels wide: ffmpeg pads" messages.txt || true)
  recipe=$(grep -o 'pad=[^"]*' messages.txt || true)
  if [ "$warning" = 1 ] && [ "$recipe" = "pad=736:ih,fillborders=right=15:mode=smear,frei0r=fieldrestore,crop=721:ih:0:0" ]; then
    echo "$host: 721x577: the warning names the padding, once"
  else
    echo "$host: 721x577: NO WARNING, or not once ($(cat messages.txt))"
    failed=1
  fi
  before="pad=736:ih,fillborders=right=15:mode=smear," after=",crop=721:ih:0:0" \
    check "721x577 through the padding graph, advanced method, top field" 721 577 \
    "1|0.16|0.048|0.0008192|0.1171875|n|y|top" "" \
    "method=5 replace_threshold=30 is_search_within_interpolated=1" "--keep top"
else
  check "721x577 (extended and cropped back)" 721 577 "1|0.16|0.048|0.0008192|0.1171875|n|y|top" \
    "method=1 replace_threshold=0.1171875 is_search_within_interpolated=1 field=top" \
    "method=5 replace_threshold=30 is_search_within_interpolated=1" "--keep top"
fi
if [ "$host" = mlt ]; then
  # Render threads: MLT gives each thread its own instance of the filter.
  frames=12 mlt_threads=3 check "three render threads, 720x576" 720 576 "" "" "" ""
fi

# The restoring method: in frame order it gives the bytes of `fieldrestore
# render --method restore --previous-only`; GStreamer, which keeps numbers
# within 0 to 1, names the method instead.
restore_top="0=1.2 7=top" restore="0=1.2"
[ "$host" = gstreamer ] && restore_top="method_name=restore field=top" restore="method_name=restore"
frames=6 check "restore, top field kept, 720x576" 720 576 "1.2|0.16|0.048|0.0008192|0|n|n|top" \
  "$restore_top" "" "--method restore --previous-only --keep top"
# (ffmpeg 5.1 hands raw frames of such widths over without their times, so
# there each frame is restored alone: not compared here.)
if [ "$host" != ffmpeg ]; then
  frames=4 check "restore, 721x577" 721 577 "1.2" "$restore" "" "--method restore --previous-only"
fi

# Out of order (MLT seeking as an editor's preview does, and one instance
# per render thread taking every other frame): each frame must be either
# the frame rendered alone or rendered after the frame before it, that
# one only when the instance had it just before.
if [ "$host" = mlt ]; then
  w=720 h=576 n=10
  bytes=$((4 * w * h))
  "$fr" sample --width $w --height $h --frames $n in.bgra >/dev/null
  "$fr" render --width $w --height $h --method restore --previous-only in.bgra after.bgra >/dev/null
  for ((i = 0; i < n; i++)); do
    dd if=in.bgra of=one.bgra bs=$bytes skip=$i count=1 status=none
    "$fr" render --width $w --height $h --method restore one.bgra alone.$i >/dev/null
    dd if=after.bgra of=after.$i bs=$bytes skip=$i count=1 status=none
  done
  ffmpeg -v error -y -f rawvideo -pix_fmt bgra -s "${w}x$h" -r 25 -i in.bgra \
    -c:v rawvideo -pix_fmt bgra in.avi
  printf '%s\n' "description=clip" frame_rate_num=25 frame_rate_den=1 "width=$w" "height=$h" \
    progressive=1 sample_aspect_num=1 sample_aspect_den=1 "display_aspect_num=$w" \
    "display_aspect_den=$h" colorspace=601 >profile
  # order, threads, and for a single thread the form each frame must take
  # (a: after the frame before, 1: alone); several threads: either.
  seek() {
    local label=$1 order=$2 threads=$3 forms=$4 i=0 p ok=1
    ORDER=$order "$mlt_render" profile in.avi got.bgra "$threads" frei0r.fieldrestore 0=1.2
    IFS=, read -ra positions <<<"$order"
    for p in "${positions[@]}"; do
      dd if=got.bgra of=got.one bs=$bytes skip=$i count=1 status=none
      local form=${forms:$i:1}
      if [ "$form" = a ]; then
        cmp -s got.one after.$p || ok=0
      elif [ "$form" = 1 ]; then
        cmp -s got.one alone.$p || ok=0
      else
        cmp -s got.one after.$p || cmp -s got.one alone.$p || ok=0
      fi
      [ $ok = 1 ] || { echo "$host: restore, $label: frame $i (position $p) is neither"; break; }
      i=$((i + 1))
    done
    if [ $ok = 1 ]; then echo "$host: restore, $label: every frame as it must be"; else failed=1; fi
  }
  seek "seeking" 0,1,2,7,8,3,2,4,5,9 1 1aa1a111a1
  seek "three render threads" 0,1,2,3,4,5,6,7,8,9 3 1?????????
fi
exit $failed
