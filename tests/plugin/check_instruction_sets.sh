#!/bin/bash
# The plug-in loads and runs on a processor with MMX and nothing newer: SSE
# and AVX registers appear only in the SSE2 and AVX2 kernels and in the
# functions that register them, which run only once the processor has said
# it has those, and MMX registers only in the MMX kernels (which end with
# EMMS) and those that call them inline. The MMX forms stay in the file as
# the fallback.
#
# usage: check_instruction_sets.sh OBJDUMP PLUGIN
set -euo pipefail
objdump=$1 plugin=$2

# "function<TAB>register set" for every function that uses MMX, SSE or AVX
# registers (sections that objdump shows as code but hold data are skipped).
uses=$("$objdump" -d -C --no-show-raw-insn "$plugin" | awk '
  /^[0-9a-f]+ <.*>:$/ { fn = substr($0, index($0, "<") + 1); sub(/>:$/, "", fn); next }
  fn ~ /^\./ { next }
  /%[xy]mm[0-9]/ { print fn "\tsse"; next }
  /%mm[0-7]/ { print fn "\tmmx" }' | sort -u)

status=0
while IFS=$'\t' read -r fn set; do
  [ -n "$fn" ] || continue
  case $set in
    sse) [[ $fn =~ (Sse2|Avx2) ]] || { echo "SSE/AVX registers outside the SSE2 and AVX2 kernels: $fn"; status=1; } ;;
    mmx) [[ $fn =~ Mmx ]] || { echo "MMX registers outside the MMX kernels: $fn"; status=1; } ;;
  esac
done <<<"$uses"

for kernel in DetectInterlaceMmx InterpolateLumaMmx BlockDistanceMmx RowToBgraMmx; do
  grep -q "$kernel" <<<"$uses" || { echo "the MMX fallback $kernel is missing"; status=1; }
done
for kernel in DetectInterlaceSse2 InterpolateLumaSse2 BlockDistance16x8Sse2 BgraRowsToYv12Sse2; do
  grep -q "$kernel" <<<"$uses" || { echo "the SSE2 form $kernel is missing"; status=1; }
done
[ $status = 0 ] && echo "$(grep -c . <<<"$uses") functions use MMX, SSE or AVX registers, each a kernel of its set"
exit $status
