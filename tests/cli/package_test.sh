#!/usr/bin/env bash
# Builds the Debian package from a build folder into a temporary folder,
# unpacks it into a temporary root and checks its fields, lintian's verdict,
# its files, and that each program runs from there.
#   package_test.sh BUILD_FOLDER VERSION
set -euo pipefail

build=$(cd "$1" && pwd)
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
debs=("$work"/out/*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}

for expected in "Package=qm240lx-setup" "Version=$version" "Section=utils"; do
    value=$(dpkg-deb --field "$deb" "${expected%%=*}")
    [[ $value == "${expected#*=}" ]] || fail "${expected%%=*} is '$value'"
done
[[ -n $(dpkg-deb --field "$deb" Maintainer) ]] || fail "no Maintainer"
depends=$(dpkg-deb --field "$deb" Depends)
for package in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 qt6-qpa-plugins fonts-wine; do
    [[ ",$depends," == *[\ ,]$package[\ ,]* ]] || fail "Depends lacks $package: $depends"
done

# lintian's errors and warnings fail the package; its informational notes do not.
command -v lintian >/dev/null || fail "lintian is not installed (scripts/install-deps installs it)"
lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log" >&2; fail "lintian reports errors or warnings"; }
! grep -E '^[EW]: ' "$work/lintian.log" >&2 || fail "lintian reports errors or warnings"

root=$work/root
dpkg-deb -x "$deb" "$root"
desktop=$root/usr/share/applications/qm240lx-setup.desktop
[[ -s $desktop ]] || fail "missing the desktop file"
for line in Exec=qm240lx-setup Icon=qm240lx-setup; do
    grep -qx "$line" "$desktop" || fail "the desktop file lacks $line"
done
for size in 16 32; do
    file "$root/usr/share/icons/hicolor/${size}x${size}/apps/qm240lx-setup.png" |
        grep -q "PNG image data, $size x $size" || fail "no ${size}x${size} icon"
done
for program in qm240lx-setup qm240lx qm240lx-sim; do
    zcat "$root/usr/share/man/man1/$program.1.gz" | grep -q '^\.TH ' ||
        fail "no manual page $program.1"
    output=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/$program" --version 2>&1) ||
        fail "$program --version failed: $output"
    [[ $output == "$program $version" ]] || fail "$program --version said '$output'"
done
echo "package: $(basename "$deb") checked"
