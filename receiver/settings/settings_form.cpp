#include "receiver/settings/settings_form.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "receiver/settings/ini_document.h"
#include "receiver/settings/seal_secrets.h"
#include "receiver/settings/settings_file.h"
#include "receiver/settings/settings_schema.h"
#include "receiver/songs/song_outputs.h"
#include "receiver/songs/template.h"
#include "receiver/system/ascii.h"
#include "receiver/system/utf8.h"

namespace receiver {

namespace {

using Json = nlohmann::json;

std::string Dump(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string ErrorJson(std::string_view error) {
  return Dump({{"error", error}});
}

// The name the page knows a problem's section by: "file title.txt".
std::string ProblemSection(const SettingsProblem& problem) {
  const std::string& written = problem.section;
  if (written.size() < 2) return {};
  return IniSectionName(
      std::string_view(written).substr(1, written.size() - 2));
}

bool SameProblem(const SettingsProblem& a, const SettingsProblem& b) {
  return ProblemSection(a) == ProblemSection(b) && a.key == b.key &&
         a.text == b.text;
}

// Whether `problem` is one of `before`'s, each of those matched once.
bool WasThere(const SettingsProblem& problem,
              std::vector<SettingsProblem>& before) {
  const auto found = std::find_if(
      before.begin(), before.end(),
      [&](const SettingsProblem& old) { return SameProblem(old, problem); });
  if (found == before.end()) return false;
  before.erase(found);
  return true;
}

Json ProblemJson(const SettingsProblem& problem, bool blocks) {
  return {{"line", problem.line},
          {"section", problem.section},
          {"id", ProblemSection(problem)},
          {"key", problem.key},
          {"text", problem.text},
          {"message", ProblemText(problem)},
          {"blocks", blocks}};
}

SettingsRead ReadText(std::string_view text,
                      const SettingsDeskContext& context) {
  return ReadSettings(text, nullptr, {}, context.unseal);
}

bool HasTemplateProblem(const SettingsRead& read, std::string_view section,
                        std::string_view key) {
  return std::any_of(read.problems.begin(), read.problems.end(),
                     [&](const SettingsProblem& problem) {
                       return ProblemSection(problem) == section &&
                              problem.key == key;
                     });
}

// Each file's text and the chat's line for the current song (an example
// before the first), as the reader took the templates.
Json PreviewsJson(const SettingsRead& read, const SettingsDeskContext& context,
                  const Song& song) {
  ReceiverSettings settings = read.settings;
  ApplyFormat(settings, context.format);
  Json previews = Json::object();
  for (const FileSettings& file : settings.files) {
    const std::string id = IniSectionName("file " + file.name);
    if (HasTemplateProblem(read, id, "template")) continue;
    previews[id] = ExpandTemplate(file.parts, song, NewLine::kCrLf);
  }
  if (!HasTemplateProblem(read, "chat", "template")) {
    previews["chat"] = ChatLine(settings, &song, false);
  }
  return previews;
}

Song PreviewSong(const SettingsDeskContext& context) {
  if (context.song) return *context.song;
  return Song{"Example Artist", "Example Album", "Example Title", ""};
}

Json SchemaJson() {
  Json sections = Json::array();
  for (const SchemaSection& section : SettingsSchema()) {
    Json fields = Json::array();
    for (const SchemaField& field : section.fields) {
      fields.push_back({{"key", field.key},
                        {"kind", field.kind},
                        {"help", field.help},
                        {"default", field.default_value},
                        {"choices", field.choices},
                        {"secret", field.secret}});
    }
    sections.push_back({{"name", section.name},
                        {"named", section.named},
                        {"title", section.title},
                        {"help", section.help},
                        {"fields", std::move(fields)}});
  }
  return sections;
}

// The sections the table knows, each key's value as the reader takes it
// (the last line's), a secret only as set or not; of the others, and of
// keys the table does not know, only their names.
void SectionsJson(const IniDocument& document, Json& model) {
  Json sections = Json::array();
  Json others = Json::array();
  for (const IniDocument::Section& section : document.Sections()) {
    const SchemaSection* schema = FindSchemaSection(section.name);
    if (!schema) {
      others.push_back(section.written);
      continue;
    }
    Json values = Json::object();
    Json unknown = Json::array();
    for (const std::string& key : document.Keys(section.name)) {
      const SchemaField* field = FindSchemaField(*schema, key);
      if (!field) {
        unknown.push_back(key);
        continue;
      }
      const std::vector<std::string> all = document.Values(section.name, key);
      if (field->secret) {
        const bool set = std::any_of(all.begin(), all.end(),
                                     [](const auto& v) { return !v.empty(); });
        values[key] = {{"set", set}};
      } else {
        values[key] = all.back();
      }
    }
    const std::string_view inside =
        TrimBlanks(std::string_view(section.written)
                       .substr(1, section.written.size() - 2));
    const std::size_t space = inside.find(' ');
    sections.push_back(
        {{"id", section.name},
         {"kind", schema->name},
         {"name", schema->named && space != std::string_view::npos
                      ? std::string(TrimBlanks(inside.substr(space)))
                      : std::string()},
         {"written", section.written},
         {"values", std::move(values)},
         {"unknown", std::move(unknown)}});
  }
  model["sections"] = std::move(sections);
  model["others"] = std::move(others);
}

std::string ModelOfText(std::string_view bytes, const std::string& text,
                        const SettingsDeskContext& context) {
  const IniDocument document(text, SectionCountsOnce);
  const SettingsRead read = ReadText(text, context);
  const Song song = PreviewSong(context);
  Json model = {{"version", SettingsVersion(bytes)}, {"schema", SchemaJson()}};
  SectionsJson(document, model);
  Json problems = Json::array();
  for (const SettingsProblem& problem : read.problems) {
    problems.push_back(ProblemJson(problem, false));
  }
  model["problems"] = std::move(problems);
  model["previews"] = PreviewsJson(read, context, song);
  model["song"] = {{"artist", song.artist},
                   {"album", song.album},
                   {"title", song.title},
                   {"example", !context.song}};
  model["format"] = context.format.has_value();
  return Dump(model);
}

}  // namespace

std::string SettingsErrorJson(std::string_view text) { return ErrorJson(text); }

std::string SettingsErrorText(std::string_view json) {
  const Json answer = Json::parse(json, nullptr, false);
  if (answer.is_object() && answer.contains("error") &&
      answer["error"].is_string()) {
    return answer["error"].get<std::string>();
  }
  return std::string(json);
}

bool SectionCountsOnce(std::string_view name) {
  return name.compare(0, 5, "file ") == 0 ||
         name.compare(0, 8, "webhook ") == 0;
}

std::string SettingsVersion(std::string_view bytes) {
  // FNV-1a: a change on disk, not an attacker, is what it tells.
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  constexpr char kHex[] = "0123456789abcdef";
  std::string version;
  for (int shift = 60; shift >= 0; shift -= 4) {
    version += kHex[(hash >> shift) & 15];
  }
  return version + "-" + std::to_string(bytes.size());
}

std::string EditableText(
    std::string_view bytes,
    const std::function<std::string(std::string_view)>& from_ansi) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  return "\xEF\xBB\xBF" + SettingsText(bytes, from_ansi);
}

std::string SettingsModelJson(std::string_view bytes,
                              const SettingsDeskContext& context) {
  return ModelOfText(bytes, EditableText(bytes, context.from_ansi), context);
}

namespace {

struct Edited {
  std::string error;  // a call the page does not make: nothing is done
  std::vector<SettingsProblem> problems;  // changes that cannot be written
};

SettingsProblem ChangeProblem(const std::string& section,
                              const std::string& key, std::string text) {
  return {0, "[" + section + "]", key, std::move(text)};
}

constexpr std::string_view kUnwritable =
    "cannot be written: a value holds no line break, and one with a \" in it "
    "neither starts nor ends with a blank nor holds a ; after a blank";

// A change's true or false; anything else is false.
bool Flag(const Json& change, const char* name) {
  const auto found = change.find(name);
  return found != change.end() && found->is_boolean() && found->get<bool>();
}

// One change made on `document`.
void Change(const Json& change, IniDocument& document, Edited& edited) {
  const Json* section_field = nullptr;
  if (change.is_object() && change.contains("section")) {
    section_field = &change["section"];
  }
  if (!section_field || !section_field->is_string()) {
    edited.error = "each change names its section";
    return;
  }
  const std::string section(TrimBlanks(section_field->get<std::string>()));
  const std::string name = IniSectionName(section);
  const SchemaSection* schema = FindSchemaSection(name);
  const bool bad_name = std::any_of(section.begin(), section.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == '[' || c == ']';
  });
  if (!schema || bad_name) {
    edited.error = "no such section";
    return;
  }
  const bool remove = Flag(change, "remove");
  if (!change.contains("key")) {
    if (remove) {
      document.RemoveSection(name);
    } else if (Flag(change, "add")) {
      document.AddSection(section);
    }
    return;
  }
  const Json& key_field = change["key"];
  const SchemaField* field =
      key_field.is_string()
          ? FindSchemaField(*schema, key_field.get<std::string>())
          : nullptr;
  if (!field) {
    edited.error = "no such setting";
    return;
  }
  const std::string key(field->key);
  if (remove) return document.Remove(name, key);
  std::vector<std::string> values;
  const auto many = change.find("values");
  const auto one = change.find("value");
  const Json given = many != change.end()  ? *many
                     : one != change.end() ? *one
                                           : Json();
  for (const Json& value : given.is_array() ? given : Json::array({given})) {
    if (!value.is_string()) {
      edited.error = "a value is text";
      return;
    }
    values.push_back(value.get<std::string>());
  }
  // An empty secret field keeps the secret.
  const bool empty =
      std::all_of(values.begin(), values.end(),
                  [](const std::string& v) { return v.empty(); });
  if (field->secret && empty) return;
  const bool written =
      field->kind == "header"
          ? document.SetAll(name, key, values)
          : values.size() == 1 && document.Set(name, key, values.front());
  if (!written) {
    edited.problems.push_back(
        ChangeProblem(section, key, std::string(kUnwritable)));
  }
}

}  // namespace

