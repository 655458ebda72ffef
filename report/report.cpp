#include "report/report.h"

#include "report/http_sender.h"
#include "report/probe.h"
#include "report/request.h"
#include "report/url_encode.h"
#include "settings/settings_store.h"

namespace report {

void SendReport() {
  const CURLEncode encoder;
  const std::string title =
      StripArtistPrefix(TrackState.last_title, TrackState.artist);
  const std::string encoded_title = encoder.Encode(title);
  const std::string encoded_artist = encoder.Encode(TrackState.artist);
  const std::string encoded_album = encoder.Encode(TrackState.album);
  const std::string host = settings::GetHost();
  const std::string text =
      ComposeRequest(settings::GetRequestPath(), host, encoded_artist,
                     encoded_album, encoded_title);
  SendRequest(host.c_str(), ParsePort(settings::GetPort()), text.c_str());
}

}  // namespace report
