#!/usr/bin/env bash
# lv2apply restores a float WAV with every stage on and must give the command-line tool's float
# output on the same file with the same settings, within 1e-6 of full scale.
#   apply_matches_tool.sh WORKDIR VARNOLT MAKE_SIGNAL COMPARE BUNDLES URI CHANNELS RATE
set -euo pipefail
work=$1 varnolt=$2 make_signal=$3 compare=$4 bundles=$5 uri=$6 channels=$7 rate=$8
mkdir -p "$work"
in="$work/in-$channels-$rate.wav"
"$make_signal" "$in" "$channels" "$rate" 6

# Every stage on, at high quality; the tool's settings and the plug-in's controls name the same
# parameters. The mono plug-in also mixes (its one channel through both sides of the chain).
tool_settings=(--set "Bias/Enabled=1" --set "Dolby B Remover/Enabled=1"
               --set "FM stereo noise filter/Enabled=1" --set "Singleband Compressor/Enabled=1"
               --set "Bias/Auto-adjust left channel amplification=1"
               --set "Dolby B Remover/PC Recording Volume=0.8" --azimuth on --quality high)
controls=(bias_enabled 1 dolby_b_remover_enabled 1 fm_stereo_noise_filter_enabled 1
          singleband_compressor_enabled 1 bias_auto_adjust_left_channel_amplification 1
          dolby_b_remover_pc_recording_volume 0.8 azimuth 1
          plugin_configuration_cpu_usage_quality 0)
if [ "$channels" = 1 ]; then
  tool_settings+=(--mono)
  controls+=(mono 1)
fi

"$varnolt" -q "${tool_settings[@]}" "$in" "$work/tool-$channels-$rate.wav"
apply_controls=()
for ((i = 0; i < ${#controls[@]}; i += 2)); do
  apply_controls+=(-c "${controls[i]}" "${controls[i + 1]}")
done
LV2_PATH="$bundles" lv2apply -i "$in" -o "$work/lv2-$channels-$rate.wav" "${apply_controls[@]}" "$uri"
"$compare" "$bundles" "$uri" "$work/tool-$channels-$rate.wav" "$work/lv2-$channels-$rate.wav" 1e-6 \
           "${controls[@]}"
