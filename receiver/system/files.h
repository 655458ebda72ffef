#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Whole files: read within a bound, replaced at once.
namespace receiver {

enum class Durability {
  // Made again soon anyway (the song files): no wait for the disk.
  kQuick,
  // Kept for the user (the journal, the history, the settings file): on
  // the disk before its name points at it, so that a power cut leaves the
  // old file or the new one, never an empty one.
  kFlushed,
};

// Replaces `path` with `contents` atomically: a new file is written beside it
// and renamed over it, so readers see the old file or the new one, never a
// part. Returns an empty string, or what went wrong.
std::string ReplaceFileContents(const std::wstring& path,
                                std::string_view contents,
                                Durability durability = Durability::kQuick);

// Nothing when the file cannot be read or holds more than `max_bytes`;
// `problem` says why unless it is simply not there; `too_large`, when given,
// whether it was the size.
std::optional<std::string> ReadBoundedFile(const std::wstring& path,
                                           std::string& problem,
                                           std::size_t max_bytes,
                                           bool* too_large = nullptr);

// Adds `bytes` to the end of `path` (made when missing), after `start` when
// the file is new, and flushes it. Returns an empty string, or what went
// wrong.
std::string AppendToFile(const std::wstring& path, std::string_view start,
                         std::string_view bytes);

// Moves `path` aside to `path` + `suffix` (replacing an older one there),
// so that a file the receiver cannot read is never written over. Returns
// the new name, or an empty string when it could not be moved.
std::wstring MoveAside(const std::wstring& path, std::wstring_view suffix);

// Deletes `path`; one that is not there is no failure. Returns an empty
// string, or what went wrong.
std::string RemoveFile(const std::wstring& path);

}  // namespace receiver
