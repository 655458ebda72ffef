#include "receiver/settings/settings_file.h"

#include <algorithm>
#include <cstddef>

#include "receiver/settings/discord_section.h"
#include "receiver/settings/ini_line.h"
#include "receiver/settings/service_sections.h"
#include "receiver/settings/settings_problem.h"
#include "receiver/songs/song_file_name.h"
#include "receiver/system/utf8.h"

namespace receiver {

namespace {

constexpr double kMaxIdleMinutes = 1440;
constexpr int kMaxHistoryLines = 500;

std::string_view Trim(std::string_view text) { return TrimBlanks(text); }

std::string Lower(std::string_view text) { return LowerAscii(text); }

std::string ValueText(std::string_view raw) { return FindIniValue(raw).text; }

std::optional<double> ParseMinutes(const std::string& text) {
  double value = 0;
  double scale = 0;
  if (text.empty() || text == ".") return std::nullopt;
  for (const char c : text) {
    if (c == '.' && scale == 0) {
      scale = 1;
    } else if (c >= '0' && c <= '9') {
      if (scale == 0) {
        value = value * 10 + (c - '0');
      } else {
        scale /= 10;
        value += scale * (c - '0');
      }
      if (value > kMaxIdleMinutes) return std::nullopt;
    } else {
      return std::nullopt;
    }
  }
  return value;
}

enum class Section {
  kNone,
  kFile,
  kIdle,
  kHistory,
  kChat,
  kReceiver,
  kDiscord,
  kTarget,
  kSkip
};

class Reader {
 public:
  Reader(const ReceiverSettings& previous, const Unseal& unseal)
      : previous_(previous), targets_(previous.targets, unseal) {}

  void Line(std::size_t number, std::string_view line) {
    number_ = number;
    line = Trim(line);
    if (line.empty() || line.front() == ';' || line.front() == '#') return;
    if (line.front() == '[') return Header(line);
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      return Problem("expected \"name = value\" or a [section]");
    }
    const std::string key = Lower(Trim(line.substr(0, equals)));
    const std::string value = ValueText(line.substr(equals + 1));
    switch (section_) {
      case Section::kNone:
        return KeyProblem(key, "\"" + key + "\" comes before any [section]");
      case Section::kSkip:
        return;
      case Section::kFile:
        return FileKey(key, value);
      case Section::kTarget: {
        const std::string problem = targets_.Key(key, value, number_);
        if (!problem.empty()) KeyProblem(key, problem);
        return;
      }
      case Section::kDiscord: {
        const std::string problem =
            DiscordKey(key, value, previous_.discord, settings_.discord);
        if (!problem.empty()) KeyProblem(key, problem);
        return;
      }
      case Section::kIdle:
      case Section::kHistory:
      case Section::kChat:
      case Section::kReceiver:
        return GeneralKey(key, value);
    }
  }

  SettingsRead Take() {
    settings_.targets = targets_.Take();
    settings_.targets.lengths_for_presence =
        !settings_.discord.application.empty();
    const std::vector<SettingsProblem>& late = targets_.late_problems();
    problems_.insert(problems_.end(), late.begin(), late.end());
    std::stable_sort(problems_.begin(), problems_.end(),
                     [](const SettingsProblem& a, const SettingsProblem& b) {
                       return a.line < b.line;
                     });
    return {std::move(settings_), std::move(problems_)};
  }

 private:
  void Problem(const std::string& why) { KeyProblem("", why); }
  // A problem of the key's value or of its name.
  void KeyProblem(const std::string& key, const std::string& why) {
    problems_.push_back({number_, section_text_, key, why});
  }

  void Header(std::string_view line) {
    section_ = Section::kSkip;
    section_text_.clear();
    if (line.back() != ']') return Problem("a [section] ends with \"]\"");
    const std::string_view inside = Trim(line.substr(1, line.size() - 2));
    section_text_ = "[" + std::string(inside) + "]";
    const std::string lower = Lower(inside);
    if (lower.compare(0, 5, "file ") == 0 || lower == "file") {
      const std::string name(Trim(inside.substr(4)));
      const std::string problem = SongFileNameProblem(name);
      if (!problem.empty()) return Problem(problem);
      for (const FileSettings& file : settings_.files) {
        if (Lower(file.name) == Lower(name)) {
          return Problem("the section comes twice; the first counts");
        }
      }
      FileSettings file;
      file.name = name;
      settings_.files.push_back(std::move(file));
      section_ = Section::kFile;
      return;
    }
    constexpr std::pair<std::string_view, Section> kSections[] = {
        {"idle", Section::kIdle},
        {"history", Section::kHistory},
        {"chat", Section::kChat},
        {"receiver", Section::kReceiver},
        {"discord", Section::kDiscord}};
    for (const auto& [name, section] : kSections) {
      if (lower == name) {
        section_ = section;
        return;
      }
    }
    std::string problem;
    if (targets_.Section(inside, problem)) {
      if (!problem.empty()) return Problem(problem);
      section_ = Section::kTarget;
      return;
    }
    Problem(
        "unknown section; the sections are [file NAME], [idle], [history], "
        "[chat], [receiver], [covers], [icecast], [shoutcast], "
        "[listenbrainz], [lastfm], [webhook NAME], [discord] and [lyrics]");
  }

