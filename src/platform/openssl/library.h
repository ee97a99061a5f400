// How this program sets OpenSSL up.
#pragma once

namespace monctl::platform {

// Initialises libcrypto once, before its first use: without the machine's
// OpenSSL configuration file, so that the simulated stack's cryptography is
// the same on every machine, and without OpenSSL's error texts, which
// nothing here shows. Safe to call any number of times.
void InitializeOpenSsl();

}  // namespace monctl::platform
