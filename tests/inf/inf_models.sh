#!/usr/bin/env bash
# Checks the models sections of Windows NT INFs (Signature "$WINDOWS NT$"):
#   inf_models.sh INF...
# For each [Manufacturer] entry NAME=SECTION[,DECORATION...]:
#   - the undecorated [SECTION] exists: Windows 2000 reads no other;
#   - NTx86 and NTamd64 are named and [SECTION.NTx86] and [SECTION.NTamd64] exist: 32-bit
#     Windows XP (and Wine's 32-bit setupapi) read the first, 64-bit Windows the second;
#   - the three list the same devices (description, install section, hardware ids).
# Prints "FAIL INF: reason" per fault and "ok INF: N manufacturer entries" per good INF;
# exits 1 on any fault or when an INF has no manufacturer entry. Comments (from ";"),
# blanks and the case of section names are ignored, as setupapi ignores them.
set -uo pipefail

# The lines of one section, normalised (no comments, no blanks), sorted.
section() {  # section FILE NAME
  awk -v want="$(echo "$2" | tr '[:upper:]' '[:lower:]')" '
    { sub(/\r$/, ""); sub(/;.*/, ""); gsub(/[ \t]/, "") }
    /^\[.*\]$/ { cur = tolower(substr($0, 2, length($0) - 2)); next }
    cur == want && $0 != "" { print }
  ' "$1" | sort
}

has_section() {  # has_section FILE NAME
  awk -v want="$(echo "$2" | tr '[:upper:]' '[:lower:]')" '
    { sub(/\r$/, ""); sub(/;.*/, ""); gsub(/[ \t]/, "") }
    /^\[.*\]$/ && tolower(substr($0, 2, length($0) - 2)) == want { found = 1 }
    END { exit !found }
  ' "$1"
}

faults=0
fail() { echo "FAIL $1: $2"; faults=$((faults + 1)); }

for inf in "$@"; do
  if ! section "$inf" Version | grep -qixF 'Signature="$WINDOWSNT$"'; then
    fail "$inf" "not a Windows NT INF (Signature)"
    continue
  fi
  entries=0
  before=$faults
  while IFS= read -r entry; do
    entries=$((entries + 1))
    IFS=, read -r -a parts <<<"${entry#*=}"
    base=${parts[0]}
    decorations=" ${parts[*]:1} "
    has_section "$inf" "$base" || fail "$inf" "[$base] is missing (Windows 2000 reads only the undecorated models section)"
    for d in NTx86 NTamd64; do
      [[ ${decorations,,} == *" ${d,,} "* ]] || fail "$inf" "the [Manufacturer] entry for $base does not name $d"
      if ! has_section "$inf" "$base.$d"; then
        fail "$inf" "[$base.$d] is missing"
      elif [ "$(section "$inf" "$base")" != "$(section "$inf" "$base.$d")" ]; then
        fail "$inf" "[$base.$d] does not list the devices of [$base]"
      fi
    done
  done < <(section "$inf" Manufacturer)
  if [ "$entries" -eq 0 ]; then
    fail "$inf" "no [Manufacturer] entry"
  elif [ "$faults" -eq "$before" ]; then
    echo "ok $inf: $entries manufacturer entries"
  fi
done
[ "$faults" -eq 0 ]
