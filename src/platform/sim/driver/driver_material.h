// The simulated driver's keys and certificate messages, made with the
// openssl command when the driver is built (generate_material.cmake).
#pragma once

#include <cstddef>
#include <cstdint>

namespace monctl::sim {

struct Bytes {
  const uint8_t* data;
  size_t size;
};

// An RSA key pair: its numbers, most significant byte first.
struct DriverKey {
  uint32_t bits;
  Bytes exponent;  // public
  Bytes modulus;
  Bytes prime1;
  Bytes prime2;
  Bytes private_exponent;
  Bytes exponent1;    // private exponent mod (prime1 - 1)
  Bytes exponent2;    // private exponent mod (prime2 - 1)
  Bytes coefficient;  // inverse of prime2 mod prime1
};

// The driver's own 2048-bit key; it decrypts the initialisation parameters.
const DriverKey& MainDriverKey();
// A second 2048-bit key, on a certificate that carries no usage.
const DriverKey& DecoyDriverKey();
// Keys of 1024 and 4096 bits, which the tool refuses.
const DriverKey& ShortDriverKey();
const DriverKey& LongDriverKey();

// PKCS #7 certificate messages, certificates listed in message order.
// Every certificate is self-signed.
// One certificate of the main key with exactly the OPM usage.
Bytes StandardCertificateMessage();
// The main key without usage, then with only server authentication.
Bytes NoUsageCertificateMessage();
// The main key with the OPM usage and server authentication.
Bytes TwoUsagesCertificateMessage();
// The 1024-bit and the 4096-bit key, each with the OPM usage.
Bytes ShortKeyCertificateMessage();
Bytes LongKeyCertificateMessage();
// The decoy key without usage, then the main key with the OPM usage.
Bytes UsageOnSecondCertificateMessage();
// The same two certificates the other way round. Together the two show
// that the certificate is chosen by its usage, whatever the order.
Bytes UsageOnFirstCertificateMessage();

// 40 bytes and their RSAES-OAEP ciphertext under the main key (SHA-512 for
// the hash and MGF1), made by the openssl command.
Bytes SamplePlaintext();
Bytes SampleCiphertext();

}  // namespace monctl::sim
