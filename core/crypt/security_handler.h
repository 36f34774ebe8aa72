// The standard security handler (revisions 2 to 6): the file key and the cipher that
// decrypt the document, built from the encryption dictionary and a password.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "../cos/object.h"
#include "../error.h"

namespace folioscan {

enum class CryptMethod : std::uint8_t { Rc4, Aes128, Aes256 };

struct SecurityHandler {
  Bytes key;  // file encryption key
  CryptMethod method = CryptMethod::Rc4;
  // False when /EncryptMetadata false was honoured: streams of /Type /Metadata are then
  // stored in clear and decrypt_object leaves them as they are.
  bool encrypt_metadata = true;
};

// Never fails: an unusable dictionary (or, for revisions 5/6, a password matching
// neither entry, or a /UE or /OE that does not give a 32-byte key) gives no handler and the document is read without decryption.
std::optional<SecurityHandler> construct_security_handler(const Dictionary& encrypt, ByteView id0,
                                                          ByteView password);

// The recovery reading of the same dictionary. Beyond the strict one it reads revision 5
// (the password hashed with one SHA-256, truncated to 127 bytes) and honours
// /EncryptMetadata false under revisions 4 and up (the key of revision 4 hashes
// FF FF FF FF after /ID[0]; the handler leaves metadata streams in clear). When that
// reading authenticates neither password, the strict one is tried, so whatever the strict
// handler opens, this opens with the same key. A password matching neither the user nor
// the owner entry is the error InvalidPassword "wrong password"; a dictionary that
// cannot be used (the strict constructor's cases) gives no handler and no error, and
// the note "unusable encryption dictionary: <why>" in `notes`. An /EncryptMetadata that
// is not a boolean is taken as absent (noted too); when the password fails under that
// reading, the key derived as for false is tried.
Result<std::optional<SecurityHandler>> construct_security_handler_recovering(
    const Dictionary& encrypt, ByteView id0, ByteView password, std::vector<ParseError>* notes = nullptr);

}  // namespace folioscan
