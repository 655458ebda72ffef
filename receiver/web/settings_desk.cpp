#include "receiver/web/settings_desk.h"

#include <windows.h>

#include <exception>
#include <utility>

#include "receiver/settings/secrets.h"
#include "receiver/settings/settings_form.h"
#include "receiver/settings/settings_load.h"
#include "receiver/songs/current_song.h"
#include "receiver/system/code_page.h"
#include "receiver/system/files.h"
#include "receiver/system/lock.h"
#include "receiver/system/thread.h"

namespace receiver {

struct SettingsDesk::State {
  std::wstring path;
  std::optional<std::string> format;
  SRWLOCK work = SRWLOCK_INIT;  // one call at a time on the file
  SRWLOCK lock = SRWLOCK_INIT;  // for `post`
  std::function<void(std::function<void()>)> post;
};

namespace {

struct Reply {
  int status = 200;
  std::string json;
};

SettingsDeskContext Context(const std::optional<Song>& song,
                            const std::optional<std::string>& format) {
  SettingsDeskContext context;
  context.from_ansi = [](std::string_view ansi) {
    return CodePageToUtf8(ansi, CP_ACP);
  };
  context.unseal = [](std::string_view sealed) { return UnsealSecret(sealed); };
  context.seal = [](std::string_view clear) { return SealSecret(clear); };
  context.song = song;
  context.format = format;
  return context;
}

Reply Work(const SettingsDesk::State& state, const ControlCall& call,
           const std::optional<Song>& song) {
  const bool model = call.name == "settings";
  const bool save = call.name == "settings/save";
  if (!model && !save && call.name != "settings/check") {
    return {404, SettingsErrorJson("no such call")};
  }
  if (call.post == model) {
    return {405, SettingsErrorJson(model ? "GET settings" : "POST only")};
  }
  std::string problem;
  std::optional<std::string> bytes =
      ReadBoundedFile(state.path, problem, kMaxSettingsFile);
  if (!problem.empty()) return {500, SettingsErrorJson(problem)};
  // None there (taken away since the start): a save makes it again.
  if (!bytes) bytes.emplace();
  const SettingsDeskContext context = Context(song, state.format);
  if (model) return {200, SettingsModelJson(*bytes, context)};
  SettingsAnswer answer = SettingsEdit(*bytes, call.body, save, context);
  if (!answer.write) return {answer.status, std::move(answer.json)};
  // A save in Notepad since the bytes were read is not written over.
  const std::optional<std::string> now =
      ReadBoundedFile(state.path, problem, kMaxSettingsFile);
  if (!problem.empty()) return {500, SettingsErrorJson(problem)};
  if (now.value_or(std::string()) != *bytes) {
    return {409, SettingsErrorJson(kSettingsConflict)};
  }
  const std::string failure =
      ReplaceFileContents(state.path, *answer.write, Durability::kFlushed);
  if (!failure.empty()) {
    return {500, SettingsErrorJson("not saved: " + failure)};
  }
  return {200, std::move(answer.json)};
}

}  // namespace

SettingsDesk::SettingsDesk(std::wstring path, std::optional<std::string> format,
                           const CurrentSong& song,
                           std::function<void(std::function<void()>)> post)
    : song_(song), state_(std::make_shared<State>()) {
  state_->path = std::move(path);
  state_->format = std::move(format);
  state_->post = std::move(post);
}

SettingsDesk::~SettingsDesk() { Stop(); }

void SettingsDesk::Stop() {
  const LockHold hold(state_->lock);
  state_->post = nullptr;
}

void SettingsDesk::Handle(const ControlCall& call, const ControlReply& reply) {
  const std::uint64_t id = ++next_id_;
  waiting_[id] = reply;
  const Thread thread([this, state = state_, call, id, song = song_.Get()] {
    Reply answer;
    try {
      const LockHold work(state->work);
      answer = Work(*state, call, song);
    } catch (const std::exception& failure) {
      answer = {500, SettingsErrorJson(failure.what())};
    }
    const LockHold hold(state->lock);
    if (!state->post) return;
    state->post([this, id, answer = std::move(answer)] {
      Answer(id, answer.status, answer.json);
    });
  });
  if (!thread.started()) {
    Answer(id, 503,
           SettingsErrorJson("cannot start a thread for the settings file"));
  }
}

void SettingsDesk::Answer(std::uint64_t id, int status,
                          const std::string& json) {
  const auto found = waiting_.find(id);
  if (found == waiting_.end()) return;
  const ControlReply reply = std::move(found->second);
  waiting_.erase(found);
  reply(status, json);
}

}  // namespace receiver
