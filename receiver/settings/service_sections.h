#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "receiver/services/service_settings.h"
#include "receiver/settings/secret_keys.h"
#include "receiver/settings/settings_problem.h"

// The settings file's sections of the services: [covers], [icecast],
// [shoutcast], [listenbrainz], [lastfm], [webhook NAME] and [lyrics].
namespace receiver {

// Reads the target sections for ReadSettings, one line at a time.
class TargetReader {
 public:
  TargetReader(const TargetSettings& previous, const Unseal& unseal);

  // Whether `inside` (the text between the brackets, as written) is a target
  // section; if so the following keys go to it. `problem` is set when the
  // header itself is not taken (the section's keys are then skipped).
  bool Section(std::string_view inside, std::string& problem);

  // One "key = value" of the current section (key in lower case) on line
  // `line`; a problem without its line and section, or empty.
  std::string Key(const std::string& key, const std::string& value,
                  std::size_t line);

  // The targets read; those without a url (token) or with a secret that
  // could not be decrypted are left out.
  TargetSettings Take();

  // What only the whole section shows (a webhook's body against its
  // Content-Type); set by Take.
  const std::vector<SettingsProblem>& late_problems() const {
    return late_problems_;
  }

 private:
  enum class Kind {
    kCovers,
    kIcecast,
    kShoutcast,
    kListenBrainz,
    kLastFm,
    kWebhook,
    kLyrics,
    kSkip
  };
  struct Webhook {
    WebhookSettings settings;
    bool off = false;
    std::size_t body_line = 0;  // 0: no body line
    std::string section;        // as written: "[webhook Discord]"
    WebhookSettings before;     // as it was in use
  };
  std::string TakeKey(const std::string& key, const std::string& value);
  std::optional<std::string> Secret(const std::string& where,
                                    const std::string& value,
                                    std::string& problem);
  std::string CoversKey(const std::string& key, const std::string& value);
  std::string IcecastKey(const std::string& key, const std::string& value);
  std::string ShoutcastKey(const std::string& key, const std::string& value);
  std::string ListenBrainzKey(const std::string& key, const std::string& value);
  std::string WebhookKey(const std::string& key, const std::string& value);
  const WebhookSettings* PreviousWebhook() const;

  const TargetSettings& previous_;
  const Unseal& unseal_;
  Kind kind_ = Kind::kSkip;
  std::string section_key_;  // as IsSecretKey takes it: "webhook discord"
  TargetSettings settings_;
  IcecastSettings icecast_;
  ShoutcastSettings shoutcast_;
  ListenBrainzSettings listenbrainz_;
  bool icecast_off_ = false;
  bool shoutcast_off_ = false;
  bool listenbrainz_off_ = false;
  LastFmSettings lastfm_;
  bool lastfm_off_ = false;
  std::size_t lastfm_line_ = 0;
  std::vector<Webhook> webhooks_;
  std::size_t line_ = 0;
  std::vector<SettingsProblem> late_problems_;
};

}  // namespace receiver
