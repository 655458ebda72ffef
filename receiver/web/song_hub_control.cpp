// The hub's side of the control page: its calls, the last report, the test
// song and the problems board.
#include <utility>

#include "receiver/services/relay.h"
#include "receiver/settings/settings_form.h"
#include "receiver/songs/song_outputs.h"
#include "receiver/system/clock.h"
#include "receiver/system/console.h"
#include "receiver/web/settings_desk.h"
#include "receiver/web/song_hub.h"

namespace receiver {

namespace {

ServiceHealth BoardHealth(TargetQueue::Health health) {
  switch (health) {
    case TargetQueue::Health::kWaiting:
      return ServiceHealth::kWaiting;
    case TargetQueue::Health::kWorking:
      return ServiceHealth::kWorking;
    case TargetQueue::Health::kFailing:
      return ServiceHealth::kFailing;
    case TargetQueue::Health::kRefused:
      return ServiceHealth::kRefused;
    case TargetQueue::Health::kRedirected:
      return ServiceHealth::kRedirected;
  }
  return ServiceHealth::kWaiting;
}

}  // namespace

void SongHub::Report(Song song, const Peer& from) {
  last_report_ = LastReport{song, from.address};
  Store(std::move(song));
}

void SongHub::Control(const ControlCall& call, const ControlReply& reply) {
  if (call.name.rfind("settings", 0) == 0 && settings_desk_) {
    return settings_desk_->Handle(call, reply);
  }
  if (call.name == "state" && !call.post) return reply(200, StateJson());
  if (call.name == "test" && call.post) {
    std::optional<Song> song = ParseTestSong(call.body);
    if (!song) {
      return reply(400,
                   "{\"error\":\"a test song needs an artist, an album or a "
                   "title\"}\n");
    }
    StoreTest(std::move(*song));
    return reply(200, StateJson());
  }
  if (call.name == "clear" && call.post) {
    Clear();
    return reply(200, StateJson());
  }
  if (call.name == "lastfm/connect" && call.post && relay_) {
    lastfm_store_problem_.clear();
    // As the relay will tell it in a moment.
    lastfm_.stage = "token";
    lastfm_.page.clear();
    lastfm_.problem.clear();
    relay_->ConnectLastFm();
    return reply(200, StateJson());
  }
  if (call.name == "lastfm/disconnect" && call.post && relay_ &&
      settings_desk_) {
    relay_->StopLastFm();
    lastfm_store_problem_.clear();
    return settings_desk_->Set(
        "lastfm", "session", std::nullopt,
        [this, reply](const std::string& problem) {
          if (problem.empty()) return reply(200, StateJson());
          reply(500, SettingsErrorJson("not disconnected: " + problem));
        });
  }
  reply(404, "{\"error\":\"no such call\"}\n");
}

std::string SongHub::StateJson() const {
  ControlFacts facts;
  facts.listen = listen_;
  facts.page = page_;
  facts.folder = folder_;
  facts.files = SongFileNames(receiver_);
  facts.song = song_.Get();
  facts.idle = idle_;
  facts.last = last_report_;
  facts.history_json = HistoryJson();
  facts.problems = &problems_;
  facts.lastfm = lastfm_;
  if (!lastfm_store_problem_.empty()) {
    facts.lastfm.problem = lastfm_store_problem_;
  }
  return ControlStateJson(facts);
}

void SongHub::StoreTest(Song song) {
  idle_ = false;
  song.received = settings_.now ? settings_.now() : IsoUtc(UnixSecondsNow());
  song.cover.clear();
  cover_.reset();
  // A cover still on its way belongs to the song before.
  ++song_number_;
  song_.Set(song);
  if (stored_) stored_(song);
  last_song_ = std::chrono::steady_clock::now();
  files_.Write(SongFiles(receiver_, format_, &song, false));
  PrintLine(LocalClockText() + "  (test song) " + TextLine(std::nullopt, song));
  Broadcast(SongEvent(song));
  ArmIdle();
  TellChat();
}

void SongHub::SetTarget(const TargetReport& report) {
  if (report.gone) {
    problems_.RemoveService(report.name);
  } else {
    problems_.SetService(report.name, BoardHealth(report.health),
                         report.problem, UnixSecondsNow());
  }
  TellProblems();
}

void SongHub::SetLastFm(LastFmStatus status) { lastfm_ = std::move(status); }

void SongHub::StoreLastFmSession(std::string session) {
  if (!settings_desk_) return;
  settings_desk_->Set("lastfm", "session", std::move(session),
                      [this](const std::string& problem) {
                        lastfm_store_problem_ =
                            problem.empty()
                                ? std::string()
                                : "Last.fm allowed the receiver, but the "
                                  "session could not be written into the "
                                  "settings file: " +
                                      problem;
                      });
}

void SongHub::SetFileHealth(const std::string& name, const std::string& error) {
  problems_.SetFile(name, error, UnixSecondsNow());
  TellProblems();
}

void SongHub::SettingsRefused(const std::string& why) {
  Problem problem;
  problem.text = why;
  problems_.SetSettings({std::move(problem)}, UnixSecondsNow());
  TellProblems();
}

// Until the reader names each problem's section: "line 7: what is wrong".
void SongHub::SetSettingsProblems(
    const decltype(SettingsRead::problems)& problems,
    const std::string& file_problem) {
  std::vector<Problem> board;
  if (!file_problem.empty()) {
    Problem problem;
    problem.text = file_problem;
    board.push_back(std::move(problem));
  }
  for (const SettingsProblem& read : problems) {
    Problem problem;
    if (read.line > 0) problem.line = static_cast<int>(read.line);
    problem.section = read.section;
    problem.text = read.text;
    board.push_back(std::move(problem));
  }
  problems_.SetSettings(std::move(board), UnixSecondsNow());
  TellProblems();
}

void SongHub::TellProblems() {
  const std::size_t count = problems_.Count();
  if (told_problems_ == count) return;
  told_problems_ = count;
  if (problems_hook_) problems_hook_(count);
}

}  // namespace receiver
