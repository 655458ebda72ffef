#pragma once

#include <string_view>
#include <vector>

// The settings file's sections and keys as the control page's forms show
// them, in one table: a service more is a few lines here (and its reader).
namespace receiver {

struct SchemaField {
  std::string_view key;
  // How the page shows it: "text", "number", "yesno", "choice" (one of
  // `choices`, split at "|"), "template", "url", "header" (a line per
  // header).
  std::string_view kind;
  std::string_view help;
  // What the receiver takes without the key, shown as a hint.
  std::string_view default_value = {};
  std::string_view choices = {};
  // Shown only as set or not set; sealed before the file is written.
  bool secret = false;
};

struct SchemaSection {
  // "history"; for a section with a name of its own, its first word: "file"
  // for [file NAME].
  std::string_view name;
  bool named = false;  // any number, each [NAME TEXT]
  std::string_view title;
  std::string_view help;
  std::vector<SchemaField> fields;
};

const std::vector<SchemaSection>& SettingsSchema();

// The table's section for a name as IniSectionName gives it ("file a.txt",
// "history"), or null.
const SchemaSection* FindSchemaSection(std::string_view name);
const SchemaField* FindSchemaField(const SchemaSection& section,
                                   std::string_view key);

}  // namespace receiver
