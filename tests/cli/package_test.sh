#!/usr/bin/env bash
# Builds the Debian packages from a build folder into a temporary folder and
# checks each one: its fields, lintian's verdict, its files, that its program
# runs from the unpacked tree, the window's desktop file and AppStream
# metainfo, and that the command-line tool and the emulator neither load nor
# depend on a GUI library.
#   package_test.sh BUILD_FOLDER VERSION
set -euo pipefail

build=$(cd "$1" && pwd)
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in lintian appstreamcli desktop-file-validate; do
    command -v $tool >/dev/null || fail "$tool is not installed (scripts/install-deps installs it)"
done
id=org.example.qm240lx_setup

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
found=$(cd "$work/out" && ls -- *.deb | LC_ALL=C sort | tr '\n' ' ')
arch=$(dpkg --print-architecture)
expected="qm240lx-setup_${version}_$arch.deb qm240lx-sim_${version}_$arch.deb qm240lx_${version}_$arch.deb "
[[ $found == "$expected" ]] || fail "expected the packages $expected, found: $found"

# package: the Depends it must name, those it must not, and the files beyond
# its program, manual page, copyright and changelog.
declare -A needs=(
    [qm240lx-setup]="libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6serialport6 qt6-qpa-plugins fonts-wine"
    [qm240lx]="libqt6core6 libqt6network6 libqt6serialport6"
    [qm240lx-sim]="libqt6core6")
declare -A shuns=(
    [qm240lx-setup]=""
    [qm240lx]="libqt6gui6 libqt6widgets6 qt6-qpa-plugins fonts-wine"
    [qm240lx-sim]="libqt6gui6 libqt6widgets6 libqt6network6 libqt6serialport6 qt6-qpa-plugins fonts-wine")
collection=usr/share/ansible/collections/ansible_collections/qm240lx/adapters
declare -A extras=(
    [qm240lx-setup]="usr/share/applications/$id.desktop
usr/share/metainfo/$id.metainfo.xml
usr/share/icons/hicolor/16x16/apps/qm240lx-setup.png
usr/share/icons/hicolor/32x32/apps/qm240lx-setup.png"
    [qm240lx]="usr/share/bash-completion/completions/qm240lx
usr/share/zsh/vendor-completions/_qm240lx
usr/share/fish/vendor_completions.d/qm240lx.fish
$collection/FILES.json
$collection/MANIFEST.json
$collection/README.md
$collection/meta/runtime.yml
$collection/playbooks/adapters.yml
$collection/plugins/doc_fragments/adapters.py
$collection/plugins/module_utils/tool.py
$collection/plugins/modules/info.py
$collection/plugins/modules/profile.py
$collection/tests/sanity/ignore-2.14.txt"
    [qm240lx-sim]="")

# Each package's summary line, to the package that has it.
declare -A summaries=()

names() { [[ ",$1," == *[\ ,]$2[\ ,]* ]]; }

check_fields() {
    local deb=$1 package=$2 field value dependency
    for field in "Package=$package" "Version=$version" "Section=utils" "Source=qm240lx-setup"; do
        value=$(dpkg-deb --field "$deb" "${field%%=*}")
        [[ $value == "${field#*=}" ]] || fail "$package: ${field%%=*} is '$value'"
    done
    [[ -n $(dpkg-deb --field "$deb" Maintainer) ]] || fail "$package: no Maintainer"
    value=$(dpkg-deb --field "$deb" Description)
    value=${value%%$'\n'*}
    [[ -z ${summaries[$value]:-} ]] ||
        fail "$package has the summary of ${summaries[$value]}: $value"
    summaries[$value]=$package
    value=$(dpkg-deb --field "$deb" Depends)
    for dependency in ${needs[$package]}; do
        names "$value" "$dependency" || fail "$package: Depends lacks $dependency: $value"
    done
    for dependency in ${shuns[$package]}; do
        ! names "$value" "$dependency" || fail "$package: Depends names $dependency: $value"
    done
}

# lintian's errors and warnings fail a package; its informational notes do not.
check_lintian() {
    local deb=$1 package=$2 log=$work/lintian-$2.log
    lintian --fail-on error,warning "$deb" >"$log" 2>&1 ||
        { cat "$log" >&2; fail "$package: lintian reports errors or warnings"; }
    ! grep -E '^[EW]: ' "$log" >&2 || fail "$package: lintian reports errors or warnings"
}

