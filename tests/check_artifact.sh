#!/bin/bash
# Checks the shipped 32-bit DLL without running it: machine, the one export,
# the module name, imports of system DLLs only, and the resources.
set -u
dll=${1:?usage: check_artifact.sh gen_trackwire.dll}
objdump=i686-w64-mingw32-objdump
windres=i686-w64-mingw32-windres
passed=0 failed=0

check() {  # check NAME COMMAND...
  if "${@:2}"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $1"
  fi
}

source "$(dirname "$0")/support/import_pin.sh"

# Every function the DLL may import: each exists on Windows XP, the oldest
# Windows the player runs on. The loader refuses the whole DLL ("entry point
# not found") if one is missing, so a new import is added here only after its
# documentation's minimum supported client says Windows XP or older.
xp_imports='
kernel32.dll: CloseHandle CreateFileA DeleteCriticalSection DeleteFileA
  EnterCriticalSection FlushFileBuffers FreeLibrary GetCurrentThreadId
  GetFileAttributesA GetFileSizeEx GetLastError GetModuleHandleA GetProcAddress
  InitializeCriticalSection LeaveCriticalSection LoadLibraryA MoveFileExA
  MultiByteToWideChar ReadFile ReleaseSemaphore SetLastError Sleep TlsAlloc
  TlsFree TlsGetValue TlsSetValue VirtualProtect VirtualQuery
  WaitForSingleObject WideCharToMultiByte WriteFile
msvcrt.dll: _amsg_exit _initterm _iob _lock _unlock abort calloc free fwrite
  malloc memchr memcmp memcpy memmove memset realloc strcmp strlen strncmp
  vfprintf
user32.dll: DdeCmpStringHandles DdeCreateStringHandleA DdeFreeStringHandle
  DdeInitializeA DdeNameService DdeUninitialize DialogBoxParamA EndDialog
  FindWindowA GetDlgItemTextA KillTimer MessageBoxA SendMessageA
  SetDlgItemTextA SetTimer SetWindowTextA
ws2_32.dll: WSAStartup closesocket connect gethostbyname htons inet_addr send
  socket
'

headers=$($objdump -p "$dll")
resources=$($windres -i "$dll" -O rc)
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" | tail -n +2 | grep -oE '\] [^ ]+$' | cut -c3-)
imports=$(grep -oE 'DLL Name: .*' <<<"$headers" | cut -c11- | sort -f)

check "machine i386" grep -q 'file format pei-i386' <<<"$($objdump -f "$dll")"
check "one export, undecorated" test "$exports" = "winampGetGeneralPurposePlugin"
check "module name" grep -qE '^Name[[:space:]]+[0-9a-f]+ gen_trackwire\.dll$' <<<"$headers"
unexpected=$(grep -viE '^(KERNEL32|USER32|WS2_32|msvcrt)\.dll$' <<<"$imports")
check "imports system DLLs only (found: $unexpected)" test -z "$unexpected"
unpinned=$(unpinned_imports $objdump "$dll" "$xp_imports" | tr '\n' ',' | sed 's/,$//')
check "imports only functions that Windows XP has (new: $unpinned; look up each one's minimum Windows version before adding it to the list in tests/check_artifact.sh)" test -z "$unpinned"
check "dialog 103 in Italian" grep -qzE 'LANGUAGE 16, 1[[:space:]]+103 DIALOGEX 0, 0, 306, 45' <<<"$resources"
check "dialog style" grep -q 'STYLE 0x80c80042' <<<"$resources"
check "one dialog only" test "$(grep -c DIALOGEX <<<"$resources")" = 1
check "version description" grep -q '"FileDescription", "WinAmp Tunebeacon v1.0"' <<<"$resources"
check "original file name" grep -q '"OriginalFilename", "gen_trackwire.dll"' <<<"$resources"
check "file version 1.0" grep -q 'FILEVERSION 1, 0, 0, 0' <<<"$resources"
size=$(stat -c %s "$dll")
check "at most 128 KB (is $size bytes)" test "$size" -le 131072

echo "gen_trackwire.dll (i686): $size bytes; imports: $(tr '\n' ' ' <<<"$imports")"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
