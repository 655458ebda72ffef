#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "receiver/web/handler.h"

namespace receiver {

class CurrentSong;

// The control page's calls whose names start with "settings": GET settings
// (the forms' model), POST settings/check and POST settings/save
// (SettingsEdit). The file is read and written on a thread of its own, one
// call at a time; the answer comes back on the server's thread, which never
// waits for the file.
class SettingsDesk {
 public:
  // `post` runs a function on the server's thread soon, from any thread.
  SettingsDesk(std::wstring path, std::optional<std::string> format,
               const CurrentSong& song,
               std::function<void(std::function<void()>)> post);
  SettingsDesk(const SettingsDesk&) = delete;
  SettingsDesk& operator=(const SettingsDesk&) = delete;
  ~SettingsDesk();

  // On the server's thread.
  void Handle(const ControlCall& call, const ControlReply& reply);
  // The receiver's own change of one key (none: removed), saved as a form's
  // would be; `done` hears what went wrong, or nothing, on the server's
  // thread.
  void Set(std::string section, std::string key,
           std::optional<std::string> value,
           std::function<void(std::string)> done);

  // After it returns nothing more is posted; the answers still waiting go
  // with the desk, on the server's thread.
  void Stop();

  struct State;
  struct Reply {
    int status = 200;
    std::string json;
  };

 private:
  void Answer(std::uint64_t id, int status, const std::string& json);
  // Runs `work` on a thread of its own, one at a time on the file, and its
  // answer as Answer(id, ...).
  void Run(std::uint64_t id, std::function<Reply()> work);

  const CurrentSong& song_;
  std::shared_ptr<State> state_;
  // The replies stay on the server's thread: a session is never let go
  // on another.
  std::map<std::uint64_t, ControlReply> waiting_;
  std::uint64_t next_id_ = 0;
};

}  // namespace receiver
