#!/usr/bin/env bash
# velt-cli --fetch with the Linux velt-cli and with velt-cli.exe under Wine, against one fake JRDB
# member area over HTTP (tests/support/fake_jrdb.py), each into a data folder and a download folder
# of its own: both must exit alike, download the same archives and leave the same data folders,
# byte for byte (the history aside, which records the time of day).
#   tests/windows/fetch_with_linux.sh LINUX_VELT_CLI WINDOWS_VELT_CLI_EXE
# WINE (default wine64) and WINEPREFIX choose the Wine; VELT_COMPARE_KEEP=1 keeps the folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
wine=${WINE:-wine64}
work=$(mktemp -d "${TMPDIR:-/tmp}/velt-fetch-compare.XXXXXX")
server=
cleanup() {
    [ -z "$server" ] || kill "$server" 2>/dev/null || true
    [ "${VELT_COMPARE_KEEP:-0}" = 1 ] || rm -rf "$work"
}
trap cleanup EXIT

# Each program in a folder of its own, so that each stores its settings there.
mkdir -p "$work/linux-prog" "$work/windows-prog"
cp "$1" "$work/linux-prog/velt-cli"
cp "$2" "$work/windows-prog/velt-cli.exe"

python3 "$root/scripts/gen-jrdb" --out "$work/gen" --days 2 --start 2018-12-01 --races 2 \
    --archives --layout today --seed 7 --jobs 2 >/dev/null
for kind in Paci Sed Skb; do
    mkdir -p "$work/root/member/data/$kind"
    cp "$work/gen/${kind^^}"*.lzh "$work/root/member/data/$kind/"
done
FAKE_JRDB_PASSWORD=secret python3 "$root/tests/support/fake_jrdb.py" --root "$work/root" \
    --id member --url-file "$work/url" >/dev/null &
server=$!
for _ in $(seq 100); do [ -s "$work/url" ] && break; sleep 0.1; done
url="$(head -1 "$work/url")member/"

export VELT_JRDB_ID=member VELT_JRDB_PASSWORD=secret VELT_TEST_FETCH_PAUSE_MS=20
run() {
    local name=$1 as_given=$2 status=0
    shift 2
    mkdir -p "$work/$name/MDATA" "$work/$name/HDATA" "$work/$name/KCOM_DATA"
    (cd "$work" && "$@" --quiet --create-year-folders --data-folder "$($as_given "$work/$name/")" \
        --download-folder "$($as_given "$work/$name-dl")" --jrdb-url "$url" --fetch 181201 181202) \
        >"$work/$name.out" 2>"$work/$name.err" || status=$?
    echo "$status" >"$work/$name.status"
    rm -f "$work/$name/velt-history.tsv" "$work/$name/.velt-lock"
}
as_is() { echo "$1"; }
on_z() { echo "Z:$(echo "$1" | tr / '\\')"; }
run linux as_is "$work/linux-prog/velt-cli"
run windows on_z env WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= "$wine" \
    "$work/windows-prog/velt-cli.exe"

failed=0
if ! cmp -s "$work/linux.status" "$work/windows.status" || [ "$(cat "$work/linux.status")" != 0 ]
then
    echo "Exit status: Linux $(cat "$work/linux.status"), Windows $(cat "$work/windows.status")" >&2
    failed=1
fi
for pair in "linux windows" "linux-dl windows-dl"; do
    set -- $pair
    if ! diff -r "$work/$1" "$work/$2" >"$work/diff" 2>&1; then
        echo "$1 and $2 differ:" >&2
        head -20 "$work/diff" >&2
        failed=1
    fi
done
files=$(cd "$work/linux" && find . -type f | wc -l)
if [ "$failed" -ne 0 ] || [ "$files" -eq 0 ]; then
    echo "Linux standard error:" >&2; head -5 "$work/linux.err" >&2
    echo "Windows standard error:" >&2; head -5 "$work/windows.err" >&2
    echo "fetch_with_linux: FAILED (kept in $work)" >&2
    VELT_COMPARE_KEEP=1
    exit 1
fi
echo "fetch_with_linux: OK: $(ls "$work/linux-dl" | wc -l) downloads, $files files alike"
