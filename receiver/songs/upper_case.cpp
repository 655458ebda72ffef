#include "receiver/songs/upper_case.h"

#include "receiver/system/utf8.h"

namespace receiver {

namespace {

// In these blocks the lower-case letter follows its capital.
bool OddIsLower(char32_t c) {
  return (c >= 0x0100 && c <= 0x0137) || (c >= 0x014A && c <= 0x0177) ||
         (c >= 0x0460 && c <= 0x0481) || (c >= 0x048A && c <= 0x04BF) ||
         (c >= 0x04D0 && c <= 0x052F);
}

bool EvenIsLower(char32_t c) {
  return (c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E) ||
         (c >= 0x04C1 && c <= 0x04CE);
}

}  // namespace

char32_t UpperCase(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 0x20;
  if (c < 0xB5) return c;
  if (c == 0xB5) return 0x039C;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x0178;
  if (c == 0x0131) return U'I';
  if (c == 0x017F) return U'S';
  if (OddIsLower(c)) return (c & 1) != 0 ? c - 1 : c;
  if (EvenIsLower(c)) return (c & 1) == 0 ? c - 1 : c;
  if (c >= 0x03B1 && c <= 0x03CB && c != 0x03C2) return c - 0x20;
  if (c == 0x03C2) return 0x03A3;
  if (c == 0x03AC) return 0x0386;
  if (c >= 0x03AD && c <= 0x03AF) return c - 0x25;
  if (c == 0x03CC) return 0x038C;
  if (c == 0x03CD || c == 0x03CE) return c - 0x3F;
  if (c >= 0x0430 && c <= 0x044F) return c - 0x20;
  if (c >= 0x0450 && c <= 0x045F) return c - 0x50;
  if (c == 0x04CF) return 0x04C0;
  return c;
}

std::string UpperCaseText(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (const char32_t c : DecodeUtf8(utf8)) AppendUtf8(out, UpperCase(c));
  return out;
}

}  // namespace receiver
