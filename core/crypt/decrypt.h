// Decrypting what the resolver loads from an encrypted file: every string and stream's
// data of an object, under the key the security handler derives for that object.
#pragma once

#include <cstdint>

#include "../cos/object.h"
#include "security_handler.h"

namespace folioscan {

// Every String (inside arrays, dictionaries, stream dictionaries) and a stream's data,
// decrypted with the per-object key. Data that cannot be decrypted passes unchanged, and
// so does a stream of /Type /Metadata when the handler's encrypt_metadata is false.
Object decrypt_object(const SecurityHandler& handler, std::uint32_t num, std::uint16_t gen,
                      Object obj);
Bytes decrypt_bytes(const SecurityHandler& handler, std::uint32_t num, std::uint16_t gen,
                    ByteView data);

}  // namespace folioscan
