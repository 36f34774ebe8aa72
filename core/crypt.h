// The standard security handler (revisions 2 to 6) and the decryption of strings and
// streams, with our own MD5 and RC4; AES and SHA-2 come from libcrypto.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "cos.h"

namespace folioscan {

enum class CryptMethod : std::uint8_t { Rc4, Aes128, Aes256 };

struct SecurityHandler {
  Bytes key;  // file encryption key
  CryptMethod method = CryptMethod::Rc4;
};

// Never fails: an unusable dictionary (or, for revisions 5/6, a password matching
// neither entry) gives no handler and the document is read without decryption.
std::optional<SecurityHandler> construct_security_handler(const Dictionary& encrypt, ByteView id0,
                                                          ByteView password);

// Every String (inside arrays, dictionaries, stream dictionaries) and a stream's data,
// decrypted with the per-object key. Data that cannot be decrypted passes unchanged.
Object decrypt_object(const SecurityHandler& handler, std::uint32_t num, std::uint16_t gen,
                      Object obj);
Bytes decrypt_bytes(const SecurityHandler& handler, std::uint32_t num, std::uint16_t gen,
                    ByteView data);

// Primitives, exposed for tests.
std::array<std::uint8_t, 16> md5(ByteView data);
Bytes rc4(ByteView key, ByteView data);

}  // namespace folioscan
