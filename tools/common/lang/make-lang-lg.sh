#!/usr/bin/env bash
# Builds package/lang.lg from the UTF-8 sources beside this script: section "0409"
# as ASCII, "0404" in Big5 (code page 950), "0804" in GBK (code page 936), CRLF
# line ends. iconv stops on any character the code page lacks.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../../../package/lang.lg}
tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
{
  printf '; Texts of Pointwell and setup, one section per Windows language id.\n'
  printf '; 0409 English (fallback for every language), 0404 Chinese (Taiwan, Big5),\n'
  printf '; 0804 Chinese (PRC, GBK). Edit tools/common/lang/*.txt and run make-lang-lg.sh.\n'
  printf '[0409]\n'
  iconv -f UTF-8 -t ASCII "$here/0409.txt"
  printf '\n[0404]\n'
  iconv -f UTF-8 -t CP950 "$here/0404.txt"
  printf '\n[0804]\n'
  iconv -f UTF-8 -t CP936 "$here/0804.txt"
} >"$tmp"
sed 's/$/\r/' "$tmp" >"$out"
echo "wrote $out"
