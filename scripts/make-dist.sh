#!/usr/bin/env bash
# Assembles the shippable product folders from the Windows builds and checks them:
#   dist/touchframe-i686/     the product for Windows 98/2000/XP (build/win32)
#   dist/touchframe-x86_64/   the same for x86_64 (build/win64), the build Wine runs
# each also as dist/<name>.zip. Each folder is a setup folder: setup.exe at the top
# with every file that filelist.ini and the INFs' file sections name, in the layout
# setup reads (lang.lg, en/ tw/ cn/ nologo/..., 98/ win98/ 2000xp/, the cfg files).
#
# Where a file comes from, first match wins:
#   1. the Windows build's staged setup folder, when the build makes one
#      (build/<preset>/setupfolder), for generated data such as the cfg files;
#   2. package/ (the data that ships as it is kept in the tree; package/cfg holds the
#      readable sources of the cfg files and stays out);
#   3. the generated pictures (build/<preset>/art, the build's target art);
#   4. a program or driver of the build, by file name (Zelkron.sys is the i686 Zelko).
# Checks: every file named by filelist.ini (both sections) and by every INF's
# [SourceDisksFiles] is present; every PE has the machine type of its build (the
# Windows 98 files always i386); drivers import only ntoskrnl, HAL, USBD and
# HIDCLASS. Prints a short summary. Exit status 1 when a check fails.
#   scripts/make-dist.sh [i686|x86_64]...   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
arches=("$@")
[ ${#arches[@]} -gt 0 ] || arches=(i686 x86_64)
objdump=x86_64-w64-mingw32-objdump
status=0

# Every file name that filelist.ini names, in both sections (value cut at a space).
filelist_names() {  # FILE
  tr -d '\r' <"$1" | awk '
    /^[[:space:]]*\[/ { s = tolower($0); gsub(/[[:space:]\[\]]/, "", s); next }
    (s == "win98" || s == "win2k") && /^[[:space:]]*file[0-9]+[[:space:]]*=/ {
      v = $0; sub(/^[^=]*=[[:space:]]*/, "", v); sub(/[[:space:]].*$/, "", v)
      if (v != "") print v
    }' | sort -u
}

# The files an INF's [SourceDisksFiles*] sections name, as paths relative to the
# setup folder: the disk's path (fourth field of [SourceDisksNames]) and the file's
# own sub-folder (third field), both relative to the source root, which is the setup
# folder when setup installs the INF. A file of a disk without a path is wanted beside
# the INF too, where Plug and Play looks when it installs from the INF's own folder.
inf_sources() {  # INF INF_DIR (relative to the setup folder with "/", "" at the top)
  tr -d '\r' <"$1" | awk -v infdir="$2" '
    BEGIN { gsub(/\//, "\\", infdir) }
    function trim(x) { gsub(/^[[:space:]"]+|[[:space:]"]+$/, "", x); return x }
    /^[[:space:]]*;/ { next }
    /^[[:space:]]*\[/ { s = tolower($0); gsub(/[[:space:]\[\]]/, "", s); next }
    s ~ /^sourcedisksnames/ && /=/ {
      k = trim(substr($0, 1, index($0, "=") - 1)); n = split(substr($0, index($0, "=") + 1), f, ",")
      disk[k] = (n >= 4) ? trim(f[4]) : ""; next }
    s ~ /^sourcedisksfiles/ && /=/ {
      name = trim(substr($0, 1, index($0, "=") - 1)); n = split(substr($0, index($0, "=") + 1), f, ",")
      files[name] = trim(f[1]) SUBSEP ((n >= 2) ? trim(f[2]) : ""); next }
    END {
      for (name in files) {
        split(files[name], g, SUBSEP); p = disk[g[1]]
        if (g[2] != "") p = (p == "" ? g[2] : p "\\" g[2])
        gsub(/^\\+|\\+$/, "", p); print (p == "" ? name : p "\\" name)
        if (disk[g[1]] == "" && infdir != "") print infdir "\\" (g[2] == "" ? name : g[2] "\\" name)
      }
    }' | sort -u
}

# A path of the setup folder (backslashes) found case-insensitively under DIR.
find_ci() {  # DIR RELPATH
  local dir=$1 rel=${2//\\//} part
  IFS=/ read -ra parts <<<"$rel"
  for part in "${parts[@]}"; do
    local hit=""
    [ -d "$dir" ] || return 1
    hit=$(find "$dir" -mindepth 1 -maxdepth 1 -iname "$part" -print -quit 2>/dev/null)
    [ -n "$hit" ] || return 1
    dir=$hit
  done
  [ -f "$dir" ] && echo "$dir"
}

# The source of one file of the setup folder.
source_of() {  # BUILD RELPATH
  local build=$1 rel=$2 base hit
  for d in "$build/setupfolder" package "$build/art"; do
    hit=$(find_ci "$d" "$rel") && { echo "$hit"; return 0; }
  done
  base=${rel##*\\}
  case ${base,,} in
    zelkron.sys) build=build/win32; base=Zelko.sys ;;  # the Windows 98 USB driver is the i686 Zelko
    *.exe|*.sys|*.dll) ;;
    *) return 1 ;;  # data is never taken by its name alone
  esac
  hit=$(find "$build" \( -path '*/CMakeFiles' -o -path '*/Testing' -o -path "$build/art" -o -path "$build/setupfolder" \) -prune -o \
          -type f -iname "$base" -print 2>/dev/null | grep -v '/winebench/' | head -n 1)
  [ -n "$hit" ] && { echo "$hit"; return 0; }
  return 1
}

pe_machine() {  # FILE -> i386 | x86-64 | none
  local f
  f=$($objdump -f "$1" 2>/dev/null | sed -n 's/.*file format pei-//p' | head -n 1)
  echo "${f:-none}"
}

assemble() {  # ARCH
  local arch=$1 preset build name out
  case $arch in
    i686) preset=win32 ;;
    x86_64) preset=win64 ;;
    *) echo "make-dist: unknown architecture $arch" >&2; return 1 ;;
  esac
  build=build/$preset
  name=touchframe-$arch
  out=dist/$name
  if [ ! -d "$build" ]; then
    echo "make-dist: $build is missing (cmake --preset $preset && cmake --build --preset $preset)" >&2
    return 1
  fi
  cmake --build "$build" --target art >/dev/null
  rm -rf "$out" "dist/$name.zip"
  mkdir -p "$out"

  # The setup folder's own files and the data kept in package/, then the pictures.
  local problems=()
  if [ -d "$build/setupfolder" ]; then cp -r "$build/setupfolder/." "$out/"; fi
  (cd package && find . -type f ! -name '*.md' ! -name 'README*' ! -path './cfg/*' -print0) |
    while IFS= read -r -d '' f; do
      [ -e "$out/$f" ] || { mkdir -p "$out/$(dirname "$f")"; cp "package/$f" "$out/$f"; }
    done
  (cd "$build/art" && find . -type f ! -name '.stamp' ! -path './res/*' -print0) |
    while IFS= read -r -d '' f; do
      [ -e "$out/$f" ] || { mkdir -p "$out/$(dirname "$f")"; cp "$build/art/$f" "$out/$f"; }
    done

  # setup.exe, then every file filelist.ini and the INFs name.
  local wanted=(setup.exe) rel src
  if [ -f "$out/filelist.ini" ]; then
    mapfile -t -O ${#wanted[@]} wanted < <(filelist_names "$out/filelist.ini")
  else
    problems+=("filelist.ini is missing")
  fi
  local inf
  while IFS= read -r -d '' inf; do
    rel=$(dirname "${inf#"$out"/}")
    [ "$rel" = . ] && rel=""
    mapfile -t -O ${#wanted[@]} wanted < <(inf_sources "$inf" "$rel")
  done < <(find "$out" -iname '*.inf' -print0)
  # Plug and Play installs a plugged frame from the INF setup placed in the system's
  # INF folder and copies Zelko.sys from the folder that INF came from (Wine ignores
  # the source location setup gives): a second Zelko.sys lies beside zelkron2kxp.inf.
  wanted+=('2000xp\Zelko.sys')
  for rel in "${wanted[@]}"; do
    [ -n "$rel" ] || continue
    if find_ci "$out" "$rel" >/dev/null; then continue; fi
    if src=$(source_of "$build" "$rel"); then
      local dst="$out/${rel//\\//}"
      mkdir -p "$(dirname "$dst")"
      cp "$src" "$dst"
    else
      problems+=("missing: $rel")
    fi
  done

  # PE machine types and the drivers' imports.
  local f m want d ok
  while IFS= read -r -d '' f; do
    rel=${f#"$out"/}
    m=$(pe_machine "$f")
    want=$([ "$arch" = i686 ] && echo i386 || echo x86-64)
    case ${rel,,} in 98/*|win98/*) want=i386 ;; esac
    [ "$m" = "$want" ] || problems+=("$rel: machine $m, expected $want")
    case ${rel,,} in
      *.sys)
        for d in $($objdump -p "$f" 2>/dev/null | sed -n 's/^[[:space:]]*DLL Name: //p'); do
          ok=no
          for a in ntoskrnl.exe hal.dll usbd.sys hidclass.sys; do [ "${d,,}" = "$a" ] && ok=yes; done
          [ $ok = yes ] || problems+=("$rel imports $d")
        done ;;
    esac
  done < <(find "$out" -type f \( -iname '*.exe' -o -iname '*.sys' -o -iname '*.dll' \) -print0)

  (cd dist && rm -f "$name.zip" && zip -qr -X "$name.zip" "$name")
  local files bytes zbytes
  files=$(find "$out" -type f | wc -l)
  bytes=$(du -sb "$out" | cut -f1)
  zbytes=$(stat -c %s "dist/$name.zip")
  echo "dist: $out  $files files, $bytes bytes; zip dist/$name.zip $zbytes bytes"
  if [ ${#problems[@]} -gt 0 ]; then
    local problem
    for problem in "${problems[@]}"; do echo "dist: FAIL $name: $problem"; done
    return 1
  fi
  echo "dist: ok   $name: ${#wanted[@]} named files present, machine types and driver imports checked"
}

for a in "${arches[@]}"; do
  assemble "$a" || status=1
done
exit $status
