#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "receiver/relay/listens.h"

namespace receiver {

// The listens that ListenBrainz has not taken yet, in the song folder's
// listens.jsonl, one JSON line each: written before the first try, so that
// none is lost when the service is away or the receiver ends, and rewritten
// without each one the service took.
class ListenJournal {
 public:
  explicit ListenJournal(std::wstring folder);

  // Those left from before; `problem` says when the file could not be read.
  std::vector<Listen> Load(std::string& problem);

  // Each returns an empty string, or what went wrong.
  std::string Add(const Listen& listen);
  std::string Remove(const Listen& listen);

 private:
  std::string Write();

  std::wstring path_;
  std::vector<Listen> listens_;
};

// The id a listen goes by in a queue.
std::string ListenId(const Listen& listen);

}  // namespace receiver