  // A file's bad value keeps what that file had before.
  const FileSettings* PreviousFile() const {
    for (const FileSettings& file : previous_.files) {
      if (Lower(file.name) == Lower(settings_.files.back().name)) return &file;
    }
    return nullptr;
  }

  void FileKey(const std::string& key, const std::string& value) {
    FileSettings& file = settings_.files.back();
    const FileSettings* before = PreviousFile();
    if (key == "template") {
      ParsedTemplate parsed = ParseTemplate(value);
      if (parsed.parts) {
        file.template_text = value;
        file.parts = std::move(*parsed.parts);
      } else {
        if (before) {
          file.template_text = before->template_text;
          file.parts = before->parts;
        }
        KeyProblem(key, "template: " + parsed.error);
      }
    } else if (key == "encoding") {
      if (const auto encoding = ParseFileEncoding(value)) {
        file.encoding = *encoding;
      } else {
        if (before) file.encoding = before->encoding;
        KeyProblem(key, "encoding is utf-8, utf-8-bom or utf-16le, not \"" +
                            value + "\"");
      }
    } else if (key == "idle") {
      file.idle = value;
    } else {
      KeyProblem(key, "unknown setting \"" + key +
                          "\"; a [file] section takes template, encoding "
                          "and idle");
    }
  }

  void GeneralKey(const std::string& key, const std::string& value) {
    if (section_ == Section::kIdle && key == "minutes") {
      if (const auto minutes = ParseMinutes(value)) {
        settings_.idle_minutes = *minutes;
      } else {
        settings_.idle_minutes = previous_.idle_minutes;
        KeyProblem(key, key + " is a number of minutes from 0 to 1440, not \"" +
                            value + "\"");
      }
    } else if (section_ == Section::kIdle && key == "text") {
      settings_.idle_text = value;
    } else if (section_ == Section::kHistory && key == "lines") {
      if (const auto lines = ParseWhole(value, 0, kMaxHistoryLines)) {
        settings_.history_lines = *lines;
      } else {
        settings_.history_lines = previous_.history_lines;
        KeyProblem(key,
                   key + " is a number from 0 to 500, not \"" + value + "\"");
      }
    } else if (section_ == Section::kHistory && key == "log") {
      if (const auto log = ParseYesNo(value)) {
        settings_.log = *log;
      } else {
        settings_.log = previous_.log;
        KeyProblem(key, key + " is yes or no, not \"" + value + "\"");
      }
    } else if (section_ == Section::kChat && key == "template") {
      ParsedTemplate parsed = ParseTemplate(value);
      if (!parsed.parts) {
        settings_.chat_template = previous_.chat_template;
        settings_.chat = previous_.chat;
        return KeyProblem(key, key + ": " + parsed.error);
      }
      settings_.chat_template = value;
      settings_.chat = std::move(*parsed.parts);
    } else if (section_ == Section::kChat && key == "idle") {
      settings_.chat_idle = value;
    } else if (section_ == Section::kReceiver && key == "port") {
      if (const auto port = ParseWhole(value, 1, 65535)) {
        settings_.port = *port;
      } else {
        settings_.port = previous_.port;
        KeyProblem(key,
                   key + " is a number from 1 to 65535, not \"" + value + "\"");
      }
    } else if (section_ == Section::kReceiver && key == "listen") {
      if (value.empty() ||
          value.find_first_not_of("0123456789abcdefABCDEF.:") !=
              std::string::npos) {
        settings_.listen = previous_.listen;
        return KeyProblem(
            key,
            key + " is an IP address such as 127.0.0.1, not \"" + value + "\"");
      }
      settings_.listen = value;
    } else {
      KeyProblem(key, "unknown setting \"" + key + "\"");
    }
  }

  const ReceiverSettings& previous_;
  TargetReader targets_;
  ReceiverSettings settings_;
  std::vector<SettingsProblem> problems_;
  std::size_t number_ = 0;
  Section section_ = Section::kNone;
  std::string section_text_;  // as written, brackets included
};

}  // namespace

std::string SettingsText(
    std::string_view bytes,
    const std::function<std::string(std::string_view)>& from_ansi) {
  if (bytes.compare(0, 2, "\xFF\xFE") == 0) {
    return Utf16ToUtf8(bytes.substr(2), false);
  }
  if (bytes.compare(0, 2, "\xFE\xFF") == 0) {
    return Utf16ToUtf8(bytes.substr(2), true);
  }
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.remove_prefix(3);
  if (IsValidUtf8(bytes) || !from_ansi) return std::string(bytes);
  return from_ansi(bytes);
}

SettingsRead ReadSettings(
    std::string_view bytes,
    const std::function<std::string(std::string_view)>& from_ansi,
    const ReceiverSettings& previous, const Unseal& unseal) {
  const std::string text = SettingsText(bytes, from_ansi);
  Reader reader(previous, unseal);
  std::size_t number = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    reader.Line(++number, line);
    start = end + 1;
  }
  return reader.Take();
}

}  // namespace receiver
