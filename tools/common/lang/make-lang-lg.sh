#!/usr/bin/env bash
# Builds package/lang.lg from the UTF-8 sources beside this script: section "0409"
# as ASCII, "0404" in Big5 (code page 950), "0804" in GBK (code page 936), CRLF
# line ends. iconv stops on any character the code page lacks.
#
# The program-group texts (APPGROUP, APPCTRL, APPUNINST) go into Program Manager
# commands such as [AddItem(path,name,...)] as they stand, and a command reader that
# reads bytes ends a name at any of [ ] ( ) , " -- also when the byte is the second
# half of a Big5 or GBK character. The generator refuses such bytes in those texts.
#
# Usage: make-lang-lg.sh [OUT [SOURCE_DIR]]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../../../package/lang.lg}
src=${2:-$here}
tmp=$(mktemp)
sec=$(mktemp)
trap 'rm -f "$tmp" "$sec"' EXIT

# section ID CODEPAGE: the encoded section, checked, appended to $tmp.
section() {
  iconv -f UTF-8 -t "$2" "$src/$1.txt" >"$sec"
  local bad
  bad=$(LC_ALL=C grep -a -E '^(APPGROUP|APPCTRL|APPUNINST)=' "$sec" |
        LC_ALL=C grep -a -E '=.*[][(),"]' | cut -d= -f1 || true)
  if [ -n "$bad" ]; then
    echo "make-lang-lg.sh: [$1] $(echo $bad): the encoded text holds one of [ ] ( ) , \" (a Program Manager command would end there); word it otherwise" >&2
    exit 1
  fi
  cat "$sec" >>"$tmp"
}

{
  printf '; Texts of Pointwell and setup, one section per Windows language id.\n'
  printf '; 0409 English (fallback for every language), 0404 Chinese (Taiwan, Big5),\n'
  printf '; 0804 Chinese (PRC, GBK). Edit tools/common/lang/*.txt and run make-lang-lg.sh.\n'
  printf '[0409]\n'
} >"$tmp"
section 0409 ASCII
printf '\n[0404]\n' >>"$tmp"
section 0404 CP950
printf '\n[0804]\n' >>"$tmp"
section 0804 CP936
sed 's/$/\r/' "$tmp" >"$out"
echo "wrote $out"
