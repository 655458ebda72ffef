#include "receiver/lastfm/lastfm_answers.h"

#include <utility>

#include <nlohmann/json.hpp>

namespace receiver {

namespace {

using Json = nlohmann::json;

Json Parse(std::string_view body) {
  return Json::parse(body.begin(), body.end(), nullptr, false);
}

std::optional<std::string> Text(const Json& object, const char* name) {
  if (!object.is_object()) return std::nullopt;
  const auto found = object.find(name);
  if (found == object.end() || !found->is_string()) return std::nullopt;
  std::string text = found->get<std::string>();
  if (text.empty()) return std::nullopt;
  return text;
}

}  // namespace

LastFmError LastFmErrorOf(std::string_view body) {
  LastFmError error;
  const Json json = Parse(body);
  if (!json.is_object()) return error;
  const auto code = json.find("error");
  if (code == json.end() || !code->is_number_integer()) return error;
  error.code = code->get<int>();
  error.message = Text(json, "message").value_or("");
  return error;
}

Reply LastFmJudged(Reply reply) {
  if (!reply.answered || reply.too_large) return reply;
  const LastFmError error = LastFmErrorOf(reply.body);
  if (error.code == 0) return reply;
  const std::string words =
      "(error " + std::to_string(error.code) +
      (error.message.empty() ? "" : ": " + error.message) + ")";
  switch (error.code) {
    case 9:
      reply.status = 401;
      reply.refusal = "refused the session " + words +
                      "; connect Last.fm again on the control page";
      break;
    case 10:
    case 26:
      reply.status = 403;
      reply.refusal = "refused the API key " + words +
                      "; check key in [lastfm] in trackwire_receiver.ini";
      break;
    case 13:
      reply.status = 403;
      reply.refusal = "refused the signature " + words +
                      "; check secret in [lastfm] in trackwire_receiver.ini";
      break;
    case 8:
    case 11:
    case 16:
      reply.status = 503;
      break;
    case 29:
      reply.status = 429;
      break;
    default:
      // Not worth another try, whatever the status: the service said no.
      if (reply.status < 400 || reply.status >= 500) reply.status = 400;
      break;
  }
  return reply;
}

std::optional<std::string> LastFmToken(std::string_view body) {
  return Text(Parse(body), "token");
}

std::optional<LastFmSession> LastFmSessionOf(std::string_view body) {
  const Json json = Parse(body);
  if (!json.is_object() || !json.contains("session")) return std::nullopt;
  const Json& session = json["session"];
  std::optional<std::string> key = Text(session, "key");
  if (!key) return std::nullopt;
  LastFmSession found;
  found.key = std::move(*key);
  found.name = Text(session, "name").value_or("");
  return found;
}

}  // namespace receiver
