#!/bin/bash
# Checks the shipped trackwire_receiver.exe without running it: a 32-bit
# console program that needs system DLLs only.
set -u
exe=${1:?usage: check_exe.sh trackwire_receiver.exe}
headers=$(i686-w64-mingw32-objdump -p "$exe")
imports=$(grep -oE 'DLL Name: .*' <<<"$headers" | cut -c11- | sort -f)
failed=0
fail() { echo "FAILED: $1"; failed=1; }
grep -q 'file format pei-i386' <<<"$(i686-w64-mingw32-objdump -f "$exe")" || fail "machine i386"
grep -qE '^Subsystem[[:space:]]+00000003' <<<"$headers" || fail "console subsystem"
unexpected=$(grep -viE '^(KERNEL32|msvcrt|WS2_32|MSWSOCK)\.dll$' <<<"$imports")
[ -z "$unexpected" ] || fail "imports system DLLs only (found: $unexpected)"
echo "trackwire_receiver.exe (i686): $(stat -c %s "$exe") bytes; imports: $(tr '\n' ' ' <<<"$imports")"
[ "$failed" = 0 ]
