#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "receiver/services/listens.h"

namespace receiver {

// The listens a service has not taken yet, oldest first, by ListenId: what a
// journal's file holds, one line each, whichever service it is for.
class KeptListens {
 public:
  // Some eight weeks of songs day and night; the lines' bytes are the
  // journal's read bound, so that whatever it wrote it reads back.
  static constexpr std::size_t kMaxListens = 20000;
  static constexpr std::size_t kMaxBytes = 8 * 1024 * 1024;

  explicit KeptListens(std::size_t max_listens = kMaxListens,
                       std::size_t max_bytes = kMaxBytes)
      : max_listens_(max_listens), max_bytes_(max_bytes) {}

  // False when a listen with its id is there already. Beyond either bound
  // the oldest go: their ids are added to `dropped`.
  bool Add(const Listen& listen, std::vector<std::string>& dropped);
  // Whether any of them was there.
  bool Remove(const std::vector<std::string>& ids);

  const Listen* Find(const std::string& id) const;
  const std::deque<std::string>& ids() const { return order_; }
  std::size_t size() const { return order_.size(); }
  std::size_t bytes() const { return bytes_; }
  // Every line, oldest first.
  std::string Text() const;

 private:
  struct Kept {
    Listen listen;
    std::size_t bytes = 0;
  };

  std::size_t max_listens_;
  std::size_t max_bytes_;
  std::map<std::string, Kept> by_id_;
  std::deque<std::string> order_;
  std::size_t bytes_ = 0;
};

}  // namespace receiver
