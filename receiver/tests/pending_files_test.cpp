#include "receiver/songs/pending_files.h"

#include <gtest/gtest.h>

namespace receiver {
namespace {

TEST(PendingFilesTest, ANewerSongWinsOverAFailedWrite) {
  PendingFiles files;
  std::optional<std::uint64_t> wait;
  files.Put({"np.txt", "old", false});
  std::vector<PendingFiles::File> due = files.TakeDue(0, false, wait);
  ASSERT_EQ(due.size(), 1u);
  // The next song comes while the old one's write is failing.
  files.Put({"np.txt", "new", true});
  EXPECT_EQ(files.Tried(std::move(due[0]), "cannot replace np.txt", 0),
            "cannot replace np.txt; the page has the new song, the file "
            "follows as soon as it can be replaced");
  EXPECT_TRUE(files.TakeDue(10, false, wait).empty());
  EXPECT_EQ(wait, 40u);
  due = files.TakeDue(50, false, wait);
  ASSERT_EQ(due.size(), 1u);
  EXPECT_EQ(due[0].bytes, "new");
  EXPECT_TRUE(due[0].flushed);
  // Failing again is not told again, and waits longer; then it works.
  EXPECT_EQ(files.Tried(std::move(due[0]), "cannot replace np.txt", 50), "");
  EXPECT_TRUE(files.TakeDue(149, false, wait).empty());
  EXPECT_EQ(wait, 1u);
  due = files.TakeDue(0, true, wait);
  ASSERT_EQ(due.size(), 1u);
  EXPECT_EQ(due[0].bytes, "new");
  EXPECT_EQ(files.Tried(std::move(due[0]), "", 150), "np.txt written again");
  EXPECT_TRUE(files.TakeDue(150, true, wait).empty());
  EXPECT_FALSE(wait);
}

}  // namespace
}  // namespace receiver
