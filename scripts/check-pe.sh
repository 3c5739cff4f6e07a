#!/usr/bin/env bash
# Inspects the driver binaries of the Windows builds: each must be a native-
# subsystem image with an entry point and import only from the system modules
# it is allowed to use.
set -uo pipefail
cd "$(dirname "$0")/.."
pass=0; fail=0
check() {  # build dir, driver name, allowed import DLLs...
  local dir=$1 name=$2; shift 2
  local file
  file=$(find "build/$dir/driver" -name "$name.sys" 2>/dev/null | head -n 1)
  if [ -z "$file" ]; then
    echo "FAIL $dir/$name.sys: not built"; fail=$((fail + 1)); return
  fi
  local dump problems=""
  dump=$(x86_64-w64-mingw32-objdump -p "$file" 2>&1)
  grep -qE 'Subsystem[[:space:]]+00000001' <<<"$dump" || problems+=" subsystem is not native;"
  grep -qE 'AddressOfEntryPoint[[:space:]]+0*[1-9a-fA-F]' <<<"$dump" || problems+=" no entry point;"
  case $dir in
    win32) grep -q 'file format pei-i386' <<<"$dump" || problems+=" not an i386 image;" ;;
    win64) grep -q 'file format pei-x86-64' <<<"$dump" || problems+=" not an x86-64 image;" ;;
  esac
  local dlls
  dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump")
  for d in $dlls; do
    local ok=no
    for a in "$@"; do [ "${d,,}" = "${a,,}" ] && ok=yes; done
    [ $ok = yes ] || problems+=" imports $d;"
  done
  if [ -n "$problems" ]; then
    echo "FAIL $dir/$name.sys:$problems"; fail=$((fail + 1))
  else
    echo "ok   $dir/$name.sys imports: $(echo $dlls)"; pass=$((pass + 1))
  fi
}
for dir in win32 win64; do
  check "$dir" Zelko ntoskrnl.exe HAL.dll USBD.SYS
  [ -d driver/usb/kernal_driver/2kService ] && [ -f driver/usb/kernal_driver/2kService/CMakeLists.txt ] &&
    check "$dir" Dravick ntoskrnl.exe HAL.dll
  [ -f driver/hid/CMakeLists.txt ] && check "$dir" Miravel ntoskrnl.exe HAL.dll HIDCLASS.SYS USBD.SYS
done
echo "check-pe: $pass passed, $fail failed"
[ "$fail" -eq 0 ]
