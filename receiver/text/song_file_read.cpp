#include "receiver/text/song_file_read.h"

#include <optional>
#include <string>

#include "receiver/text/clean_text.h"
#include "receiver/text/utf8.h"

namespace receiver {

namespace {

// Deeper nesting than any song file has is refused rather than recursed into.
constexpr int kMaxDepth = 32;

class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : text_(text) {}

  SongFileRead Read() {
    SkipSpace();
    SongFileRead result;
    if (Literal("null")) {
      result.state = SongFileState::kNoSong;
    } else if (Object(&result.song, 0)) {
      result.state = found_ ? SongFileState::kSong : SongFileState::kUnreadable;
    } else {
      return {};
    }
    SkipSpace();
    if (pos_ != text_.size()) return {};
    return result;
  }

 private:
  void SkipSpace() {
    while (pos_ < text_.size() &&
           (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n' ||
            text_[pos_] == '\r')) {
      ++pos_;
    }
  }

  bool Take(char c) {
    SkipSpace();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  bool Literal(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  // The members of the song are kept when `song` is given (the top level).
  bool Object(Song* song, int depth) {
    if (depth > kMaxDepth || !Take('{')) return false;
    if (Take('}')) return true;
    do {
      SkipSpace();
      const std::optional<std::string> name = String();
      if (!name || !Take(':')) return false;
      SkipSpace();
      std::string* field = nullptr;
      if (song != nullptr) {
        if (*name == "artist") field = &song->artist;
        if (*name == "album") field = &song->album;
        if (*name == "title") field = &song->title;
        if (*name == "received") field = &song->received;
      }
      if (field != nullptr && pos_ < text_.size() && text_[pos_] == '"') {
        const std::optional<std::string> value = String();
        if (!value) return false;
        *field = CleanText(*value);
        found_ = true;
      } else if (!Value(depth)) {
        return false;
      }
    } while (Take(','));
    return Take('}');
  }

  bool Array(int depth) {
    if (depth > kMaxDepth || !Take('[')) return false;
    if (Take(']')) return true;
    do {
      SkipSpace();
      if (!Value(depth)) return false;
    } while (Take(','));
    return Take(']');
  }

  bool Value(int depth) {
    if (pos_ >= text_.size()) return false;
    switch (text_[pos_]) {
      case '{':
        return Object(nullptr, depth + 1);
      case '[':
        return Array(depth + 1);
      case '"':
        return String().has_value();
      case 't':
        return Literal("true");
      case 'f':
        return Literal("false");
      case 'n':
        return Literal("null");
      default:
        return Number();
    }
  }

  bool Number() {
    const std::size_t start = pos_;
    while (pos_ < text_.size() &&
           std::string_view("+-0123456789.eE").find(text_[pos_]) !=
               std::string_view::npos) {
      ++pos_;
    }
    return pos_ > start;
  }

  std::optional<unsigned> Hex4() {
    if (text_.size() - pos_ < 4) return std::nullopt;
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[pos_++];
      value <<= 4;
      if (c >= '0' && c <= '9') {
        value |= static_cast<unsigned>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        value |= static_cast<unsigned>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        value |= static_cast<unsigned>(c - 'A' + 10);
      } else {
        return std::nullopt;
      }
    }
    return value;
  }

  std::optional<std::string> String() {
    if (pos_ >= text_.size() || text_[pos_] != '"') return std::nullopt;
    ++pos_;
    std::string out;
    while (pos_ < text_.size()) {
      const char c = text_[pos_++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= text_.size()) return std::nullopt;
      const char escape = text_[pos_++];
      switch (escape) {
        case '"':
        case '\\':
        case '/':
          out += escape;
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          const std::optional<unsigned> unit = Hex4();
          if (!unit) return std::nullopt;
          char32_t code_point = *unit;
          if (*unit >= 0xD800 && *unit <= 0xDBFF &&
              text_.substr(pos_, 2) == "\\u") {
            const std::size_t before = pos_;
            pos_ += 2;
            const std::optional<unsigned> low = Hex4();
            if (low && *low >= 0xDC00 && *low <= 0xDFFF) {
              code_point = 0x10000 + ((*unit - 0xD800) << 10) + (*low - 0xDC00);
            } else {
              pos_ = before;
            }
          }
          AppendUtf8(out, code_point);
          break;
        }
        default:
          return std::nullopt;
      }
    }
    return std::nullopt;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  bool found_ = false;
};

}  // namespace

SongFileRead ParseSongFile(std::string_view json) {
  // Notepad may have saved it with a byte order mark.
  if (json.substr(0, 3) == "\xEF\xBB\xBF") json.remove_prefix(3);
  return JsonReader(json).Read();
}

}  // namespace receiver
