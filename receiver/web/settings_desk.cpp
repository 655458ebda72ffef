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

using Reply = SettingsDesk::Reply;

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

// Writes the edit's bytes unless the file changed since `bytes` were read.
Reply Save(const SettingsDesk::State& state, const std::string& bytes,
           SettingsAnswer answer) {
  if (!answer.write) return {answer.status, std::move(answer.json)};
  // A save in Notepad since the bytes were read is not written over.
  std::string problem;
  const std::optional<std::string> now =
      ReadBoundedFile(state.path, problem, kMaxSettingsFile);
  if (!problem.empty()) return {500, SettingsErrorJson(problem)};
  if (now.value_or(std::string()) != bytes) {
    return {409, SettingsErrorJson(kSettingsConflict)};
  }
  const std::string failure =
      ReplaceFileContents(state.path, *answer.write, Durability::kFlushed);
  if (!failure.empty()) {
    return {500, SettingsErrorJson("not saved: " + failure)};
  }
  return {200, std::move(answer.json)};
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
  return Save(state, *bytes, SettingsEdit(*bytes, call.body, save, context));
}

// One key set by the receiver itself; a file changed meanwhile is read
// again, a few times.
Reply SetKey(const SettingsDesk::State& state, const std::string& section,
             const std::string& key, const std::optional<std::string>& value,
             const std::optional<Song>& song) {
  Reply reply;
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::string problem;
    std::optional<std::string> bytes =
        ReadBoundedFile(state.path, problem, kMaxSettingsFile);
    if (!problem.empty()) return {500, SettingsErrorJson(problem)};
    if (!bytes) bytes.emplace();
    reply =
        Save(state, *bytes,
             SettingsEdit(*bytes, OneChangeJson(*bytes, section, key, value),
                          true, Context(song, state.format)));
    if (reply.status != 409) break;
  }
  return reply;
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
  Run(id, [state = state_, call, song = song_.Get()] {
    return Work(*state, call, song);
  });
}

void SettingsDesk::Set(std::string section, std::string key,
                       std::optional<std::string> value,
                       std::function<void(std::string)> done) {
  const std::uint64_t id = ++next_id_;
  waiting_[id] = [done = std::move(done)](int status, std::string json) {
    if (done) done(status == 200 ? std::string() : SettingsErrorText(json));
  };
  Run(id, [state = state_, section = std::move(section), key = std::move(key),
           value = std::move(value), song = song_.Get()] {
    return SetKey(*state, section, key, value, song);
  });
}

void SettingsDesk::Run(std::uint64_t id, std::function<Reply()> work) {
  const Thread thread([this, state = state_, id, work = std::move(work)] {
    Reply answer;
    try {
      const LockHold work_lock(state->work);
      answer = work();
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
