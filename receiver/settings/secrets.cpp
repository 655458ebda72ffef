#include "receiver/settings/secrets.h"

#include <windows.h>

#include <wincrypt.h>

#include <climits>
#include <vector>

namespace receiver {

namespace {

// The output blob of CryptProtectData/CryptUnprotectData, LocalFree'd.
class SystemBlob {
 public:
  SystemBlob() = default;
  SystemBlob(const SystemBlob&) = delete;
  SystemBlob& operator=(const SystemBlob&) = delete;
  ~SystemBlob() {
    if (blob_.pbData != nullptr) LocalFree(blob_.pbData);
  }

  DATA_BLOB* out() { return &blob_; }
  std::string_view bytes() const {
    return {reinterpret_cast<const char*>(blob_.pbData), blob_.cbData};
  }

 private:
  DATA_BLOB blob_ = {0, nullptr};
};

DATA_BLOB InputBlob(std::string_view bytes) {
  DATA_BLOB blob;
  blob.cbData = static_cast<DWORD>(bytes.size());
  blob.pbData =
      reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data()));  // read only
  return blob;
}

constexpr DWORD kBase64 = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
// The fixed fields of a DPAPI blob alone take more, in Windows' layout and
// in Wine's.
constexpr std::size_t kShortestSealed = 48;

std::optional<std::string> ToBase64(std::string_view bytes) {
  const auto* data = reinterpret_cast<const BYTE*>(bytes.data());
  const auto size = static_cast<DWORD>(bytes.size());
  DWORD length = 0;
  if (!CryptBinaryToStringA(data, size, kBase64, nullptr, &length)) {
    return std::nullopt;
  }
  std::string text(length, '\0');
  if (!CryptBinaryToStringA(data, size, kBase64, text.data(), &length)) {
    return std::nullopt;
  }
  text.resize(length);  // without the final NUL
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

std::optional<std::string> FromBase64(std::string_view text) {
  if (text.empty() || text.size() > INT_MAX) return std::nullopt;
  const auto size = static_cast<DWORD>(text.size());
  DWORD length = 0;
  if (!CryptStringToBinaryA(text.data(), size, CRYPT_STRING_BASE64, nullptr,
                            &length, nullptr, nullptr)) {
    return std::nullopt;
  }
  std::string bytes(length, '\0');
  if (!CryptStringToBinaryA(text.data(), size, CRYPT_STRING_BASE64,
                            reinterpret_cast<BYTE*>(bytes.data()), &length,
                            nullptr, nullptr)) {
    return std::nullopt;
  }
  bytes.resize(length);
  return bytes;
}

}  // namespace

std::optional<std::string> SealSecret(std::string_view clear) {
  if (clear.size() > INT_MAX) return std::nullopt;
  DATA_BLOB input = InputBlob(clear);
  SystemBlob sealed;
  if (!CryptProtectData(&input, L"trackwire_receiver", nullptr, nullptr,
                        nullptr, CRYPTPROTECT_UI_FORBIDDEN, sealed.out())) {
    return std::nullopt;
  }
  const std::optional<std::string> text = ToBase64(sealed.bytes());
  if (!text) return std::nullopt;
  return std::string(kSealedPrefix) + *text;
}

Unsealed UnsealSecret(std::string_view sealed) {
  const Unsealed damaged{std::nullopt, Unsealed::Failure::kDamaged};
  if (sealed.substr(0, kSealedPrefix.size()) != kSealedPrefix) return damaged;
  const std::optional<std::string> bytes =
      FromBase64(sealed.substr(kSealedPrefix.size()));
  if (!bytes || bytes->size() < kShortestSealed) return damaged;
  DATA_BLOB input = InputBlob(*bytes);
  SystemBlob clear;
  if (!CryptUnprotectData(&input, nullptr, nullptr, nullptr, nullptr,
                          CRYPTPROTECT_UI_FORBIDDEN, clear.out())) {
    const DWORD error = GetLastError();
    if (error == ERROR_INVALID_DATA ||
        error == static_cast<DWORD>(NTE_BAD_DATA)) {
      return damaged;
    }
    return {std::nullopt, Unsealed::Failure::kOtherUser};
  }
  return {std::string(clear.bytes()), Unsealed::Failure::kNone};
}

}  // namespace receiver
