#include "receiver/services/kept_listens.h"

#include <algorithm>
#include <set>

namespace receiver {

bool KeptListens::Add(const Listen& listen, std::vector<std::string>& dropped) {
  std::string id = ListenId(listen);
  if (by_id_.count(id) != 0) return false;
  const std::size_t bytes = ListenLine(listen).size();
  while (!order_.empty() &&
         (order_.size() + 1 > max_listens_ || bytes_ + bytes > max_bytes_)) {
    const auto oldest = by_id_.find(order_.front());
    bytes_ -= oldest->second.bytes;
    by_id_.erase(oldest);
    dropped.push_back(std::move(order_.front()));
    order_.pop_front();
  }
  by_id_[id] = Kept{listen, bytes};
  order_.push_back(std::move(id));
  bytes_ += bytes;
  return true;
}

bool KeptListens::Remove(const std::vector<std::string>& ids) {
  std::set<std::string> gone;
  for (const std::string& id : ids) {
    const auto found = by_id_.find(id);
    if (found == by_id_.end()) continue;
    bytes_ -= found->second.bytes;
    by_id_.erase(found);
    gone.insert(id);
  }
  if (gone.empty()) return false;
  order_.erase(std::remove_if(order_.begin(), order_.end(),
                              [&gone](const std::string& id) {
                                return gone.count(id) != 0;
                              }),
               order_.end());
  return true;
}

const Listen* KeptListens::Find(const std::string& id) const {
  const auto found = by_id_.find(id);
  return found == by_id_.end() ? nullptr : &found->second.listen;
}

std::string KeptListens::Text() const {
  std::string text;
  text.reserve(bytes_);
  for (const std::string& id : order_) {
    text += ListenLine(by_id_.at(id).listen);
  }
  return text;
}

}  // namespace receiver
