// Holds a file open without delete sharing, as some readers of a song file
// do: meanwhile nobody can rename another file over it or delete it.
//   hold_file PATH MILLISECONDS
// Prints "held" once the file is open and "released" after closing it.
// Exit code: 0 held and released, 1 cannot open, 2 wrong use.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  const HANDLE file =
      CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  std::printf("held\n");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
  CloseHandle(file);
  std::printf("released\n");
  std::fflush(stdout);
  return 0;
}
