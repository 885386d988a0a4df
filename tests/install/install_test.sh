#!/usr/bin/env bash
# install_test.sh BUILD: installs the build into a temporary prefix and uses it as a normal user
# (nobody when run as root): the standard tree, and the data folder stored in that user's
# configuration folder, where the other program finds it.
set -euo pipefail
build=$1
fail() { echo "install test: $*" >&2; exit 1; }

work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
chmod 755 "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

# The build tree works as a portable folder; the install is the standard tree.
gui=$([ -x "$build/bin/velt" ] && echo yes || echo no)
for f in velt-cli readme.html; do [ -f "$build/bin/$f" ] || fail "$build/bin/$f is missing"; done
expected=(bin/velt-cli share/velt/readme.html share/doc/velt/copyright)
[ "$gui" = no ] || expected+=(bin/velt share/applications/velt.desktop
    share/icons/hicolor/48x48/apps/velt.png share/icons/hicolor/scalable/apps/velt.svg)
for f in "${expected[@]}"; do [ -f "$prefix/$f" ] || fail "$f is not installed"; done
[ ! -e "$prefix/bin/readme.html" ] || fail "the help page is installed into bin/"
if [ "$gui" = yes ]; then
    desktop=$prefix/share/applications/velt.desktop
    grep -qx 'Exec=velt %F' "$desktop" || fail "velt.desktop does not pass the files"
    grep -qx 'MimeType=application/x-lzh-compressed;application/x-lha;application/zip;' \
        "$desktop" || fail "velt.desktop names no archive types"
fi

home=$work/home
mkdir -p "$home" "$work/target"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    chown nobody:nogroup "$home"
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
run() {
    env -i PATH=/usr/bin:/bin HOME="$home" LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen \
        "${as_user[@]}" "$@"
}

run "$prefix/bin/velt-cli" --set-data-folder "$work/target" >/dev/null ||
    fail "velt-cli --set-data-folder failed as a normal user"
printf '[Velt]\r\npath=%s/\r\n' "$work/target" | cmp -s - "$home/.config/velt/velt.ini" ||
    fail "the data folder is not in ~/.config/velt/velt.ini"
[ ! -e "$prefix/bin/velt.ini" ] || fail "a settings file was written beside the program"
run "$prefix/bin/velt-cli" --help | grep -qxF "保存されているデータフォルダ: $work/target/" ||
    fail "velt-cli does not read back the stored folder"
# A portable folder keeps the settings beside the program when the user may write there.
for writable in yes no; do
    folder=$work/portable-$writable
    mkdir -p "$folder"
    cp "$build/bin/velt-cli" "$build/bin/readme.html" "$folder/"
    rm -f "$home/.config/velt/velt.ini"
    if [ $writable = no ]; then chmod 555 "$folder"; elif [ ${#as_user[@]} -gt 0 ]; then
        chown nobody:nogroup "$folder"
    fi
    run "$folder/velt-cli" --set-data-folder "$work/target" >/dev/null ||
        fail "--set-data-folder failed in a portable folder (writable: $writable)"
    expected=$([ $writable = yes ] && echo "$folder/velt.ini" || echo "$home/.config/velt/velt.ini")
    [ -f "$expected" ] || fail "a portable folder (writable: $writable) does not use $expected"
done

if [ "$gui" = yes ]; then
    run "$prefix/bin/velt" --screenshot "$home/window.png" 2>/dev/null ||
        fail "the installed window does not start as a normal user"
    help=$(run "$prefix/bin/velt" --help)
    grep -q '^使い方: velt' <<<"$help" && ! grep -qiE 'screenshot|usage|options' <<<"$help" ||
        fail "velt --help is not the Japanese help without developer options: $help"
fi
echo "install test: passed"
