#!/usr/bin/env bash
# The 256x144 background-removal model embedded in the studio program: the landscape selfie
# segmentation graph of the npm package @mediapipe/selfie_segmentation (Apache-2.0), converted
# to ONNX by scripts/matting_model.py, which checks the result against the original graph.
# Kept in .deps/matting, never committed. No model is fetched for the 512x288 row.
set -euo pipefail
trap 'echo "setup (matting model): failed (exit $?) at line $LINENO: $BASH_COMMAND" >&2' ERR
root=$1 deps=$2
out="$deps/matting"
mkdir -p "$out"

package_version=0.1.1675465747
package_sha=7767b33eaa68990ee06c28bbb89f39a13a47ebb07ff0f1fd4947d9e817bb9bf9
graph=selfie_segmentation_landscape.tflite
graph_sha=4aafe6223bb8dac6fac8ca8ed56852870a33051ef3f6238822d282a109962894
model="$out/matting-256x144.onnx"
converter="$root/scripts/matting_model.py"

if ! echo "$graph_sha  $out/$graph" | sha256sum -c --quiet - >/dev/null 2>&1; then
  fetch_npm_file "@mediapipe/selfie_segmentation@$package_version" "$package_sha" "$graph" \
    "$out/$graph.part"
  echo "$graph_sha  $out/$graph.part" | sha256sum -c --quiet - || {
    rm -f "$out/$graph.part"
    echo "setup: $graph has the wrong checksum" >&2
    exit 1
  }
  mv "$out/$graph.part" "$out/$graph"
fi

# Converted again whenever the converter changes; a failed check leaves no model behind.
if [ ! -f "$model" ] || [ "$converter" -nt "$model" ]; then
  rm -f "$model"
  /usr/bin/python3 "$converter" "$out/$graph" "$model.part" || {
    rm -f "$model.part"
    echo "setup: the matting model could not be converted (see above)" >&2
    exit 1
  }
  mv "$model.part" "$model"
fi
