/* The OpenSSL floor of bench/bench-process: only the OpenSSL work of an
   eight-monitor listing that no implementation of the handshake can
   avoid. floor_key.h, which the script writes, holds a new RSA-2048 key's
   numbers. */
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <stdlib.h>
#include <string.h>

#include "floor_key.h"

/* An RSA key made from its numbers (hexadecimal), as the tool makes the
   driver's public key from its blob and the simulated driver its own key. */
static EVP_PKEY* MakeKey(int private_key) {
  static const char* const names[8] = {
      OSSL_PKEY_PARAM_RSA_N, OSSL_PKEY_PARAM_RSA_E, OSSL_PKEY_PARAM_RSA_D,
      OSSL_PKEY_PARAM_RSA_FACTOR1, OSSL_PKEY_PARAM_RSA_FACTOR2, OSSL_PKEY_PARAM_RSA_EXPONENT1,
      OSSL_PKEY_PARAM_RSA_EXPONENT2, OSSL_PKEY_PARAM_RSA_COEFFICIENT1};
  const int count = private_key ? 8 : 2;
  BIGNUM* numbers[8] = {0};
  OSSL_PARAM_BLD* builder = OSSL_PARAM_BLD_new();
  OSSL_PARAM* params = NULL;
  EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_name(NULL, "RSA", NULL);
  EVP_PKEY* key = NULL;
  int ok = builder != NULL && context != NULL;
  for (int i = 0; ok && i < count; ++i) {
    ok = BN_hex2bn(&numbers[i], kFloorKey[i]) != 0 &&
         OSSL_PARAM_BLD_push_BN(builder, names[i], numbers[i]) == 1;
  }
  if (ok && (params = OSSL_PARAM_BLD_to_param(builder)) != NULL &&
      EVP_PKEY_fromdata_init(context) == 1) {
    EVP_PKEY_fromdata(context, &key, private_key ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY, params);
  }
  EVP_PKEY_CTX_free(context);
  OSSL_PARAM_free(params);
  OSSL_PARAM_BLD_free(builder);
  for (int i = 0; i < count; ++i) BN_free(numbers[i]);
  return key;
}

static int Crypt(EVP_PKEY* key, int decrypt, const unsigned char* in, size_t in_size,
                 unsigned char* out, size_t* out_size) {
  EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_pkey(NULL, key, NULL);
  int ok = context != NULL &&
           (decrypt ? EVP_PKEY_decrypt_init(context) : EVP_PKEY_encrypt_init(context)) == 1 &&
           EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_OAEP_PADDING) == 1 &&
           EVP_PKEY_CTX_set_rsa_oaep_md_name(context, "SHA512", NULL) == 1 &&
           EVP_PKEY_CTX_set_rsa_mgf1_md_name(context, "SHA512", NULL) == 1 &&
           (decrypt ? EVP_PKEY_decrypt(context, out, out_size, in, in_size)
                    : EVP_PKEY_encrypt(context, out, out_size, in, in_size)) == 1;
  EVP_PKEY_CTX_free(context);
  return ok;
}

/* openssl-floor COUNT tool|both: libcrypto's set-up, the AES cipher the
   tags need, then COUNT times a public key from its numbers, random
   bytes and an RSAES-OAEP encryption (the tool's side); with "both" also
   the driver's key, once, and COUNT decryptions with it. */
int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const int both = strcmp(argv[2], "both") == 0;
  OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG | OPENSSL_INIT_NO_LOAD_CRYPTO_STRINGS, NULL);
  EVP_CIPHER* aes = EVP_CIPHER_fetch(NULL, "AES-128-ECB", NULL);
  EVP_PKEY* driver = both ? MakeKey(1) : NULL;
  if (aes == NULL || (both && driver == NULL)) return 1;
  unsigned char plain[40] = {0}, cipher[256], back[256];
  for (int i = atoi(argv[1]); i > 0; --i) {
    EVP_PKEY* key = MakeKey(0);
    size_t cipher_size = sizeof cipher, back_size = sizeof back;
    if (key == NULL || RAND_bytes(plain, 16) != 1 ||
        !Crypt(key, 0, plain, sizeof plain, cipher, &cipher_size) ||
        (both && !Crypt(driver, 1, cipher, cipher_size, back, &back_size))) {
      return 1;
    }
    EVP_PKEY_free(key);
  }
  EVP_PKEY_free(driver);
  EVP_CIPHER_free(aes);
  return 0;
}
