#!/bin/bash
# Checks the shipped trackwire_receiver.exe without running it: a 32-bit
# Windows (not console) program that needs system DLLs only, and only
# functions that Windows 7 has.
set -u
exe=${1:?usage: check_exe.sh trackwire_receiver.exe}
source "$(dirname "$0")/../../tests/support/import_pin.sh"
# Every function the program may import: each exists on Windows 7, the oldest
# Windows it supports (it builds for _WIN32_WINNT 0x0601). Add a new import
# here only after its documentation's minimum supported client says Windows 7
# or older.
win7_imports='
advapi32.dll: RegCloseKey RegCreateKeyExW RegDeleteValueW RegOpenKeyExW
  RegQueryValueExW RegSetValueExW
crypt32.dll: CryptBinaryToStringA CryptProtectData CryptStringToBinaryA
  CryptUnprotectData
gdi32.dll: CreateBitmap CreateCompatibleDC CreateDIBSection DeleteDC
  DeleteObject GdiFlush GetDIBits GetObjectW
iphlpapi.dll: GetExtendedTcpTable
kernel32.dll: AcquireSRWLockExclusive AcquireSRWLockShared AllocConsole
  AttachConsole CancelIoEx CloseHandle CompareFileTime CompareStringOrdinal
  CreateDirectoryW
  CreateEventW CreateFileW CreateIoCompletionPort CreateMutexW
  CreateSemaphoreW CreateThread CreateWaitableTimerA DeleteCriticalSection
  DeleteFileW EnterCriticalSection FlushFileBuffers FormatMessageA FormatMessageW FreeLibrary
  GetComputerNameExW GetConsoleMode GetConsoleProcessList GetCurrentProcessId
  GetCurrentThreadId GetFileAttributesExW GetFileAttributesW GetFileSizeEx
  GetFileType GetFullPathNameW
  GetLastError GetLocalTime GetModuleFileNameW GetModuleHandleA
  GetModuleHandleW GetOverlappedResult GetProcAddress
  GetQueuedCompletionStatus GetStartupInfoW GetStdHandle
  GetSystemTimeAsFileTime GetTickCount64 GetTimeZoneInformation GlobalAlloc
  GlobalFree GlobalLock GlobalUnlock
  InitializeCriticalSection InitializeCriticalSectionAndSpinCount
  IsDBCSLeadByteEx IsValidCodePage LeaveCriticalSection LoadLibraryA
  LoadLibraryW LocalFree MoveFileExW MultiByteToWideChar OpenProcess
  PostQueuedCompletionStatus QueryFullProcessImageNameW QueueUserAPC
  ReadConsoleW ReadFile
  ReleaseSRWLockExclusive ReleaseSRWLockShared ReleaseSemaphore ResetEvent
  SetConsoleCtrlHandler SetConsoleMode SetEvent SetLastError SetStdHandle
  SetUnhandledExceptionFilter SetWaitableTimer Sleep SleepConditionVariableSRW
  SleepEx SystemTimeToFileTime TerminateThread TlsAlloc TlsFree TlsGetValue TlsSetValue
  VerSetConditionMask VerifyVersionInfoA VirtualProtect VirtualQuery
  WaitForMultipleObjects WaitForSingleObject WakeAllConditionVariable
  WakeConditionVariable
  WideCharToMultiByte WriteConsoleW WriteFile
msvcrt.dll: __mb_cur_max __p__commode __p__fmode __p__wcmdln __set_app_type
  __setusermatherr __wgetmainargs __winitenv _amsg_exit _beginthreadex _cexit
  _close _errno _initterm _iob _onexit _read abort atoi calloc exit fprintf
  fputc fputs fputwc free fwprintf fwrite islower isspace isupper localeconv
  malloc memchr memcmp memcpy memmove memset realloc setlocale signal strchr
  strcmp strerror strlen strncmp strncpy tolower vfprintf wcslen
mswsock.dll: AcceptEx GetAcceptExSockaddrs
ole32.dll: CoInitializeEx CoUninitialize
shell32.dll: ShellExecuteW Shell_NotifyIconW
user32.dll: AppendMenuW CloseClipboard CreateIconIndirect CreatePopupMenu
  CreateWindowExW DefWindowProcW DestroyIcon DestroyMenu DestroyWindow
  DispatchMessageW EmptyClipboard FindWindowW GetCursorPos GetDoubleClickTime
  GetIconInfo GetMessageW GetWindowLongW KillTimer LoadIconW MessageBoxW
  OpenClipboard PostMessageW PostQuitMessage RegisterClassExW
  RegisterWindowMessageW SetClipboardData SetForegroundWindow SetMenuDefaultItem
  SetTimer SetWindowLongW TrackPopupMenuEx TranslateMessage
winhttp.dll: WinHttpAddRequestHeaders WinHttpCloseHandle WinHttpConnect
  WinHttpCrackUrl WinHttpGetIEProxyConfigForCurrentUser WinHttpOpen
  WinHttpOpenRequest WinHttpQueryDataAvailable WinHttpQueryHeaders
  WinHttpReadData WinHttpReceiveResponse WinHttpSendRequest WinHttpSetOption
  WinHttpSetStatusCallback WinHttpSetTimeouts WinHttpTimeToSystemTime
ws2_32.dll: WSAAddressToStringA WSACleanup WSAGetLastError WSARecv WSASend
  WSASetLastError WSASocketW WSAStartup WSAStringToAddressA bind closesocket
  getpeername getsockopt htonl htons ioctlsocket listen ntohl ntohs setsockopt
  shutdown
'

headers=$(i686-w64-mingw32-objdump -p "$exe")
imports=$(grep -oE 'DLL Name: .*' <<<"$headers" | cut -c11- | sort -f)
failed=0
fail() { echo "FAILED: $1"; failed=1; }
grep -q 'file format pei-i386' <<<"$(i686-w64-mingw32-objdump -f "$exe")" || fail "machine i386"
grep -qE '^Subsystem[[:space:]]+00000002' <<<"$headers" || fail "Windows subsystem: no console window unless --console"
unexpected=$(grep -viE '^(ADVAPI32|CRYPT32|GDI32|IPHLPAPI|KERNEL32|msvcrt|MSWSOCK|ole32|SHELL32|USER32|WINHTTP|WS2_32)\.dll$' <<<"$imports")
[ -z "$unexpected" ] || fail "imports system DLLs only (found: $unexpected)"
unpinned=$(unpinned_imports i686-w64-mingw32-objdump "$exe" "$win7_imports" | tr '\n' ',' | sed 's/,$//')
[ -z "$unpinned" ] || fail "imports only functions that Windows 7 has (new: $unpinned; look up each one's minimum Windows version before adding it to the list in receiver/tests/check_exe.sh)"
echo "trackwire_receiver.exe (i686): $(stat -c %s "$exe") bytes; imports: $(tr '\n' ' ' <<<"$imports")"
[ "$failed" = 0 ]
