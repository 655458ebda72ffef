#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include "tests/support/message_box_recorder.h"
#include "tests/support/test_files.h"

namespace {

using settings::GetHost;
using settings::GetPort;
using settings::GetRequestPath;
using settings::LoadSettings;
using settings::StoreSettings;
using testing_support::FileExists;
using testing_support::MessageBoxRecorder;
using testing_support::ReadBytes;
using testing_support::TempFolder;
using testing_support::WriteBytes;

constexpr char kDefaultPath[] =
    "/set_current_song.php?artist=%s&album=%s&title=%s";
constexpr char kWriteError[] = "Cannot open file for writing config!";

class SettingsStore : public ::testing::Test {
 protected:
  std::string SettingsFile() const { return folder.File("gen_trackwire.ini"); }
  void LoadFile(const std::string& bytes) {
    ASSERT_TRUE(WriteBytes(SettingsFile(), bytes));
    LoadSettings(folder.path().c_str());
  }
  void ExpectSettings(const std::string& host, const std::string& port,
                      const std::string& path) {
    EXPECT_EQ(GetHost(), host);
    EXPECT_EQ(GetPort(), port);
    EXPECT_EQ(GetRequestPath(), path);
  }
  std::string FileBytes() const {
    std::string bytes;
    EXPECT_TRUE(ReadBytes(SettingsFile(), &bytes));
    return bytes;
  }

  TempFolder folder;
  MessageBoxRecorder boxes;
};

TEST_F(SettingsStore, WithoutAFileTheDefaultsStandAndNoFileIsMade) {
  LoadSettings(folder.path().c_str());
  ExpectSettings("localhost", "80", kDefaultPath);
  EXPECT_FALSE(FileExists(SettingsFile()));
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_EQ(settings::ReportSettings.settings_file,
            folder.path() + "\\gen_trackwire.ini");
}

TEST_F(SettingsStore, FileShapes) {
  LoadFile("myhost\r\n81\r\n/np?a=%s&b=%s&t=%s");
  ExpectSettings("myhost", "81", "/np?a=%s&b=%s&t=%s");
  LoadFile("myhost\r\n81\r\n/np\r\n");
  ExpectSettings("myhost", "81", "/np\n");
  LoadFile("h\r\n81\r\nthree\r\nfour");
  ExpectSettings("h", "81", "three\nfour");
  LoadFile("myhost\n81");
  ExpectSettings("myhost", "81", "myhost\n81");
  LoadFile("myhost\r\n");
  ExpectSettings("myhost", "", "myhost\n");
  LoadFile("myhost");
  ExpectSettings("myhost", "myhost", "myhost");
  LoadFile("");
  ExpectSettings("", "", "");
  LoadFile("a\nb\x1A\nz");
  ExpectSettings("a", "b", "a\nb");
  LoadFile("h\r81\r\n/p");
  ExpectSettings("h\r81", "/p", "h\r81\n/p");
  EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(SettingsStore, LoadingStartsFromTheDefaultsEveryTime) {
  LoadFile("a\r\nb\r\nc");
  StoreSettings("h", "/p", "81");
  DeleteFileA(SettingsFile().c_str());
  LoadSettings(folder.path().c_str());
  ExpectSettings("localhost", "80", kDefaultPath);
}

TEST_F(SettingsStore, StoreWritesThreeTextLines) {
  LoadSettings(folder.path().c_str());
  StoreSettings("h", "/p", "81");
  EXPECT_EQ(FileBytes(), "h\r\n81\r\n/p");
  ExpectSettings("h", "81", "/p");
  LoadSettings(folder.path().c_str());
  ExpectSettings("h", "81", "/p");
  EXPECT_FALSE(FileExists(SettingsFile() + ".new"));
  EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(SettingsStore, StoreReplacesALongerFile) {
  LoadFile(std::string(5000, 'x'));
  StoreSettings("h", "/p\nsecond", "");
  EXPECT_EQ(FileBytes(), "h\r\n\r\n/p\r\nsecond");
}

TEST_F(SettingsStore, ReadOnlyFileIsKeptAndTheUserIsTold) {
  LoadFile("old\r\n1\r\n/old");
  ASSERT_TRUE(
      SetFileAttributesA(SettingsFile().c_str(), FILE_ATTRIBUTE_READONLY));
  StoreSettings("new", "/new", "2");
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, kWriteError);
  EXPECT_EQ(boxes.boxes()[0].caption, "WinAmp Tunebeacon");
  EXPECT_EQ(boxes.boxes()[0].type, static_cast<UINT>(MB_ICONERROR));
  EXPECT_EQ(FileBytes(), "old\r\n1\r\n/old");
  ExpectSettings("new", "2", "/new");
  EXPECT_FALSE(FileExists(SettingsFile() + ".new"));
}

TEST_F(SettingsStore, LockedFileIsKeptAndTheUserIsTold) {
  LoadFile("old\r\n1\r\n/old");
  const HANDLE lock = CreateFileA(SettingsFile().c_str(), GENERIC_READ, 0,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  StoreSettings("new", "/new", "2");
  CloseHandle(lock);
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, kWriteError);
  EXPECT_EQ(FileBytes(), "old\r\n1\r\n/old");
}

TEST_F(SettingsStore, MissingFolderIsReportedAndNothingIsMade) {
  const std::string missing = folder.File("missing");
  LoadSettings(missing.c_str());
  ExpectSettings("localhost", "80", kDefaultPath);
  StoreSettings("h", "/p", "81");
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, kWriteError);
  EXPECT_EQ(GetPort(), "81");
  EXPECT_FALSE(FileExists(missing));
}

TEST_F(SettingsStore, NoFolderGivesTheDefaultsAndAStoreThatReportsFailure) {
  LoadSettings(nullptr);
  ExpectSettings("localhost", "80", kDefaultPath);
  StoreSettings("h", "/p", "81");
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].text, kWriteError);
}

TEST_F(SettingsStore, AFolderWithATrailingBackslashGetsADoubledOne) {
  LoadSettings((folder.path() + "\\").c_str());
  EXPECT_EQ(settings::ReportSettings.settings_file,
            folder.path() + "\\\\gen_trackwire.ini");
  StoreSettings("h", "/p", "81");
  EXPECT_EQ(FileBytes(), "h\r\n81\r\n/p");
}

TEST_F(SettingsStore, FileOpenElsewhereForWritingStillReads) {
  ASSERT_TRUE(WriteBytes(SettingsFile(), "h\r\n81\r\n/p"));
  const HANDLE other = CreateFileA(
      SettingsFile().c_str(), GENERIC_READ | GENERIC_WRITE,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  LoadSettings(folder.path().c_str());
  CloseHandle(other);
  ExpectSettings("h", "81", "/p");
}

TEST_F(SettingsStore, LargeAndBinaryFilesLoadWithoutAMessage) {
  std::string garbage(10u * 1024 * 1024, '\0');
  unsigned int state = 12345;
  for (char& byte : garbage) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<char>(state >> 24);
  }
  garbage[0] = 'g';
  LoadFile(garbage);
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_EQ(GetHost().substr(0, 1), "g");
}

}  // namespace
