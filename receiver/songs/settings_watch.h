#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "receiver/text/settings_file.h"

namespace receiver {

class Thread;

// The folder's trackwire_receiver.ini, written with every setting at its
// default when there is none. `problem` says what went wrong with the file
// itself; the settings are then the defaults.
SettingsRead LoadSettingsFile(const std::wstring& folder, std::string& problem);

// A settings file is a few kilobytes; more is not one.
inline constexpr std::size_t kMaxSettingsFile = 256 * 1024;

// Nothing when the file cannot be read or holds more than `max_bytes`;
// `problem` says why unless it is simply not there.
std::optional<std::string> ReadSmallFile(
    const std::wstring& path, std::string& problem,
    std::size_t max_bytes = kMaxSettingsFile);

// Rewrites the settings file at `path`, whose bytes were just read, with each
// password or token written in clear encrypted for this Windows user, so that
// the file can be shown. Returns an empty string, or what went wrong.
std::string SealSettingsFile(const std::wstring& path, std::string_view bytes);

// The settings file as UTF-8, from the bytes Notepad saved; sealed secrets
// in clear.
SettingsRead ReadSettingsBytes(std::string_view bytes,
                               const ReceiverSettings& previous);

// Looks at a file's time and size twice a second, on a thread of its own,
// and hands over its bytes once a change has settled; a file that is gone
// is no change.
class FileWatch {
 public:
  FileWatch(std::wstring path, std::function<void(std::string)> changed);
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
