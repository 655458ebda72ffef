#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace receiver {

class Thread;

// Looks at a file's time and size twice a second, on a thread of its own,
// and hands over its bytes once a change has settled; a file that is gone
// is no change. A settled change too large to be a settings file goes to
// `refused`, as a line to tell.
class FileWatch {
 public:
  FileWatch(std::wstring path, std::function<void(std::string)> changed,
            std::function<void(std::string)> refused);
  FileWatch(const FileWatch&) = delete;
  FileWatch& operator=(const FileWatch&) = delete;
  ~FileWatch();

  bool started() const;
  // After it returns `changed` is not called again.
  void Stop();

  struct State;

 private:
  std::shared_ptr<State> state_;
  std::unique_ptr<Thread> thread_;
};

}  // namespace receiver
