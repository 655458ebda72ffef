// Makes the local machine trust a certificate: adds it (a DER file) to the
// LOCAL_MACHINE Root store, as an administrator's import does. Tests run it
// in their own wine prefix, for the test CA behind their TLS stand-ins.
//   trust_cert FILE.der
// Exit code: 0 added, 1 cannot read or add it, 2 wrong use.
#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <type_traits>
#include <vector>

namespace {

struct StoreCloser {
  void operator()(HCERTSTORE store) const { CertCloseStore(store, 0); }
};
using Store = std::unique_ptr<std::remove_pointer_t<HCERTSTORE>, StoreCloser>;

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: trust_cert FILE.der\n");
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  const std::vector<BYTE> der{std::istreambuf_iterator<char>(file),
                              std::istreambuf_iterator<char>()};
  if (der.empty()) {
    std::fprintf(stderr, "trust_cert: cannot read %ls\n", argv[1]);
    return 1;
  }
  const Store root(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                 CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root"));
  if (!root) {
    std::fprintf(stderr, "trust_cert: cannot open the Root store (%lu)\n",
                 GetLastError());
    return 1;
  }
  if (!CertAddEncodedCertificateToStore(
          root.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, der.data(),
          static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING,
          nullptr)) {
    std::fprintf(stderr, "trust_cert: cannot add %ls (%lu)\n", argv[1],
                 GetLastError());
    return 1;
  }
  std::printf("trusted\n");
  return 0;
}
