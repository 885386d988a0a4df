#!/usr/bin/env bash
# Imports the sample data and a generated weekend with the Linux velt-cli and with velt-cli.exe
# under Wine, each into a data folder of its own, and checks that both folders hold the same
# files, named alike, byte for byte, and that both programs exit alike. The inputs and the data
# folders lie in folders with Japanese names, given as absolute paths, as a user types them.
#   tests/windows/compare_with_linux.sh LINUX_VELT_CLI WINDOWS_VELT_CLI_EXE
# WINE (default wine64) and WINEPREFIX choose the Wine; VELT_COMPARE_KEEP=1 keeps the folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
linux_cli=$1
windows_cli=$2
wine=${WINE:-wine64}
work=$(mktemp -d "${TMPDIR:-/tmp}/velt-compare.XXXXXX")
[ "${VELT_COMPARE_KEEP:-0}" = 1 ] || trap 'rm -rf "$work"' EXIT

# The inputs: the samples' archives and a weekend of today's downloads, with years of comments,
# and a yearly ZIP; in a folder with a Japanese name, which Windows' ANSI code page cannot hold.
in=$work/入力
mkdir -p "$in"
cp "$root"/samples/*.lzh "$in/"
python3 "$root/scripts/gen-jrdb" --out "$work/gen" --days 2 --start 2018-12-01 --races 2 \
    --archives --layout today --zip SED --seed 7 --jobs 2 >/dev/null
find "$work/gen" \( -name '*.lzh' -o -name '*.zip' \) -exec cp {} "$in/" \;
inputs=()
for f in "$in"/*; do inputs+=("$(basename "$f")"); done

target=競馬データ/ターゲット
# run NAME AS_GIVEN COMMAND...: imports every input into NAME/$target, the paths of the data folder
# and of the inputs made absolute by AS_GIVEN.
run() {
    mkdir -p "$work/$1/$target/MDATA" "$work/$1/$target/HDATA" "$work/$1/$target/KCOM_DATA"
    local name=$1 as_given=$2 status=0 args=() f
    shift 2
    for f in "${inputs[@]}"; do args+=("$($as_given "$in/$f")"); done
    (cd "$work" && "$@" --quiet --create-year-folders \
        --data-folder "$($as_given "$work/$name/$target/")" "${args[@]}") \
        >"$work/$name.out" 2>"$work/$name.err" || status=$?
    echo "$status" >"$work/$name.status"
}
as_is() { echo "$1"; }
# Wine maps / to the drive Z:; a path is typed as a Windows user would, with backslashes.
on_z() { echo "Z:$(echo "$1" | tr / '\\')"; }
run linux as_is "$linux_cli"
run windows on_z env WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= "$wine" "$windows_cli"

# The import history holds the time of each import: the rest of it must match (names, sizes,
# SHA-256, kinds, counts, outcomes).
for side in linux windows; do
    history="$work/$side/$target/velt-history.tsv"
    [ -f "$history" ] && cut -f 2- "$history" >"$history.t" && mv "$history.t" "$history"
done

failed=0
if ! cmp -s "$work/linux.status" "$work/windows.status"; then
    echo "Exit status: Linux $(cat "$work/linux.status"), Windows $(cat "$work/windows.status")" >&2
    failed=1
fi
files=$(cd "$work/linux/$target" && find . -type f | wc -l)
if ! diff -r "$work/linux" "$work/windows" >"$work/diff" 2>&1; then
    echo "The data folders differ:" >&2
    head -20 "$work/diff" >&2
    failed=1
fi
if [ "$failed" -ne 0 ]; then
    echo "Linux standard error:" >&2; head -5 "$work/linux.err" >&2
    echo "Windows standard error:" >&2; head -5 "$work/windows.err" >&2
    echo "compare_with_linux: FAILED (${#inputs[@]} inputs; kept in $work)" >&2
    trap - EXIT
    exit 1
fi
[ "$files" -gt 0 ] || { echo "compare_with_linux: nothing was written" >&2; exit 1; }
echo "compare_with_linux: OK: ${#inputs[@]} inputs, $files files identical" \
    "(exit status $(cat "$work/linux.status"))" >&2
