#!/usr/bin/env bash
# Checks a Windows executable's PE header: ASLR with high entropy and DEP kept on
# (DllCharacteristics 0x160), and an import table of KnownDLLs only, so that no DLL planted next
# to the executable can be loaded in place of one it imports.
#   pe-check.sh EXE
set -euo pipefail
exe="$1"
known="kernel32.dll user32.dll gdi32.dll setupapi.dll advapi32.dll msvcrt.dll"
dump="$(x86_64-w64-mingw32-objdump -p "$exe")"
failures=0

characteristics="$(awk '/^DllCharacteristics/ {print $2}' <<<"$dump")"
if [[ "$characteristics" == "00000160" ]]; then
  echo "ok   DllCharacteristics 0x160 (HIGH_ENTROPY_VA, DYNAMIC_BASE, NX_COMPAT)"
else
  echo "FAIL DllCharacteristics 0x$characteristics, expected 0x160"
  failures=$((failures + 1))
fi

for dll in $(awk '/DLL Name:/ {print tolower($3)}' <<<"$dump"); do
  if [[ " $known " == *" $dll "* ]]; then
    echo "ok   imports $dll"
  else
    echo "FAIL imports $dll, which is not a KnownDLL"
    failures=$((failures + 1))
  fi
done
[[ $failures -eq 0 ]]
