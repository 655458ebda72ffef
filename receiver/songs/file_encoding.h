#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace receiver {

// What a song file's reader wants: UTF-8 for OBS and PHP, a BOM or UTF-16LE
// for older Windows readers.
enum class FileEncoding { kUtf8, kUtf8Bom, kUtf16Le };

// "utf-8", "utf-8-bom" or "utf-16le", in any case.
std::optional<FileEncoding> ParseFileEncoding(std::string_view name);

// Valid UTF-8 as the file's bytes, its BOM included.
std::string EncodeFile(std::string_view utf8, FileEncoding encoding);

}  // namespace receiver
