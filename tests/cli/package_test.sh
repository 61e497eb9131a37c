#!/usr/bin/env bash
# Builds the Debian package from a build folder into a temporary folder,
# unpacks it into a temporary root and checks its fields, its files, and that
# each program runs from there.
#   package_test.sh BUILD_FOLDER VERSION
set -euo pipefail

build=$(cd "$1" && pwd)
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
debs=("$work"/out/*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}

field() { dpkg-deb --field "$deb" "$1"; }
[[ $(field Package) == qm240lx-setup ]] || fail "Package is '$(field Package)'"
[[ $(field Version) == "$version" ]] || fail "Version is '$(field Version)'"
[[ $(field Section) == utils ]] || fail "Section is '$(field Section)'"
[[ -n $(field Maintainer) ]] || fail "no Maintainer"
depends=$(field Depends)
for package in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 qt6-qpa-plugins fonts-wine; do
    [[ ",$depends," == *[\ ,]$package[\ ,]* ]] || fail "Depends lacks $package: $depends"
done

root=$work/root
dpkg-deb -x "$deb" "$root"
for file in \
    usr/bin/qm240lx-setup usr/bin/qm240lx usr/bin/qm240lx-sim \
    usr/share/applications/qm240lx-setup.desktop \
    usr/share/icons/hicolor/16x16/apps/qm240lx-setup.png \
    usr/share/icons/hicolor/32x32/apps/qm240lx-setup.png \
    usr/share/man/man1/qm240lx-setup.1.gz usr/share/man/man1/qm240lx.1.gz \
    usr/share/man/man1/qm240lx-sim.1.gz; do
    [[ -s $root/$file ]] || fail "missing $file"
done
grep -qx 'Exec=qm240lx-setup' "$root/usr/share/applications/qm240lx-setup.desktop" ||
    fail "the desktop file does not start qm240lx-setup"
grep -qx 'Icon=qm240lx-setup' "$root/usr/share/applications/qm240lx-setup.desktop" ||
    fail "the desktop file does not name the installed icon"
for size in 16 32; do
    file "$root/usr/share/icons/hicolor/${size}x${size}/apps/qm240lx-setup.png" |
        grep -q "PNG image data, $size x $size" || fail "the ${size}x${size} icon is not that size"
done
for page in qm240lx-setup qm240lx qm240lx-sim; do
    zcat "$root/usr/share/man/man1/$page.1.gz" | grep -q '^\.TH ' || fail "$page.1 is no manual page"
done

for program in qm240lx-setup qm240lx qm240lx-sim; do
    output=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/$program" --version 2>&1) ||
        fail "$program --version failed: $output"
    [[ $output == "$program $version" ]] || fail "$program --version said '$output'"
done
echo "package: $(basename "$deb") checked"
