#include "plugin/lifecycle.h"

#include <ddeml.h>

#include "plugin/error_box.h"
#include "plugin/host_interface.h"
#include "plugin/plugin_record.h"
#include "plugin/trigger.h"
#include "settings/settings_dialog.h"
#include "settings/settings_store.h"

namespace plugin {

namespace {

constexpr char kPlayerMissing[] = "WinAmp Trackwire requires WinAmp X.XX";
constexpr char kDdeFailed[] = "Unable to initialize DDE";
constexpr char kServiceName[] = "WinAmp";
constexpr char kTopicName[] = "EVALUATE";
constexpr UINT kDdeFlags = 0x3CD000;
static_assert(kDdeFlags == (CBF_FAIL_SELFCONNECTIONS | CBF_FAIL_ADVISES |
                            CBF_FAIL_EXECUTES | CBF_SKIP_CONNECT_CONFIRMS |
                            CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS |
                            CBF_SKIP_DISCONNECTS),
              "the DDE filter flags");

DWORD dde_instance = 0;

// Owns one DDE string handle of dde_instance; zero is empty.
class DdeString {
 public:
  DdeString() = default;
  DdeString(const DdeString&) = delete;
  DdeString& operator=(const DdeString&) = delete;
  ~DdeString() { Reset(); }
  bool Create(const char* text) {
    Reset();
    handle_ = DdeCreateStringHandleA(dde_instance, text, CP_WINANSI);
    return handle_ != nullptr;
  }
  void Reset() {
    if (handle_ != nullptr && dde_instance != 0) {
      DdeFreeStringHandle(dde_instance, handle_);
    }
    handle_ = nullptr;
  }
  HSZ get() const { return handle_; }

 private:
  HSZ handle_ = nullptr;
};

DdeString service_name;
DdeString topic_name;

// The service only announces that the plug-in is there: a client may connect
// to the topic "EVALUATE", and every transaction is answered with no data.
HDDEDATA CALLBACK DdeCallback(UINT type, UINT, HCONV, HSZ topic, HSZ, HDDEDATA,
                              ULONG_PTR, ULONG_PTR) {
  if (type == XTYP_CONNECT && topic_name.get() != nullptr &&
      DdeCmpStringHandles(topic, topic_name.get()) == 0) {
    return reinterpret_cast<HDDEDATA>(TRUE);
  }
  return nullptr;
}

bool PlayerAnswers() {
  const HWND player = FindWindowA(kPlayerWindowClass, nullptr);
  return player != nullptr &&
         SendMessageA(player, kHostMessage, 0, kCommandVersion) != 0;
}

// Ends the DDE instance and every string handle made in it.
void EndDde() {
  topic_name.Reset();
  service_name.Reset();
  if (dde_instance != 0) DdeUninitialize(dde_instance);
  dde_instance = 0;
}

bool StartDde() {
  if (DdeInitializeA(&dde_instance, DdeCallback, kDdeFlags, 0) !=
      DMLERR_NO_ERROR) {
    dde_instance = 0;
    return false;
  }
  return service_name.Create(kServiceName) && topic_name.Create(kTopicName) &&
         DdeNameService(dde_instance, service_name.get(), nullptr,
                        DNS_REGISTER) != nullptr;
}

}  // namespace

bool AttachToPlayer() {
  const char* failure = nullptr;
  if (!PlayerAnswers()) {
    failure = kPlayerMissing;
  } else if (!StartDde()) {
    failure = kDdeFailed;
  }
  if (failure == nullptr) return true;
  // The callback lives in this module: no instance may outlive a failed load.
  EndDde();
  ShowErrorBox(failure, kLoadErrorCaption);
  TriggerTest();
  return false;
}

void DetachFromPlayer(bool process_ending) {
  StopTimers();
  if (!process_ending) Quit();
}

int Init() {
  try {
    host_window = plugin_record.host_window;
    settings::LoadSettings(
        reinterpret_cast<const char*>(SendHostCommand(kCommandSettingsFolder)));
  } catch (...) {
    // Out of memory while loading: the defaults or part of the file stand.
  }
  StartArmingTimer();
  return 0;
}

void Config() {
  try {
    settings::ShowSettingsDialog();
  } catch (...) {
  }
}

void Quit() {
  if (dde_instance != 0 && service_name.get() != nullptr) {
    DdeNameService(dde_instance, service_name.get(), nullptr, DNS_UNREGISTER);
  }
  EndDde();
}

}  // namespace plugin
