#include "receiver/web/control_page.h"

#include "receiver/web/html.h"
#include "receiver/web/web_files.h"

namespace receiver {

std::string ControlPageHtml() {
  return FillPage(
      web_files::kControlHtml,
      {{"style", std::string(web_files::kControlCss)},
       {"script", std::string(web_files::kControlJs)},
       {"settings_script", std::string(web_files::kControlSettingsJs)}});
}

}  // namespace receiver
