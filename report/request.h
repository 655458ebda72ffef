#pragma once

#include <string>

// Composition of the report request: pure text work, no platform calls.
namespace report {

// Removes `artist` + " - " from the front of `title`, and from nowhere else.
std::string StripArtistPrefix(const std::string& title,
                              const std::string& artist);

// Fills the configured path template: the first three "%s" receive artist,
// album and title in that order, "%%" gives "%", and every other "%"
// sequence (a fourth "%s" included) stays as written.
std::string FillRequestPath(const std::string& request_path,
                            const std::string& artist, const std::string& album,
                            const std::string& title);

// The whole request text for already encoded values. The host goes into the
// Host header exactly as configured.
std::string ComposeRequest(const std::string& request_path,
                           const std::string& host,
                           const std::string& encoded_artist,
                           const std::string& encoded_album,
                           const std::string& encoded_title);

// Whether the path's query has charset=utf-8 (name and value in any case):
// then the values go as UTF-8 instead of in the ANSI code page. The first
// charset in the query decides.
bool WantsUtf8(const std::string& request_path);

// The port text as a decimal number: leading white space, an optional sign,
// digits up to the first other character; no digits give 0, and values past
// the signed 32-bit range are clamped to it.
int ParsePort(const std::string& text);

}  // namespace report
