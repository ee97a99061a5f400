// The cryptographic provider on OpenSSL. The platform's functions of
// platform/bcrypt.h are thin forwarders to these in sim/bcrypt.cc, where a
// test can make them fail.
#pragma once

#include "platform/bcrypt.h"

namespace monctl::platform::openssl {

decltype(platform::BCryptOpenAlgorithmProvider) BCryptOpenAlgorithmProvider;
decltype(platform::BCryptCloseAlgorithmProvider) BCryptCloseAlgorithmProvider;
decltype(platform::BCryptGetProperty) BCryptGetProperty;
decltype(platform::BCryptSetProperty) BCryptSetProperty;
decltype(platform::BCryptImportKey) BCryptImportKey;
decltype(platform::BCryptImportKeyPair) BCryptImportKeyPair;
decltype(platform::BCryptDestroyKey) BCryptDestroyKey;
decltype(platform::BCryptEncrypt) BCryptEncrypt;
decltype(platform::BCryptGenRandom) BCryptGenRandom;

}  // namespace monctl::platform::openssl
