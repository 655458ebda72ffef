#include "receiver/text/settings_file.h"

#include <algorithm>
#include <cstddef>

#include "receiver/text/ini_line.h"
#include "receiver/text/utf8.h"

namespace receiver {

namespace {

constexpr std::size_t kMaxFileName = 100;
constexpr double kMaxIdleMinutes = 1440;
constexpr int kMaxHistoryLines = 500;

std::string_view Trim(std::string_view text) { return TrimBlanks(text); }

std::string Lower(std::string_view text) { return LowerAscii(text); }

std::string ValueText(std::string_view raw) { return FindIniValue(raw).text; }

// A plain name in the song folder, not one of the receiver's own files.
std::string FileNameProblem(const std::string& name) {
  if (name.empty()) return "[file] needs a file name, e.g. [file title.txt]";
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
  const std::string lower = Lower(name);
  for (const char* own : {"now_playing.json", "history.json", "history.txt",
                          "trackwire_receiver.ini"}) {
    if (lower == own) return name + " is the receiver's own file";
  }
  return {};
}

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
        return Problem("\"" + key + "\" comes before any [section]");
      case Section::kSkip:
        return;
      case Section::kFile:
        return FileKey(key, value);
      case Section::kTarget: {
        const std::string problem = targets_.Key(key, value);
        if (!problem.empty()) Problem(problem);
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
    return {std::move(settings_), std::move(problems_)};
  }

 private:
  void Problem(const std::string& why) {
    problems_.push_back("line " + std::to_string(number_) + ": " + why);
  }

  void Header(std::string_view line) {
    section_ = Section::kSkip;
    if (line.back() != ']') return Problem("a [section] ends with \"]\"");
    const std::string_view inside = Trim(line.substr(1, line.size() - 2));
    const std::string lower = Lower(inside);
    if (lower.compare(0, 5, "file ") == 0 || lower == "file") {
      const std::string name(Trim(inside.substr(4)));
      const std::string problem = FileNameProblem(name);
      if (!problem.empty()) return Problem(problem);
      for (const FileSettings& file : settings_.files) {
        if (Lower(file.name) == Lower(name)) {
          return Problem("[file " + name + "] comes twice; the first counts");
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
        {"receiver", Section::kReceiver}};
    for (const auto& [name, section] : kSections) {
      if (lower == name) {
        section_ = section;
        section_name_ = std::string(name);
        return;
      }
    }
    std::string problem;
    if (targets_.Section(inside, problem)) {
      if (!problem.empty()) return Problem(problem);
      section_ = Section::kTarget;
      return;
    }
    Problem("unknown section [" + std::string(inside) +
            "]; the sections are [file NAME], [idle], [history], [chat], "
            "[receiver], [covers], [icecast], [shoutcast], [listenbrainz] and "
            "[webhook NAME]");
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
        Problem("template: " + parsed.error);
      }
    } else if (key == "encoding") {
      if (const auto encoding = ParseFileEncoding(value)) {
        file.encoding = *encoding;
      } else {
        if (before) file.encoding = before->encoding;
        Problem("encoding is utf-8, utf-8-bom or utf-16le, not \"" + value +
                "\"");
      }
    } else if (key == "idle") {
      file.idle = value;
    } else {
      Problem("unknown setting \"" + key +
              "\" in a [file] section; it takes template, encoding and idle");
    }
  }

  void GeneralKey(const std::string& key, const std::string& value) {
    const std::string where = "[" + section_name_ + "] " + key;
    if (section_ == Section::kIdle && key == "minutes") {
      if (const auto minutes = ParseMinutes(value)) {
        settings_.idle_minutes = *minutes;
      } else {
        settings_.idle_minutes = previous_.idle_minutes;
        Problem(where + " is a number of minutes from 0 to 1440, not \"" +
                value + "\"");
      }
    } else if (section_ == Section::kIdle && key == "text") {
      settings_.idle_text = value;
    } else if (section_ == Section::kHistory && key == "lines") {
      if (const auto lines = ParseWhole(value, 0, kMaxHistoryLines)) {
        settings_.history_lines = *lines;
      } else {
        settings_.history_lines = previous_.history_lines;
        Problem(where + " is a number from 0 to 500, not \"" + value + "\"");
      }
    } else if (section_ == Section::kHistory && key == "log") {
      if (const auto log = ParseYesNo(value)) {
        settings_.log = *log;
      } else {
        settings_.log = previous_.log;
        Problem(where + " is yes or no, not \"" + value + "\"");
      }
    } else if (section_ == Section::kChat && key == "template") {
      ParsedTemplate parsed = ParseTemplate(value);
      if (!parsed.parts) {
        settings_.chat_template = previous_.chat_template;
        settings_.chat = previous_.chat;
        return Problem(where + ": " + parsed.error);
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
        Problem(where + " is a number from 1 to 65535, not \"" + value + "\"");
      }
    } else if (section_ == Section::kReceiver && key == "listen") {
      if (value.empty() ||
          value.find_first_not_of("0123456789abcdefABCDEF.:") !=
              std::string::npos) {
        settings_.listen = previous_.listen;
        return Problem(where + " is an IP address such as 127.0.0.1, not \"" +
                       value + "\"");
      }
      settings_.listen = value;
    } else {
      Problem("unknown setting \"" + key + "\" in [" + section_name_ + "]");
    }
  }

  const ReceiverSettings& previous_;
  TargetReader targets_;
  ReceiverSettings settings_;
  std::vector<std::string> problems_;
  std::size_t number_ = 0;
  Section section_ = Section::kNone;
  std::string section_name_;
};

}  // namespace

SettingsRead ReadSettings(
    std::string_view bytes,
    const std::function<std::string(std::string_view)>& from_ansi,
    const ReceiverSettings& previous, const Unseal& unseal) {
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.remove_prefix(3);
  std::string text;
  if (IsValidUtf8(bytes) || !from_ansi) {
    text = std::string(bytes);
  } else {
    text = from_ansi(bytes);
  }
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

bool SameFiles(const ReceiverSettings& a, const ReceiverSettings& b) {
  if (a.idle_text != b.idle_text || a.files.size() != b.files.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.files.size(); ++i) {
    const FileSettings& x = a.files[i];
    const FileSettings& y = b.files[i];
    if (x.name != y.name || x.template_text != y.template_text ||
        x.encoding != y.encoding || x.idle != y.idle) {
      return false;
    }
  }
  return true;
}

}  // namespace receiver
