#!/usr/bin/env bash
# The package's and the Wine bench's NT INFs install on Windows 2000 (undecorated models
# section), on 32-bit XP and Wine's 32-bit setupapi (NTx86) and on 64-bit systems (NTamd64)
# alike; and the checker finds each kind of fault in small broken INFs.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
check=$here/inf_models.sh
rc=0

infs=()
for f in "$root"/package/*.inf "$root"/package/2000xp/*.inf "$root"/winebench/*/*.inf; do
  [ -f "$f" ] && infs+=("$f")
done
if [ ${#infs[@]} -lt 5 ]; then
  echo "FAIL only ${#infs[@]} NT INFs found under package/ and winebench/"
  rc=1
fi
bash "$check" "${infs[@]}" || rc=1

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# expect NAME EXPECTED-FAIL-TEXT: the checker fails on $tmp/NAME.inf with that reason.
expect() {
  local out
  if out=$(bash "$check" "$tmp/$1.inf"); then
    echo "FAIL the checker passed $1.inf"
    rc=1
  elif ! grep -qF -- "$2" <<<"$out"; then
    echo "FAIL $1.inf: expected [$2], got [$out]"
    rc=1
  else
    echo "ok the checker refuses $1.inf: $2"
  fi
}
head='[Version]
Signature="$WINDOWS NT$"
[Manufacturer]'
printf '%s\n' "$head" '%M%=Mfg,NTamd64' '[Mfg]' 'D=I,ID1' '[Mfg.NTamd64]' 'D=I,ID1' >"$tmp/no-x86.inf"
expect no-x86 "does not name NTx86"
printf '%s\n' "$head" '%M%=Mfg,NTx86,NTamd64' '[Mfg.NTx86]' 'D=I,ID1' '[Mfg.NTamd64]' 'D=I,ID1' >"$tmp/no-plain.inf"
expect no-plain "[Mfg] is missing"
printf '%s\n' "$head" '%M%=Mfg,NTx86,NTamd64' '[Mfg]' 'D=I,ID1' '[Mfg.NTx86]' 'D=I,ID1' \
  '[Mfg.NTamd64]' 'D=I,ID1' 'D=I,ID2 ; only here' >"$tmp/differ.inf"
expect differ "[Mfg.NTamd64] does not list the devices of [Mfg]"
printf '%s\n' '[Version]' 'Signature="$CHICAGO$"' >"$tmp/chicago.inf"
expect chicago "not a Windows NT INF"
# Case, blanks and comments do not matter to setupapi.
printf '%s\r\n' '[version]' 'Signature = "$WINDOWS NT$"' '[MANUFACTURER]' '%M% = mfg, NTx86 , NTamd64 ; all' \
  '[MFG]' 'D = I, ID1' '[mfg.ntx86]' 'D=I,ID1' '[Mfg.NTamd64]' '  D=I,ID1  ; the same' >"$tmp/spelled.inf"
if bash "$check" "$tmp/spelled.inf" >/dev/null; then
  echo "ok the checker accepts spelling differences setupapi ignores"
else
  echo "FAIL spelled.inf: $(bash "$check" "$tmp/spelled.inf")"
  rc=1
fi
exit $rc
