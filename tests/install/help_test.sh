#!/usr/bin/env bash
# help_test.sh BUILD: each platform's help page speaks of its own platform only.
set -euo pipefail
fail() { echo "help test: $*" >&2; exit 1; }
while read -r platform must mustNot; do
    page=$1/help/$platform/readme.html
    [ -f "$page" ] || fail "no $page"
    for word in ${must//,/ }; do grep -qF -- "$word" "$page" || fail "$page lacks $word"; done
    for word in ${mustNot//,/ }; do ! grep -qF -- "$word" "$page" || fail "$page mentions $word"; done
    ! grep -qE '@[A-Z_]+@|<!-- :?(linux|windows):? -->' "$page" || fail "$page is not filled in"
done <<'TABLE'
windows %APPDATA%\Velt,エクスプローラー,C:\,licenses ~/.config,ファイルマネージャー,/tmp,MDATA/
linux ~/.config/velt,ファイルマネージャー,/usr/share/doc/velt/copyright %APPDATA%,エクスプローラー,C:\
TABLE
echo "help test: passed"
