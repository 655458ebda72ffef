#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/text/template.h"

// The services the receiver sends each song to, all off by default: the
// [covers], [icecast], [shoutcast], [listenbrainz] and [webhook NAME]
// sections of trackwire_receiver.ini.
namespace receiver {

inline constexpr std::string_view kSealedPrefix = "dpapi:";
inline constexpr std::string_view kDefaultTargetTemplate =
    "{artist| - }{title}";
inline constexpr std::string_view kDefaultWebhookBody =
    R"({"artist":{artist:json},"album":{album:json},"title":{title:json}})";

struct CoverSettings {
  bool enabled = false;
  std::string placeholder;  // a picture file used when none is found
  std::string musicbrainz = "https://musicbrainz.org";
  std::string coverart = "https://coverartarchive.org";
  std::string contact;  // for the User-Agent; empty: kDefaultContact
};

struct IcecastSettings {
  std::string url;  // http://host:8000/admin/metadata?mount=/live
  std::string user = "source";
  std::string password;
  std::string template_text = std::string(kDefaultTargetTemplate);
  Template parts = *ParseTemplate(kDefaultTargetTemplate).parts;
};

struct ShoutcastSettings {
  std::string url;  // http://host:8000, or one ending in /admin.cgi
  int version = 1;
  int sid = 1;  // version 2 only
  std::string password;
  std::string template_text = std::string(kDefaultTargetTemplate);
  Template parts = *ParseTemplate(kDefaultTargetTemplate).parts;
};

struct ListenBrainzSettings {
  std::string token;
  std::string url = "https://api.listenbrainz.org";
};

struct WebhookSettings {
  std::string name;  // [webhook NAME]
  std::string url;
  std::string method = "POST";       // GET, POST, PUT or PATCH
  std::vector<std::string> headers;  // "Name: value"
  std::string body_text = std::string(kDefaultWebhookBody);
  // Parsed with TemplateBraces::kJson.
  Template body =
      *ParseTemplate(kDefaultWebhookBody, TemplateBraces::kJson).parts;
};

struct TargetSettings {
  CoverSettings covers;
  std::optional<IcecastSettings> icecast;            // when its url is set
  std::optional<ShoutcastSettings> shoutcast;        // when its url is set
  std::optional<ListenBrainzSettings> listenbrainz;  // when its token is set
  std::vector<WebhookSettings> webhooks;             // those with a url
};

// Equal when every setting is (templates by their text): a target is started
// again only when its own settings changed.
bool operator==(const CoverSettings& a, const CoverSettings& b);
bool operator==(const IcecastSettings& a, const IcecastSettings& b);
bool operator==(const ShoutcastSettings& a, const ShoutcastSettings& b);
bool operator==(const ListenBrainzSettings& a, const ListenBrainzSettings& b);
bool operator==(const WebhookSettings& a, const WebhookSettings& b);
bool operator==(const TargetSettings& a, const TargetSettings& b);
bool operator!=(const CoverSettings& a, const CoverSettings& b);
bool operator!=(const IcecastSettings& a, const IcecastSettings& b);
bool operator!=(const ShoutcastSettings& a, const ShoutcastSettings& b);
bool operator!=(const ListenBrainzSettings& a, const ListenBrainzSettings& b);
bool operator!=(const WebhookSettings& a, const WebhookSettings& b);
bool operator!=(const TargetSettings& a, const TargetSettings& b);

// Turns a "dpapi:..." value back into the clear one; nullopt when it cannot.
using Unseal =
    std::function<std::optional<std::string>(std::string_view sealed)>;
// Turns a clear value into "dpapi:..."; nullopt when it cannot.
using Seal = std::function<std::optional<std::string>(std::string_view clear)>;

// Whether `key` (lower case) in the section `section` (the lower-case text
// between the brackets, e.g. "webhook discord") holds a secret: [icecast]
// and [shoutcast] password, [listenbrainz] token, a webhook's url and header.
bool IsSecretKey(std::string_view section, std::string_view key);

// The settings file's text (UTF-8) with each secret still in clear (not
// empty, not starting with "dpapi:") replaced by seal(value), quotes
// dropped; the rest of its line (indentation, key, a comment, the line end)
// and every other line stay byte for byte. nullopt when no secret was in
// clear or `seal` failed for any.
std::optional<std::string> SealSecrets(std::string_view text, const Seal& seal);

// Reads the target sections for ReadSettings, one line at a time.
class TargetReader {
 public:
  TargetReader(const TargetSettings& previous, const Unseal& unseal);

  // Whether `inside` (the text between the brackets, as written) is a target
  // section; if so the following keys go to it. `problem` is set when the
  // header itself is not taken (the section's keys are then skipped).
  bool Section(std::string_view inside, std::string& problem);

  // One "key = value" of the current section (key in lower case); a problem
  // without its "line N: ", or empty.
  std::string Key(const std::string& key, const std::string& value);

  // The targets read; those without a url (token) or with a secret that
  // could not be decrypted are left out.
  TargetSettings Take();

 private:
  enum class Kind {
    kCovers,
    kIcecast,
    kShoutcast,
    kListenBrainz,
    kWebhook,
    kSkip
  };
  struct Webhook {
    WebhookSettings settings;
    bool off = false;
  };
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
  std::string section_;  // as in problems: "[webhook discord]"
  TargetSettings settings_;
  IcecastSettings icecast_;
  ShoutcastSettings shoutcast_;
  ListenBrainzSettings listenbrainz_;
  bool icecast_off_ = false;
  bool shoutcast_off_ = false;
  bool listenbrainz_off_ = false;
  std::vector<Webhook> webhooks_;
};

}  // namespace receiver
