#include "receiver/songs/song_file_name.h"

#include <cstddef>

#include "receiver/songs/own_files.h"
#include "receiver/system/ascii.h"
#include "receiver/system/utf8.h"

namespace receiver {

namespace {

constexpr std::size_t kMaxFileName = 100;

// Windows opens these as devices whatever their extension, and with blanks
// before the dot; COM¹ to COM³ and LPT¹ to LPT³ too.
bool IsDeviceName(std::string_view name) {
  std::string_view stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  const std::string upper = UpperAscii(stem);
  for (const std::string_view device :
       {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (upper == device) return true;
  }
  const std::string_view port = std::string_view(upper).substr(0, 3);
  if (port != "COM" && port != "LPT") return false;
  const std::string_view number = std::string_view(upper).substr(3);
  return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') ||
         number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3";
}

// NOW_PL~1.JSO: on a volume with short names it may be another file's.
bool IsShortNameAlias(std::string_view name) {
  const std::string_view stem = name.substr(0, name.rfind('.'));
  std::size_t digits = 0;
  while (digits < stem.size() && stem[stem.size() - 1 - digits] >= '0' &&
         stem[stem.size() - 1 - digits] <= '9') {
    ++digits;
  }
  return digits > 0 && digits < stem.size() &&
         stem[stem.size() - 1 - digits] == '~';
}

}  // namespace

std::string SongFileNameProblem(std::string_view name) {
  if (name.empty()) return "needs a file name, e.g. [file title.txt]";
  if (DecodeUtf8(name).size() > kMaxFileName) return "the file name is long";
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 ||
        std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) {
      return "a file name in the song folder has none of \\ / : * ? \" < > |";
    }
  }
  if (name.back() == '.' || name.back() == ' ') {
    return "a file name does not end in a dot or a space";
  }
  if (IsDeviceName(name)) {
    return std::string(TrimBlanks(name.substr(0, name.find('.')))) +
           " is a device in Windows, not a file";
  }
  if (IsShortNameAlias(name)) {
    return "\"~\" and digits before the extension make a short name, which "
           "may stand for another file";
  }
  const std::string lower = LowerAscii(name);
  for (const std::string_view own : kOwnNames) {
    if (lower == own) {
      return "the receiver keeps " + std::string(own) + " itself";
    }
  }
  for (const std::string_view ending : kOwnEndings) {
    if (lower.size() >= ending.size() &&
        lower.compare(lower.size() - ending.size(), ending.size(), ending) ==
            0) {
      return "the receiver keeps names ending in " + std::string(ending) +
             " itself";
    }
  }
  return {};
}

}  // namespace receiver
