#include "receiver/songs/pending_files.h"

#include <algorithm>

namespace receiver {

namespace {

// A reader usually lets go within milliseconds; one that holds on for long
// costs a try a second.
constexpr std::uint64_t kFirstRetryMs = 50;
constexpr std::uint64_t kLongestRetryMs = 1000;

}  // namespace

PendingFiles::Slot& PendingFiles::SlotFor(const std::string& name) {
  for (auto& [slot_name, slot] : slots_) {
    if (slot_name == name) return slot;
  }
  return slots_.emplace_back(name, Slot()).second;
}

void PendingFiles::Put(File file) {
  Slot& slot = SlotFor(file.name);
  slot.pending = std::move(file);
}

std::vector<PendingFiles::File> PendingFiles::TakeDue(
    std::uint64_t now_ms, bool all, std::optional<std::uint64_t>& wait_ms) {
  std::vector<File> due;
  wait_ms.reset();
  for (auto& [name, slot] : slots_) {
    if (!slot.pending) continue;
    if (all || slot.next_try <= now_ms) {
      due.push_back(std::move(*slot.pending));
      slot.pending.reset();
    } else if (!wait_ms || slot.next_try - now_ms < *wait_ms) {
      wait_ms = slot.next_try - now_ms;
    }
  }
  return due;
}

std::string PendingFiles::Tried(File file, const std::string& error,
                                std::uint64_t now_ms) {
  Slot& slot = SlotFor(file.name);
  if (error.empty()) {
    const bool recovered = slot.failing;
    slot.failing = false;
    slot.delay_ms = 0;
    slot.next_try = 0;
    if (!recovered) return {};
    return file.name + (file.remove ? " removed" : " written again");
  }
  std::string told;
  if (!slot.failing) {
    told = error +
           "; the page has the new song, the file follows as soon as it can "
           "be replaced";
  }
  slot.failing = true;
  slot.delay_ms = slot.delay_ms == 0
                      ? kFirstRetryMs
                      : std::min(2 * slot.delay_ms, kLongestRetryMs);
  slot.next_try = now_ms + slot.delay_ms;
  // A newer song that came meanwhile wins.
  if (!slot.pending) slot.pending = std::move(file);
  return told;
}

}  // namespace receiver
