#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/services/kept_listens.h"

namespace receiver {

// The listens a service has not taken yet, kept in a file of the song folder
// (listens.jsonl for ListenBrainz), one JSON line each: written before the
// first try, so that none is lost when the service is away or the receiver
// ends, and rewritten without the ones the service took. A file it cannot
// read is never written over.
class ListenJournal {
 public:
  using Tell = std::function<void(const std::string&)>;

  // `tell` hears what the user should, without the program's name before it.
  ListenJournal(std::wstring folder, std::wstring_view name, Tell tell);

  // Reads the file, once, before anything else.
  void Load();
  const KeptListens& listens() const { return listens_; }

  // False when it is there already. Beyond KeptListens' bounds the oldest
  // go, said once: their ids are added to `dropped`.
  bool Add(const Listen& listen, std::vector<std::string>& dropped);
  void Remove(const std::vector<std::string>& ids);

 private:
  void Write();
  void SetAside(const std::string& problem);

  std::wstring path_;
  Tell tell_;
  KeptListens listens_;
  // False when the file could not be read nor set aside: it stays as it is.
  bool writable_ = true;
  bool told_full_ = false;
  std::string told_failure_;
};

}  // namespace receiver
