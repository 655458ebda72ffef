#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <list>
#include <optional>

namespace receiver {

using Clock = std::chrono::steady_clock;

// What the listener needs of every open connection to make room for a new
// one.
class Connection {
 public:
  virtual ~Connection() = default;
  virtual void Close() = 0;
  // Since when it has waited on its peer; nothing in the middle of a request.
  virtual std::optional<Clock::time_point> IdleSince() const = 0;
};

// The open connections, on the server's thread.
class Connections {
  struct Item {
    Connection* connection;
    bool closing;
  };

 public:
  // Keeps a connection on the list for as long as it lives.
  class Entry {
   public:
    Entry(Connections& connections, Connection& connection)
        : open_(connections.open_),
          item_(open_.insert(open_.end(), {&connection, false})) {}
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;
    ~Entry() { open_.erase(item_); }

   private:
    std::list<Item>& open_;
    std::list<Item>::iterator item_;
  };

  // Those already closed to make room do not count.
  std::size_t Open() const {
    return static_cast<std::size_t>(
        std::count_if(open_.begin(), open_.end(),
                      [](const Item& item) { return !item.closing; }));
  }

  bool CloseLongestIdle() {
    Item* longest = nullptr;
    Clock::time_point longest_since;
    for (Item& item : open_) {
      if (item.closing) continue;
      const std::optional<Clock::time_point> since =
          item.connection->IdleSince();
      if (since && (longest == nullptr || *since < longest_since)) {
        longest = &item;
        longest_since = *since;
      }
    }
    if (longest == nullptr) return false;
    longest->closing = true;
    longest->connection->Close();
    return true;
  }

 private:
  std::list<Item> open_;
};

}  // namespace receiver
