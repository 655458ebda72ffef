#include "receiver/web/control_state.h"

#include <nlohmann/json.hpp>

#include "receiver/songs/clean_text.h"

namespace receiver {

namespace {

using Json = nlohmann::json;

Json SongJson(const Song& song) {
  Json json = {{"artist", song.artist},
               {"album", song.album},
               {"title", song.title},
               {"received", song.received}};
  return json;
}

const char* KindName(Problem::Kind kind) {
  switch (kind) {
    case Problem::Kind::kSettings:
      return "settings";
    case Problem::Kind::kService:
      return "service";
    case Problem::Kind::kFile:
      return "file";
  }
  return "settings";
}

const char* HealthName(ServiceHealth health) {
  switch (health) {
    case ServiceHealth::kWaiting:
      return "waiting";
    case ServiceHealth::kWorking:
      return "working";
    case ServiceHealth::kFailing:
      return "failing";
    case ServiceHealth::kRefused:
      return "refused";
    case ServiceHealth::kRedirected:
      return "redirected";
  }
  return "waiting";
}

}  // namespace

std::string ControlStateJson(const ControlFacts& facts) {
  Json state = {{"listen", facts.listen},
                {"page", facts.page},
                {"overlay", facts.page + "?overlay=1"},
                {"folder", facts.folder},
                {"idle", facts.idle}};
  state["song"] = facts.song ? SongJson(*facts.song) : Json();
  if (facts.last) {
    Json last = SongJson(facts.last->song);
    last["from"] = facts.last->from;
    state["last_report"] = std::move(last);
  } else {
    state["last_report"] = Json();
  }
  Json history = Json::parse(facts.history_json, nullptr, false);
  state["history"] = history.is_array() ? std::move(history) : Json::array();
  Json files = Json::array();
  for (const std::string& name : facts.files) {
    files.push_back({{"name", name}, {"path", facts.folder + "\\" + name}});
  }
  state["files"] = std::move(files);
  Json problems = Json::array();
  Json services = Json::array();
  if (facts.problems) {
    for (const Problem& problem : facts.problems->Open()) {
      Json item = {{"kind", KindName(problem.kind)},
                   {"subject", problem.subject},
                   {"section", problem.section},
                   {"text", problem.text},
                   {"since", IsoUtc(problem.since)}};
      item["line"] = problem.line ? Json(*problem.line) : Json();
      problems.push_back(std::move(item));
    }
    for (const ServiceState& service : facts.problems->services()) {
      services.push_back({{"name", service.name},
                          {"health", HealthName(service.health)},
                          {"problem", service.problem},
                          {"since", IsoUtc(service.since)}});
    }
  }
  state["problems"] = std::move(problems);
  state["services"] = std::move(services);
  state["lastfm"] = {{"set_up", facts.lastfm.set_up},
                     {"connected", facts.lastfm.connected},
                     {"stage", facts.lastfm.stage},
                     {"page", facts.lastfm.page},
                     {"problem", facts.lastfm.problem}};
  return state.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::optional<Song> ParseTestSong(std::string_view body) {
  const Json json = Json::parse(body, nullptr, false);
  if (!json.is_object()) return std::nullopt;
  const auto text = [&json](const char* name) {
    const auto found = json.find(name);
    return found != json.end() && found->is_string()
               ? CleanText(found->get<std::string>())
               : std::string();
  };
  Song song;
  song.artist = text("artist");
  song.album = text("album");
  song.title = text("title");
  if (song.artist.empty() && song.album.empty() && song.title.empty()) {
    return std::nullopt;
  }
  return song;
}

}  // namespace receiver
