// A DDE client in a process of its own. Exit code: 0 connected to "WinAmp"
// with topic "EVALUATE" and got no data for a request, 1 no such service,
// 2 DDE did not start, 3 the request returned data, 4 the service also took
// another topic.
#include <windows.h>

#include <ddeml.h>

namespace {
HDDEDATA CALLBACK Callback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR,
                           ULONG_PTR) {
  return nullptr;
}
}  // namespace

int main() {
  DWORD instance = 0;
  if (DdeInitializeA(&instance, Callback, APPCMD_CLIENTONLY, 0) !=
      DMLERR_NO_ERROR) {
    return 2;
  }
  const HSZ service = DdeCreateStringHandleA(instance, "WinAmp", CP_WINANSI);
  const HSZ topic = DdeCreateStringHandleA(instance, "EVALUATE", CP_WINANSI);
  const HSZ item = DdeCreateStringHandleA(instance, "title", CP_WINANSI);
  const HSZ other = DdeCreateStringHandleA(instance, "PLAYLIST", CP_WINANSI);
  int result = 1;
  if (const HCONV conversation =
          DdeConnect(instance, service, topic, nullptr)) {
    DWORD status = 0;
    const HDDEDATA data = DdeClientTransaction(
        nullptr, 0, conversation, item, CF_TEXT, XTYP_REQUEST, 2000, &status);
    char poke[] = "x";
    DdeClientTransaction(reinterpret_cast<LPBYTE>(poke), sizeof(poke),
                         conversation, item, CF_TEXT, XTYP_POKE, 2000, &status);
    result = data ? 3 : 0;
    DdeDisconnect(conversation);
    if (const HCONV wrong = DdeConnect(instance, service, other, nullptr)) {
      DdeDisconnect(wrong);
      result = 4;
    }
  }
  DdeFreeStringHandle(instance, other);
  DdeFreeStringHandle(instance, item);
  DdeFreeStringHandle(instance, topic);
  DdeFreeStringHandle(instance, service);
  DdeUninitialize(instance);
  return result;
}
