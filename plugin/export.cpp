#include "plugin/lifecycle.h"
#include "plugin/plugin_record.h"

namespace plugin {

PluginRecord plugin_record = {
    kRecordVersion, kDescription, Init, Config, Quit, nullptr, nullptr,
};

}  // namespace plugin

// The DLL's only export (see gen_trackwire.def).
extern "C" plugin::PluginRecord* winampGetGeneralPurposePlugin() {
  return &plugin::plugin_record;
}
