#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/songs/song_outputs.h"
#include "receiver/songs/song_text.h"
#include "receiver/system/files.h"

namespace receiver {

class Thread;

// Keeps the song files in `folder` at the latest song, on a thread of its
// own: a file that cannot be replaced now (a program holds
// it open without delete sharing) is tried again later, less and less often,
// and always with the newest contents. A file's first failure is printed,
// and so is its recovery; nothing per retry. cover.jpg goes the same way.
class SongFileWriter {
 public:
  // A file's first failure (with what went wrong) and its recovery (with an
  // empty `error`), on the writer's thread; it must not wait.
  using FileHealth =
      std::function<void(const std::string& name, const std::string& error)>;

  explicit SongFileWriter(const std::wstring& folder, FileHealth health = {});
  SongFileWriter(const SongFileWriter&) = delete;
  SongFileWriter& operator=(const SongFileWriter&) = delete;
  ~SongFileWriter();

  // False when its thread could not start: no file would ever be written.
  bool started() const;

  // Returns at once; the files (names in the folder) follow, each replaced
  // with `durability`.
  void Write(std::vector<OutputFile> files,
             Durability durability = Durability::kQuick);
  // Returns at once; the file `name` in the folder goes, as a write would.
  void Remove(const std::string& name);

  // Adds `row` to the file `name` under the folder's log\ (made when
  // missing), after `start` when the file is new; flushed at once.
  void Append(std::string name, std::string start, std::string row);

  // Tries what is still pending once more and ends the thread; returns
  // when it has, `wait_ms` at most: a stuck disk is not waited for.
  void Finish(unsigned long wait_ms = kFinishWaitMs);

  static constexpr unsigned long kFinishWaitMs = 2000;

  struct State;

 private:
  std::shared_ptr<State> state_;
  std::unique_ptr<Thread> thread_;
};

}  // namespace receiver
