#!/usr/bin/env bash
# Every include of ours points down the layers: settings, async (tasks and
# time), failure (the kinds) and naming (COM map, locks, addresses) at the
# bottom, tls above failure and naming, link (the port's layers) above those,
# protocol above link, app and cli on top and never each other, sim on its
# own. Prints each include that points up or sideways.
#   layers_test.sh SRC_FOLDER
set -euo pipefail
src=$1
declare -A allowed=(
    [settings]="settings"
    [async]="async"
    [failure]="failure"
    [naming]="naming"
    [tls]="tls failure naming"
    [link]="link async failure naming tls"
    [protocol]="protocol link async failure naming settings"
    [app]="app protocol link async failure naming tls settings"
    [cli]="cli protocol link async failure naming tls settings"
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
