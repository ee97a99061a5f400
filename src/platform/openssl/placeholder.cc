// Replaced by the OpenSSL cryptography backend.
