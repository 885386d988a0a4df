#!/usr/bin/env bash
# deb_test.sh BUILD: makes the .deb with cpack, then installs and removes it with dpkg. Needs root
# (as in CI); exits 77 (skipped) otherwise.
set -euo pipefail
build=$1
skip() { echo "deb test: skipped: $*"; exit 77; }
fail() { echo "deb test: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || skip "dpkg -i needs root"
command -v dpkg-shlibdeps >/dev/null || skip "dpkg-shlibdeps is missing (dpkg-dev)"
if dpkg-query -W -f='${Status}' velt 2>/dev/null | grep -q " installed"; then
    skip "a velt package is installed here already"
fi

work=$(mktemp -d)
installed=no
# A failed run leaves nothing installed behind it.
trap '[ $installed = no ] || dpkg -r velt >/dev/null 2>&1; rm -rf "$work"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(echo "$work"/velt_*.deb)
[ -f "$deb" ] || fail "no package in $work"

depends=$(dpkg-deb -f "$deb" Depends)
needed=(libc6 liblhasa0)
dpkg-deb -c "$deb" | grep -q '\./usr/bin/velt$' && needed+=(libqt6widgets6 qt6-translations-l10n)
for p in "${needed[@]}"; do
    [[ $depends == *"$p"* ]] || fail "$p is not among the dependencies: $depends"
done

# Another apt or dpkg may hold the lock for a while.
dpkg_retry() {
    for _ in $(seq 60); do
        dpkg "$@" >"$work/dpkg.log" 2>&1 && return 0
        grep -q "lock" "$work/dpkg.log" || { cat "$work/dpkg.log" >&2; return 1; }
        sleep 5
    done
    return 1
}

installed=yes
dpkg_retry -i "$deb" || fail "dpkg -i failed"
! grep -qiE "warning|error" "$work/dpkg.log" || { cat "$work/dpkg.log" >&2; fail "dpkg -i warned"; }
/usr/bin/velt-cli --version >/dev/null || fail "the installed velt-cli does not run"
[ -f /usr/share/velt/readme.html ] || fail "no help page in /usr/share/velt"
head -1 /usr/share/doc/velt/copyright | grep -q '^Format: .*copyright-format/1.0' ||
    fail "no machine-readable /usr/share/doc/velt/copyright"
# Stripped: no debug information in the programs, and the whole under 8 MB.
for exe in /usr/bin/velt-cli /usr/bin/velt; do
    [ ! -e "$exe" ] || ! readelf -S "$exe" | grep -q '\.debug_' || fail "$exe is not stripped"
done
size=$(dpkg-deb -f "$deb" Installed-Size)
[ "$size" -lt 8192 ] || fail "installed size ${size} KiB is not under 8 MB"

dpkg_retry -r velt || fail "dpkg -r failed"
installed=no
! grep -qiE "warning|error" "$work/dpkg.log" || { cat "$work/dpkg.log" >&2; fail "dpkg -r warned"; }
dpkg-deb -c "$deb" | awk '{print substr($6, 2)}' | grep -v '/$' | while read -r f; do
    [ ! -e "$f" ] || fail "$f is left after dpkg -r"
done
echo "deb test: passed"
