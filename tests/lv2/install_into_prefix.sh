#!/usr/bin/env bash
# `cmake --install BUILD --component lv2 --prefix PREFIX` puts the bundle into PREFIX/lib/lv2
# (or into VARNOLT_LV2_DIR where the build set one), where a host finds both plug-ins. Staged
# under DESTDIR in a scratch folder, so nothing lands outside it whatever the code does.
#   install_into_prefix.sh CMAKE LV2LS BUILD VARNOLT_LV2_DIR
set -euo pipefail
cmake=$1 lv2ls=$2 build=$3 chosen_dir=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for prefix in /opt/varnolt /usr; do
  stage="$work/stage${prefix//\//-}"
  DESTDIR="$stage" "$cmake" --install "$build" --component lv2 --prefix "$prefix" >/dev/null
  folder="$stage${chosen_dir:-$prefix/lib/lv2}"
  for file in varnolt.so manifest.ttl varnolt.ttl; do
    if [ ! -f "$folder/varnolt.lv2/$file" ]; then
      echo "--prefix $prefix: no $folder/varnolt.lv2/$file; installed:" >&2
      find "$stage" -type f >&2
      exit 1
    fi
  done
  found=$(LV2_PATH="$folder" "$lv2ls")
  for uri in https://tolvane.example/varnolt/lv2/stereo https://tolvane.example/varnolt/lv2/mono; do
    if ! grep -qx "$uri" <<<"$found"; then
      echo "--prefix $prefix: a host does not find $uri in $folder" >&2
      exit 1
    fi
  done
  echo "--prefix $prefix: the bundle is in $folder"
done
