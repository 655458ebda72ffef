#include "receiver/web/refused_hosts.h"

#include "receiver/web/host_check.h"

namespace receiver {

std::optional<std::string> RefusedHosts::Note(const RefusedHost& refused) {
  const std::string name = refused.host ? HostName(*refused.host) : "";
  // No printable host holds a line end, so "\n" stands for none.
  const std::string key = !refused.host  ? "\n"
                          : name.empty() ? PrintableHost(*refused.host)
                                         : name;
  if (said_.size() >= kMaxSaid || !said_.insert(key).second) {
    return std::nullopt;
  }
  if (!refused.host) {
    return "trackwire_receiver: refused a request without Host from " +
           refused.peer + ": only this PC may leave it out";
  }
  return "trackwire_receiver: refused requests for the host name \"" +
         PrintableHost(*refused.host) +
         "\": not an IP address, localhost or this PC's name. If the "
         "plug-in reports to this PC by that name, start the receiver with "
         "--allow-host " +
         (name.empty() ? std::string("NAME") : name);
}

}  // namespace receiver
