#!/usr/bin/env bash
# Every include of ours points down the layers: settings and link at the
# bottom, protocol above them, app and cli on top and never each other, sim on
# its own. Prints each include that points up or sideways.
#   layers_test.sh SRC_FOLDER
set -euo pipefail
src=$1
declare -A allowed=(
    [settings]="settings"
    [link]="link"
    [protocol]="protocol link settings"
    [app]="app protocol link settings"
    [cli]="cli protocol link settings"
    [sim]="sim"
)
bad=0
checked=0
for layer in "${!allowed[@]}"; do
    [[ -d $src/$layer ]] || { echo "FAIL: no folder $src/$layer"; exit 1; }
    while IFS=: read -r file line include; do
        target=$(sed -E 's/.*#include[[:space:]]+"([a-z]+)\/.*/\1/' <<<"$include")
        checked=$((checked + 1))
        if [[ " ${allowed[$layer]} " != *" $target "* ]]; then
            echo "FAIL: $file:$line includes $target/ from $layer/"
            bad=$((bad + 1))
        fi
    done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z]+/' "$src/$layer")
done
((checked > 0)) || { echo "FAIL: no include found"; exit 1; }
echo "layers: $checked includes checked, $bad point the wrong way"
((bad == 0))
