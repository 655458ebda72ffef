// rand_s draws on the system's own generator (RtlGenRandom), not on rand().
#define _CRT_RAND_S
#include "receiver/system/random.h"

#include <stdlib.h>

namespace receiver {

std::string RandomHex(std::size_t bytes) {
  constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  while (out.size() < 2 * bytes) {
    unsigned int value = 0;
    if (rand_s(&value) != 0) return {};
    for (int i = 0; i < 4 && out.size() < 2 * bytes; ++i) {
      out += kHex[(value >> 4) & 0x0F];
      out += kHex[value & 0x0F];
      value >>= 8;
    }
  }
  return out;
}

}  // namespace receiver