std::string OneChangeJson(std::string_view bytes, std::string_view section,
                          std::string_view key,
                          const std::optional<std::string>& value) {
  Json change = {{"section", section}, {"key", key}};
  if (value) {
    change["value"] = *value;
  } else {
    change["remove"] = true;
  }
  return Dump({{"version", SettingsVersion(bytes)},
               {"changes", Json::array({std::move(change)})}});
}

SettingsAnswer SettingsEdit(std::string_view bytes, std::string_view body,
                            bool save, const SettingsDeskContext& context) {
  const Json call = Json::parse(body, nullptr, false);
  if (!call.is_object() || !call.contains("version") ||
      !call["version"].is_string() || !call.contains("changes") ||
      !call["changes"].is_array()) {
    return {400, ErrorJson("a change is {\"version\":...,\"changes\":[...]}"),
            std::nullopt};
  }
  if (call["version"].get<std::string>() != SettingsVersion(bytes)) {
    return {409, Dump({{"error", kSettingsConflict}, {"conflict", true}}),
            std::nullopt};
  }
  const std::string text = EditableText(bytes, context.from_ansi);
  IniDocument document(text, SectionCountsOnce);
  Edited edited;
  for (const Json& change : call["changes"]) {
    Change(change, document, edited);
    if (!edited.error.empty()) {
      return {400, ErrorJson(edited.error), std::nullopt};
    }
  }
  const std::string after = document.Text();
  const SettingsRead read = ReadText(after, context);
  std::vector<SettingsProblem> before = ReadText(text, context).problems;
  Json problems = Json::array();
  bool blocked = !edited.problems.empty();
  for (const SettingsProblem& problem : edited.problems) {
    problems.push_back(ProblemJson(problem, true));
  }
  for (const SettingsProblem& problem : read.problems) {
    const bool blocks = !WasThere(problem, before);
    blocked |= blocks;
    problems.push_back(ProblemJson(problem, blocks));
  }
  if (!save) {
    return {
        200,
        Dump({{"problems", std::move(problems)},
              {"previews", PreviewsJson(read, context, PreviewSong(context))}}),
        std::nullopt};
  }
  if (blocked) {
    return {422,
            Dump({{"error",
                   "not saved: the changes have problems, shown "
                   "beside their settings"},
                  {"problems", std::move(problems)}}),
            std::nullopt};
  }
  if (after == text)
    return {200, ModelOfText(bytes, text, context), std::nullopt};
  // A secret typed into the form reaches the disk sealed only.
  const Seal none = [](std::string_view) {
    return std::optional<std::string>();
  };
  SealedText sealed = SealSecrets(after, context.seal ? context.seal : none);
  if (!sealed.failed.empty()) {
    return {500,
            ErrorJson("not saved: cannot encrypt " + sealed.failed +
                      " for this Windows user"),
            std::nullopt};
  }
  std::string written = sealed.text ? std::move(*sealed.text) : after;
  std::string model = ModelOfText(written, written, context);
  return {200, std::move(model), std::move(written)};
}

}  // namespace receiver
