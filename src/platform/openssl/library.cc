#include "platform/openssl/library.h"

#include <openssl/crypto.h>

namespace monctl::platform {

void InitializeOpenSsl() {
  // Whichever caller comes first decides: OpenSSL runs each part of its
  // set-up once, so a later default initialisation does not load the
  // configuration after all.
  static const int initialized = OPENSSL_init_crypto(
      OPENSSL_INIT_NO_LOAD_CONFIG | OPENSSL_INIT_NO_LOAD_CRYPTO_STRINGS, nullptr);
  (void)initialized;
}

}  // namespace monctl::platform
