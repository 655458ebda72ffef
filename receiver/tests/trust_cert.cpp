// trust_cert.exe CERTIFICATE: adds a certificate (PEM or DER file) to the
// local machine's trusted roots, so that WinHTTP trusts a local test server
// that presents it. For test prefixes only.
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

class CertificateStore {
 public:
  explicit CertificateStore(HCERTSTORE store) : store_(store) {}
  CertificateStore(const CertificateStore&) = delete;
  CertificateStore& operator=(const CertificateStore&) = delete;
  ~CertificateStore() {
    if (store_ != nullptr) CertCloseStore(store_, 0);
  }
  HCERTSTORE get() const { return store_; }

 private:
  HCERTSTORE store_;
};

// The DER bytes of a PEM file, or the file as it is.
std::vector<BYTE> Der(const std::string& file) {
  if (file.find("-----BEGIN") == std::string::npos) {
    return std::vector<BYTE>(file.begin(), file.end());
  }
  DWORD size = 0;
  if (!CryptStringToBinaryA(file.data(), static_cast<DWORD>(file.size()),
                            CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr,
                            nullptr)) {
    return {};
  }
  std::vector<BYTE> der(size);
  if (!CryptStringToBinaryA(file.data(), static_cast<DWORD>(file.size()),
                            CRYPT_STRING_BASE64HEADER, der.data(), &size,
                            nullptr, nullptr)) {
    return {};
  }
  der.resize(size);
  return der;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputs("usage: trust_cert.exe CERTIFICATE.pem\n", stderr);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(in)),
                         std::istreambuf_iterator<char>());
  const std::vector<BYTE> der = Der(file);
  if (der.empty()) {
    std::fputs("trust_cert: no certificate in the file\n", stderr);
    return 1;
  }
  const CertificateStore root(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                            CERT_SYSTEM_STORE_LOCAL_MACHINE,
                                            L"Root"));
  if (root.get() == nullptr) {
    std::fprintf(stderr, "trust_cert: the Root store did not open (%lu)\n",
                 GetLastError());
    return 1;
  }
  if (!CertAddEncodedCertificateToStore(
          root.get(), X509_ASN_ENCODING, der.data(),
          static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING,
          nullptr)) {
    std::fprintf(stderr, "trust_cert: the certificate was not added (%lu)\n",
                 GetLastError());
    return 1;
  }
  std::puts("trust_cert: added to the machine's trusted roots");
  return 0;
}