check_files() {
    local deb=$1 package=$2 root=$work/root-$2 files listed
    dpkg-deb -x "$deb" "$root"
    files=$(cd "$root" && find . -type f -printf '%P\n' | sort)
    listed=$(printf '%s\n' "usr/bin/$package" "usr/share/man/man1/$package.1.gz" \
        "usr/share/doc/$package/copyright" "usr/share/doc/$package/changelog.gz" \
        ${extras[$package]} | sort)
    [[ $files == "$listed" ]] || fail "$package holds:"$'\n'"$files"$'\n'"expected:"$'\n'"$listed"
    grep -qx 'License: Expat' "$root/usr/share/doc/$package/copyright" ||
        fail "$package: the copyright file does not grant the MIT (Expat) licence"
    zcat "$root/usr/share/man/man1/$package.1.gz" | grep -q '^\.TH ' ||
        fail "$package: no manual page"
    zcat "$root/usr/share/doc/$package/changelog.gz" | grep -q "^qm240lx-setup ($version)" ||
        fail "$package: the changelog lacks $version"
    output=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/$package" --version 2>&1) ||
        fail "$package --version failed: $output"
    [[ $output == "$package $version" ]] || fail "$package --version said '$output'"
}

# lintian checks the icons' sizes against their folders. validate-tree also
# finds the desktop file by the metainfo's id; any note at all fails.
check_desktop_file() {
    local root=$work/root-qm240lx-setup line report
    for line in Exec=qm240lx-setup Icon=qm240lx-setup; do
        grep -qx "$line" "$root/usr/share/applications/$id.desktop" ||
            fail "the desktop file lacks $line"
    done
    report=$(desktop-file-validate "$root/usr/share/applications/$id.desktop" 2>&1) &&
        [[ -z $report ]] || fail "desktop-file-validate: $report"
    report=$(LC_ALL=C.UTF-8 appstreamcli validate-tree --pedantic --no-net "$root" 2>&1) &&
        [[ $report == "✔ Validation was successful." ]] || fail "appstreamcli: $report"
}

# The metainfo's release is the package's version, dated as in the changelog.
check_release() {
    local date
    date=$(dpkg-parsechangelog -l "$(dirname "$0")/../../packaging/changelog" -S Date)
    date=$(date -u -d "$date" +%F)
    grep -q "<release version=\"$version\" date=\"$date\"/>" \
        "$work/root-qm240lx-setup/usr/share/metainfo/$id.metainfo.xml" ||
        fail "the metainfo lacks the release $version of $date"
}

# Neither the tool nor the emulator may load a GUI library, directly or
# through another library: ldd lists the whole tree, objdump what the
# program itself names.
check_no_gui() {
    local program=$work/root-$1/usr/bin/$1 loaded
    loaded=$( (objdump -p "$program" | awk '/NEEDED/ {print $2}'; ldd "$program") 2>&1)
    grep -q 'libQt6Core' <<<"$loaded" || fail "$1: no libQt6Core among: $loaded"
    ! grep -E 'libQt6(Gui|Widgets|DBus)' <<<"$loaded" >&2 || fail "$1 loads a GUI library"
}

# The collection is the one of this version, and the short name of earlier
# playbooks leads to its profile module.
check_collection() {
    local root=$work/root-qm240lx link=usr/share/ansible/plugins/modules/qm240lx_profile.py
    grep -q "\"version\": \"$version\"" "$root/$collection/MANIFEST.json" ||
        fail "the Ansible collection is not of version $version"
    [[ $(readlink -f "$root/$link") == "$(readlink -f "$root/$collection/plugins/modules/profile.py")" ]] ||
        fail "$link does not lead to the collection's profile module"
}

for package in qm240lx-setup qm240lx qm240lx-sim; do
    deb=$work/out/${package}_${version}_$arch.deb
    check_fields "$deb" "$package"
    check_lintian "$deb" "$package"
    check_files "$deb" "$package"
done
check_desktop_file
check_release
check_no_gui qm240lx
check_no_gui qm240lx-sim
check_collection
echo "package: $found checked"
