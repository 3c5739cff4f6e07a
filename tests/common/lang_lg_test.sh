#!/usr/bin/env bash
# package/lang.lg is exactly what the generator makes of tools/common/lang, and the
# generator refuses a program-group text whose encoded bytes would end a Program
# Manager command.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
gen=$root/tools/common/lang/make-lang-lg.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

bash "$gen" "$work/lang.lg" >/dev/null
if ! cmp -s "$work/lang.lg" "$root/package/lang.lg"; then
  echo "FAIL: package/lang.lg differs from the generator's output; run tools/common/lang/make-lang-lg.sh"
  exit 1
fi

# 設 is B3 5D in Big5: its second byte is "]".
mkdir "$work/src"
cp "$root"/tools/common/lang/*.txt "$work/src/"
sed -i 's/^APPCTRL=.*/APPCTRL=設定/' "$work/src/0404.txt"
if bash "$gen" "$work/bad.lg" "$work/src" 2>"$work/err"; then
  echo "FAIL: the generator took APPCTRL=設定 (B3 5D) in 0404"
  exit 1
fi
grep -q "APPCTRL" "$work/err" || { echo "FAIL: the refusal does not name the key"; cat "$work/err"; exit 1; }
# A plain "(" in an English text is refused too.
cp "$root"/tools/common/lang/0404.txt "$work/src/0404.txt"
sed -i 's/^APPGROUP=.*/APPGROUP=Touch (IR)/' "$work/src/0409.txt"
if bash "$gen" "$work/bad.lg" "$work/src" 2>/dev/null; then
  echo "FAIL: the generator took APPGROUP=Touch (IR)"
  exit 1
fi
echo "lang.lg: generated output matches; bad program-group bytes refused"
