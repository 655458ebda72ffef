// Stands in for the Discord app's local RPC, for receiver_discord: serves
// \\.\pipe\discord-ipc-N, answers a handshake with READY and then sends a
// PING, answers SET_ACTIVITY as the app does and a PING with a PONG, or
// refuses a client ID with an ERROR event and a CLOSE. Its framing is its
// own, not the receiver's.
//   discord_stand_in --log FILE [--pipe N] [--refuse ID]...
// Every frame it gets is one JSON line of FILE (appended): time_ms,
// connection, op, data; so are "listening", "connected" and "closed".
// Ends at "quit" or the end of its standard input.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::json;

std::FILE* log_file = nullptr;
SRWLOCK log_lock = SRWLOCK_INIT;
std::set<std::string> refused;
volatile LONG connections = 0;

std::int64_t NowMs() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) |
      now.dwLowDateTime;
  return static_cast<std::int64_t>(ticks / 10000u) - 11644473600000LL;
}

void Log(Json line) {
  line["time_ms"] = NowMs();
  const std::string text =
      line.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
  AcquireSRWLockExclusive(&log_lock);
  std::fwrite(text.data(), 1, text.size(), log_file);
  std::fflush(log_file);
  ReleaseSRWLockExclusive(&log_lock);
}

bool ReadExactly(HANDLE pipe, char* out, DWORD size) {
  while (size > 0) {
    DWORD got = 0;
    if (!ReadFile(pipe, out, size, &got, nullptr) || got == 0) return false;
    out += got;
    size -= got;
  }
  return true;
}

bool Send(HANDLE pipe, std::uint32_t op, const std::string& json) {
  std::string frame;
  for (const std::uint32_t word :
       {op, static_cast<std::uint32_t>(json.size())}) {
    for (int shift = 0; shift < 32; shift += 8) {
      frame += static_cast<char>((word >> shift) & 0xFF);
    }
  }
  frame += json;
  DWORD wrote = 0;
  return WriteFile(pipe, frame.data(), static_cast<DWORD>(frame.size()), &wrote,
                   nullptr) &&
         wrote == frame.size();
}

DWORD WINAPI Serve(void* parameter) {
  const HANDLE pipe = parameter;
  const long connection = InterlockedIncrement(&connections);
  Log({{"event", "connected"}, {"connection", connection}});
  for (;;) {
    unsigned char header[8];
    if (!ReadExactly(pipe, reinterpret_cast<char*>(header), 8)) break;
    const std::uint32_t op = header[0] | header[1] << 8 | header[2] << 16 |
                             static_cast<std::uint32_t>(header[3]) << 24;
    const std::uint32_t length = header[4] | header[5] << 8 | header[6] << 16 |
                                 static_cast<std::uint32_t>(header[7]) << 24;
    if (length > 1024 * 1024) break;
    std::string json(length, '\0');
    if (length > 0 && !ReadExactly(pipe, &json[0], length)) break;
    const Json data = Json::parse(json, nullptr, false);
    Log({{"connection", connection},
         {"op", op},
         {"data", data.is_discarded() ? Json(json) : data},
         {"bytes", length}});
    if (op == 0) {
      const std::string id =
          data.is_object() && data.value("client_id", Json()).is_string()
              ? data["client_id"].get<std::string>()
              : "";
      if (refused.count(id) > 0) {
        const Json why = {{"code", 4000}, {"message", "Invalid Client ID"}};
        Send(pipe, 1,
             Json{{"cmd", "DISPATCH"},
                  {"evt", "ERROR"},
                  {"nonce", nullptr},
                  {"data", why}}
                 .dump());
        Send(pipe, 2, why.dump());
        break;
      }
      Send(pipe, 1,
           Json{{"cmd", "DISPATCH"},
                {"evt", "READY"},
                {"nonce", nullptr},
                {"data",
                 {{"v", 1},
                  {"config", {{"environment", "production"}}},
                  {"user", {{"id", "1"}, {"username", "stand-in"}}}}}}
               .dump());
      Send(pipe, 3,
           Json{{"stand_in", "ping"}, {"connection", connection}}.dump());
    } else if (op == 1 && data.is_object() &&
               data.value("cmd", "") == "SET_ACTIVITY") {
      const Json args = data.value("args", Json::object());
      Send(pipe, 1,
           Json{{"cmd", "SET_ACTIVITY"},
                {"evt", nullptr},
                {"nonce", data.value("nonce", Json())},
                {"data", args.value("activity", Json())}}
               .dump());
    } else if (op == 3) {
      Send(pipe, 4, json);
    } else if (op == 2) {
      break;
    }
  }
  Log({{"event", "closed"}, {"connection", connection}});
  FlushFileBuffers(pipe);
  DisconnectNamedPipe(pipe);
  CloseHandle(pipe);
  return 0;
}

DWORD WINAPI Listen(void* parameter) {
  const std::wstring& name = *static_cast<const std::wstring*>(parameter);
  bool told = false;
  for (;;) {
    const HANDLE pipe =
        CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX,
                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                         PIPE_UNLIMITED_INSTANCES, 65536, 65536, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
      std::fprintf(stderr, "cannot make the pipe: %lu\n", GetLastError());
      ExitProcess(1);
    }
    if (!told) {
      Log({{"event", "listening"}});
      told = true;
    }
    if (!ConnectNamedPipe(pipe, nullptr) &&
        GetLastError() != ERROR_PIPE_CONNECTED) {
      CloseHandle(pipe);
      continue;
    }
    const HANDLE thread = CreateThread(nullptr, 0, Serve, pipe, 0, nullptr);
    if (thread) {
      CloseHandle(thread);
    } else {
      CloseHandle(pipe);
    }
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring log;
  std::wstring number = L"0";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::wstring option = argv[i];
    if (option == L"--log") {
      log = argv[i + 1];
    } else if (option == L"--pipe") {
      number = argv[i + 1];
    } else if (option == L"--refuse") {
      const std::wstring id = argv[i + 1];
      refused.insert(std::string(id.begin(), id.end()));
    } else {
      return 2;
    }
  }
  log_file = log.empty() ? nullptr : _wfopen(log.c_str(), L"ab");
  if (!log_file) return 2;
  static const std::wstring name = L"\\\\.\\pipe\\discord-ipc-" + number;
  const HANDLE listener = CreateThread(
      nullptr, 0, Listen, const_cast<std::wstring*>(&name), 0, nullptr);
  if (!listener) return 1;
  char line[256];
  while (std::fgets(line, sizeof line, stdin)) {
    if (std::string(line).rfind("quit", 0) == 0) break;
  }
  Log({{"event", "quit"}});
  ExitProcess(0);
}
