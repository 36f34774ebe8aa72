// The ciphers and digests of the security handler: our own MD5 and RC4, and AES in CBC
// mode and SHA-2 from libcrypto. Each is a pure function of whole buffers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "../cos/object.h"

namespace folioscan {

inline constexpr std::size_t kAesBlock = 16;
// The file key of revisions 5 and 6.
inline constexpr std::size_t kAes256KeyBytes = 32;

// MD5 (RFC 1321) of `data`.
std::array<std::uint8_t, 16> md5(ByteView data);
// RC4 of `data` under `key` (encryption and decryption are one operation); an empty key
// gives `data` unchanged.
Bytes rc4(ByteView key, ByteView data);

// libcrypto wrappers. Every failure becomes "nothing", which the callers treat as
// "cannot decrypt": the data passes unchanged, or no handler is built.

// AES in CBC mode over whole blocks, no padding added or removed; the key length
// (16 or 32 bytes) selects AES-128 or AES-256.
std::optional<Bytes> aes_cbc(bool encrypt, ByteView key, ByteView iv, ByteView data);

enum class Sha2 : std::uint8_t { Sha256, Sha384, Sha512 };
std::optional<Bytes> sha2(Sha2 variant, ByteView data);

}  // namespace folioscan
