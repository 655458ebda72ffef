#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The song files' writer without its thread: which file is due, always with
// its newest bytes, and when one that could not be replaced is tried again.
namespace receiver {

class PendingFiles {
 public:
  struct File {
    std::string name;  // in the song folder, UTF-8
    std::string bytes;
    bool flushed = false;  // on the disk before its name points at it
    bool remove = false;   // the file goes instead
  };

  // The newest bytes of `file.name`; they replace any still waiting.
  void Put(File file);

  // The files due at `now_ms` (every waiting one when `all`), taken out.
  // `wait_ms` is then the time until the next is due; nothing when none
  // waits.
  std::vector<File> TakeDue(std::uint64_t now_ms, bool all,
                            std::optional<std::uint64_t>& wait_ms);

  // A taken file's try: `error` is empty when it was written. A failure
  // waits, longer and longer, unless newer bytes came meanwhile, which go
  // then. Returns a line to tell (the first failure, and the first success
  // after one), or an empty string.
  std::string Tried(File file, const std::string& error, std::uint64_t now_ms);

 private:
  struct Slot {
    std::optional<File> pending;
    bool failing = false;
    std::uint64_t delay_ms = 0;
    std::uint64_t next_try = 0;  // 0: at once
  };
  Slot& SlotFor(const std::string& name);

  // By file name, in the order they first came.
  std::vector<std::pair<std::string, Slot>> slots_;
};

}  // namespace receiver
