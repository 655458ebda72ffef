#include "receiver/system/port_owner.h"

#include <winsock2.h>
#include <ws2tcpip.h>
// After the socket headers, which it needs.
#include <iphlpapi.h>

#include <algorithm>
#include <cstddef>
#include <vector>

#include "receiver/system/code_page.h"
#include "receiver/system/handles.h"

namespace receiver {

namespace {

// The listeners of one address family with their processes; empty when the
// table cannot be read.
std::vector<unsigned char> ListenerTable(ULONG family) {
  std::vector<unsigned char> table;
  DWORD size = 0;
  // The table may grow between asking its size and reading it.
  for (int attempt = 0; attempt < 4; ++attempt) {
    table.resize(size);
    const DWORD result =
        GetExtendedTcpTable(table.empty() ? nullptr : table.data(), &size,
                            FALSE, family, TCP_TABLE_OWNER_PID_LISTENER, 0);
    if (result == NO_ERROR) return table;
    if (result != ERROR_INSUFFICIENT_BUFFER) break;
  }
  return {};
}

template <typename Table>
std::optional<DWORD> ListeningProcess(const std::vector<unsigned char>& bytes,
                                      int port) {
  constexpr std::size_t kRows = offsetof(Table, table);
  if (bytes.size() < kRows) return std::nullopt;
  const auto* table = reinterpret_cast<const Table*>(bytes.data());
  const std::size_t rows = std::min<std::size_t>(
      table->dwNumEntries, (bytes.size() - kRows) / sizeof(table->table[0]));
  for (std::size_t i = 0; i < rows; ++i) {
    const auto& row = table->table[i];
    if (ntohs(static_cast<u_short>(row.dwLocalPort)) == port) {
      return row.dwOwningPid;
    }
  }
  return std::nullopt;
}

std::string ProgramOf(DWORD process_id) {
  const KernelHandle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
  if (!process) return {};
  std::wstring path(32768, L'\0');
  DWORD length = static_cast<DWORD>(path.size());
  if (!QueryFullProcessImageNameW(process.get(), 0, path.data(), &length)) {
    return {};
  }
  path.resize(length);
  const std::size_t slash = path.find_last_of(L"\\/");
  return WideToUtf8(slash == std::wstring::npos ? path
                                                : path.substr(slash + 1));
}

}  // namespace

std::optional<PortOwner> FindPortOwner(int port) {
  std::optional<DWORD> process_id =
      ListeningProcess<MIB_TCPTABLE_OWNER_PID>(ListenerTable(AF_INET), port);
  if (!process_id) {
    process_id = ListeningProcess<MIB_TCP6TABLE_OWNER_PID>(
        ListenerTable(AF_INET6), port);
  }
  // 0, the idle process, never listens: Windows does not know the owner.
  if (!process_id || *process_id == 0) return std::nullopt;
  return PortOwner{*process_id, ProgramOf(*process_id)};
}

}  // namespace receiver
