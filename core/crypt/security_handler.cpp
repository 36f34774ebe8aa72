// The standard security handler: the file key for revisions 2 to 6 from the encryption
// dictionary and a password, read strictly or with the recovery reading of revision 5
// and /EncryptMetadata. Decrypting objects with the handler is decrypt.cpp.
#include "security_handler.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "primitives.h"

namespace folioscan {
namespace {

// The 32 bytes that pad every password (ISO 32000-1, Algorithm 2, step a).
constexpr std::array<std::uint8_t, 32> kPasswordPadding = {
    0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E, 0x56, 0xFF, 0xFA, 0x01, 0x08,
    0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68, 0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

void append(Bytes& out, ByteView bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

// ---------------------------------------------------------------------------------------
// Reading the encryption dictionary. A Reference is never resolved here: it counts as
// a value of the wrong type.

const std::int64_t* integer_entry(const Dictionary& dict, std::string_view key) {
  const Object* value = dict.lookup(key);
  return value != nullptr ? value->as_integer() : nullptr;
}

const String* string_entry(const Dictionary& dict, std::string_view key) {
  const Object* value = dict.lookup(key);
  return value != nullptr ? value->as_string() : nullptr;
}

// A dictionary value, or the dictionary of a stream value.
const Dictionary* dictionary_entry(const Dictionary& dict, std::string_view key) {
  const Object* value = dict.lookup(key);
  if (value == nullptr) return nullptr;
  if (const Dictionary* d = value->as_dict()) return d;
  if (const Stream* s = value->as_stream()) return &s->dict;
  return nullptr;
}

// /V 5 is AES-256 outright; /V 4 takes the cipher of the StdCF crypt filter; anything
// else is RC4. /StmF and /StrF are not consulted: one method serves every string and stream.
CryptMethod select_method(const Dictionary& encrypt) {
  const std::int64_t* v = integer_entry(encrypt, "V");
  if (v == nullptr) return CryptMethod::Rc4;
  if (*v == 5) return CryptMethod::Aes256;
  if (*v != 4) return CryptMethod::Rc4;
  const Dictionary* filters = dictionary_entry(encrypt, "CF");
  const Dictionary* std_cf = filters != nullptr ? dictionary_entry(*filters, "StdCF") : nullptr;
  const Object* cfm = std_cf != nullptr ? std_cf->lookup("CFM") : nullptr;
  if (cfm == nullptr) return CryptMethod::Rc4;
  if (cfm->is_name("AESV3")) return CryptMethod::Aes256;
  if (cfm->is_name("AESV2")) return CryptMethod::Aes128;
  return CryptMethod::Rc4;
}

// True only for /EncryptMetadata false itself; any other value, or none, means true.
bool metadata_in_clear(const Dictionary& encrypt) {
  const Object* value = encrypt.lookup("EncryptMetadata");
  const bool* flag = value != nullptr ? value->as_bool() : nullptr;
  return flag != nullptr && !*flag;
}

// An /EncryptMetadata that is there but not a boolean ((false) or /false in real files).
bool metadata_flag_malformed(const Dictionary& encrypt) {
  const Object* value = encrypt.lookup("EncryptMetadata");
  return value != nullptr && value->as_bool() == nullptr;
}

// The entries both constructors need; nothing when the dictionary cannot be used.
struct StandardEntries {
  std::int64_t revision = 0;
  std::uint32_t permissions = 0;
  ByteView owner;  // /O, all bytes
  ByteView user;   // /U
  CryptMethod method = CryptMethod::Rc4;
};

// Nothing when the dictionary cannot be used; `why` then says what is missing.
std::optional<StandardEntries> standard_entries(const Dictionary& encrypt, std::string* why = nullptr) {
  const auto unusable = [why](std::string_view reason) -> std::optional<StandardEntries> {
    if (why != nullptr) *why = reason;
    return std::nullopt;
  };
  const Object* filter = encrypt.lookup("Filter");
  if (filter == nullptr || !filter->is_name("Standard")) return unusable("/Filter is not /Standard");
  const std::int64_t* revision = integer_entry(encrypt, "R");
  const std::int64_t* permissions = integer_entry(encrypt, "P");
  const String* owner = string_entry(encrypt, "O");
  const String* user = string_entry(encrypt, "U");
  if (revision == nullptr || permissions == nullptr || owner == nullptr || user == nullptr) {
    return unusable("/R, /P, /O or /U missing");
  }
  return StandardEntries{*revision, static_cast<std::uint32_t>(*permissions), owner->bytes,
                         user->bytes, select_method(encrypt)};
}

// ---------------------------------------------------------------------------------------
// Revisions up to 4: MD5 and RC4 (ISO 32000-1, Algorithms 2, 6 and 7).

struct LegacyParams {
  std::int64_t revision = 0;
  std::size_t key_size = 0;  // n, 1 to 16
  ByteView owner;            // /O, all bytes
  ByteView user;             // /U
  std::uint32_t permissions = 0;
  ByteView id0;
  bool metadata_in_clear = false;  // honoured from revision 4 on; the strict reading never sets it
};

// n = /Length / 8; when /Length is absent, 16 for an AESV2 crypt filter (its key is
// 128 bits by definition: r4-aes-v2-no-key-length.pdf omits the entry) and 5 otherwise.
// The MD5-based derivation yields 1 to 16 key bytes; a /Length outside 8..135 bits
// (negative ones included) cannot be honoured and gives nothing, like any other
// unusable dictionary.
std::optional<std::size_t> legacy_key_size(const Dictionary& encrypt, CryptMethod method) {
  const std::int64_t* length = integer_entry(encrypt, "Length");
  const std::int64_t absent = method == CryptMethod::Aes128 ? 16 : 5;
  const std::int64_t key_size = length != nullptr ? *length / 8 : absent;
  if (key_size < 1 || key_size > 16) return std::nullopt;
  return static_cast<std::size_t>(key_size);
}

// The first 32 bytes of the password, completed from the padding string.
Bytes pad_password(ByteView password) {
  const std::size_t used = std::min<std::size_t>(password.size(), 32);
  Bytes padded(password.begin(), password.begin() + static_cast<std::ptrdiff_t>(used));
  padded.insert(padded.end(), kPasswordPadding.begin(),
                kPasswordPadding.begin() + static_cast<std::ptrdiff_t>(32 - used));
  return padded;
}

Bytes xor_key(ByteView key, std::uint8_t value) {
  Bytes out(key.begin(), key.end());
  for (auto& byte : out) byte ^= value;
  return out;
}

// Algorithm 2; its /EncryptMetadata step only when metadata_in_clear is set.
Bytes legacy_file_key(const LegacyParams& params, ByteView password) {
  Bytes input = pad_password(password);
  append(input, params.owner);
  for (int i = 0; i < 4; ++i) input.push_back(static_cast<std::uint8_t>(params.permissions >> (8 * i)));
  append(input, params.id0);
  if (params.metadata_in_clear && params.revision >= 4) input.insert(input.end(), 4, 0xFF);
  auto digest = md5(input);
  if (params.revision >= 3) {
    for (int i = 0; i < 50; ++i) digest = md5(ByteView(digest.data(), params.key_size));
  }
  return Bytes(digest.begin(), digest.begin() + static_cast<std::ptrdiff_t>(params.key_size));
}

// Algorithm 6: recompute the user entry under the key; only 16 bytes are compared,
// because revision 3 and later leave the last 16 bytes of /U arbitrary.
bool legacy_user_check(const LegacyParams& params, ByteView key) {
  Bytes result;
  if (params.revision >= 3) {
    Bytes input(kPasswordPadding.begin(), kPasswordPadding.end());
    append(input, params.id0);
    const auto digest = md5(input);
    result = rc4(key, digest);
    for (int i = 1; i <= 19; ++i) result = rc4(xor_key(key, static_cast<std::uint8_t>(i)), result);
  } else {
    result = rc4(key, kPasswordPadding);
  }
  return result.size() >= 16 && params.user.size() >= 16 &&
         std::equal(result.begin(), result.begin() + 16, params.user.begin());
}

// Algorithm 7: the user password that /O holds encrypted under the owner password.
Bytes legacy_recover_user_password(const LegacyParams& params, ByteView owner_password) {
  auto digest = md5(pad_password(owner_password));
  if (params.revision >= 3) {
    for (int i = 0; i < 50; ++i) digest = md5(digest);
  }
  const ByteView key(digest.data(), params.key_size);
  if (params.revision < 3) return rc4(key, params.owner);
  Bytes result(params.owner.begin(), params.owner.end());
  for (int i = 19; i >= 0; --i) result = rc4(xor_key(key, static_cast<std::uint8_t>(i)), result);
  return result;
}

// The key of the password taken as the user password, then as the owner password;
// nothing when neither passes the user check.
std::optional<Bytes> legacy_authenticated_key(const LegacyParams& params, ByteView password) {
  Bytes key = legacy_file_key(params, password);
  if (legacy_user_check(params, key)) return key;
  const Bytes user_password = legacy_recover_user_password(params, password);
  Bytes owner_key = legacy_file_key(params, user_password);
  if (legacy_user_check(params, owner_key)) return owner_key;
  return std::nullopt;
}

Bytes legacy_handler_key(const LegacyParams& params, ByteView password) {
  if (std::optional<Bytes> key = legacy_authenticated_key(params, password)) return std::move(*key);
  // A wrong password still gives a handler; its key just decrypts to garbage.
  return legacy_file_key(params, password);
}

// ---------------------------------------------------------------------------------------
// Revisions 5 and 6: SHA-2 and AES (ISO 32000-2, Algorithms 2.A and 2.B).

// Algorithm 2.B. The loop ends at the latest in round 286, where i - 31 reaches 255
// and every last byte of E satisfies the condition.
std::optional<Bytes> revision6_hash(ByteView password, ByteView salt, ByteView extra) {
  Bytes input(password.begin(), password.end());
  append(input, salt);
  append(input, extra);
  std::optional<Bytes> k = sha2(Sha2::Sha256, input);
  if (!k) return std::nullopt;

  Bytes k1;
  for (int round = 0;; ++round) {
    k1.clear();
    k1.reserve(64 * (password.size() + k->size() + extra.size()));
    for (int i = 0; i < 64; ++i) {
      append(k1, password);
      append(k1, *k);
      append(k1, extra);
    }
    const ByteView k_view(*k);
    const std::optional<Bytes> e =
        aes_cbc(true, k_view.first(16), k_view.subspan(16, 16), k1);
    if (!e || e->size() < kAesBlock) return std::nullopt;
    unsigned sum = 0;
    for (std::size_t i = 0; i < kAesBlock; ++i) sum += (*e)[i];
    constexpr std::array<Sha2, 3> kVariants = {Sha2::Sha256, Sha2::Sha384, Sha2::Sha512};
    k = sha2(kVariants[sum % 3], *e);
    if (!k) return std::nullopt;
    if (round >= 63 && static_cast<int>(e->back()) <= round - 31) break;
  }
  k->resize(32);
  return k;
}

// Revision 5 hashes at most this many password bytes.
constexpr std::size_t kRevision5PasswordBytes = 127;

// Revision 5 (the 2008 extension that revision 6 replaced): one SHA-256 over the first
// 127 password bytes, the salt and the extra data.
std::optional<Bytes> revision5_hash(ByteView password, ByteView salt, ByteView extra) {
  Bytes input;
  append(input, password.first(std::min(password.size(), kRevision5PasswordBytes)));
  append(input, salt);
  append(input, extra);
  return sha2(Sha2::Sha256, input);
}

using PasswordHash = std::optional<Bytes> (*)(ByteView password, ByteView salt, ByteView extra);

bool equals_prefix(const Bytes& hash, ByteView entry) {
  return hash.size() == 32 && entry.size() >= 32 && std::equal(hash.begin(), hash.end(), entry.begin());
}

// The AES-256 file key is 32 bytes: /UE or /OE decrypted under the intermediate key
// must give exactly that (two whole blocks); anything else gives nothing.
std::optional<Bytes> unwrap_file_key(const String* wrapped, const Bytes& intermediate) {
  if (wrapped == nullptr || wrapped->bytes.size() != kAes256KeyBytes) return std::nullopt;
  const std::array<std::uint8_t, kAesBlock> zero_iv{};
  std::optional<Bytes> key = aes_cbc(false, intermediate, zero_iv, wrapped->bytes);
  if (!key || key->size() != kAes256KeyBytes) return std::nullopt;
  return key;
}

// What a password opens under revisions 5 and 6.
struct Aes256Key {
  bool authenticated = false;  // the password matched /U or /O
  std::string_view wrapped;    // the entry holding the key: "/UE" or "/OE"
  std::optional<Bytes> key;    // nothing when that entry does not give a 32-byte key
};

// Not authenticated when /U is shorter than 48 bytes or the password matches neither entry.
Aes256Key aes256_handler_key(const Dictionary& encrypt, ByteView owner, ByteView user, ByteView password,
                             PasswordHash hash = revision6_hash) {
  if (user.size() < 48) return {};
  const std::optional<Bytes> user_hash = hash(password, user.subspan(32, 8), {});
  if (!user_hash) return {};
  if (equals_prefix(*user_hash, user)) {
    const std::optional<Bytes> key_hash = hash(password, user.subspan(40, 8), {});
    if (!key_hash) return {};
    return {true, "/UE", unwrap_file_key(string_entry(encrypt, "UE"), *key_hash)};
  }
  if (owner.size() < 48) return {};
  const ByteView user48 = user.first(48);
  const std::optional<Bytes> owner_hash = hash(password, owner.subspan(32, 8), user48);
  if (!owner_hash || !equals_prefix(*owner_hash, owner)) return {};
  const std::optional<Bytes> key_hash = hash(password, owner.subspan(40, 8), user48);
  if (!key_hash) return {};
  return {true, "/OE", unwrap_file_key(string_entry(encrypt, "OE"), *key_hash)};
}

LegacyParams legacy_params(const StandardEntries& entries, std::size_t key_size, ByteView id0) {
  LegacyParams params;
  params.revision = entries.revision;
  params.key_size = key_size;
  params.owner = entries.owner;
  params.user = entries.user;
  params.permissions = entries.permissions;
  params.id0 = id0;
  return params;
}

}  // namespace

std::optional<SecurityHandler> construct_security_handler(const Dictionary& encrypt, ByteView id0,
                                                          ByteView password) {
  const std::optional<StandardEntries> entries = standard_entries(encrypt);
  if (!entries) return std::nullopt;
  if (entries->revision > 4) {
    Aes256Key opened = aes256_handler_key(encrypt, entries->owner, entries->user, password);
    if (!opened.key) return std::nullopt;
    return SecurityHandler{std::move(*opened.key), entries->method};
  }
  const std::optional<std::size_t> key_size = legacy_key_size(encrypt, entries->method);
  if (!key_size) return std::nullopt;
  return SecurityHandler{legacy_handler_key(legacy_params(*entries, *key_size, id0), password),
                         entries->method};
}

Result<std::optional<SecurityHandler>> construct_security_handler_recovering(
    const Dictionary& encrypt, ByteView id0, ByteView password, std::vector<ParseError>* notes) {
  const auto note = [notes](std::string message) {
    if (notes != nullptr) notes->push_back(ParseError{std::move(message), ParseErrorKind::Unsupported});
  };
  const auto unusable = [&note](std::string_view why) {
    note("unusable encryption dictionary: " + std::string(why));
    return std::optional<SecurityHandler>{};
  };
  std::string why;
  const std::optional<StandardEntries> entries = standard_entries(encrypt, &why);
  if (!entries) return unusable(why);
  // A flag that is not a boolean counts as absent; a producer that wrote one may still
  // have derived the key as for false, which is tried when the absent reading fails.
  const bool malformed_flag = entries->revision >= 4 && metadata_flag_malformed(encrypt);
  if (malformed_flag) note("/EncryptMetadata is not a boolean: taken as absent");
  const bool in_clear = entries->revision >= 4 && metadata_in_clear(encrypt);

  if (entries->revision > 4) {
    if (entries->user.size() < 48) return unusable("/U shorter than 48 bytes");
    Aes256Key opened;
    if (entries->revision == 5) {
      opened = aes256_handler_key(encrypt, entries->owner, entries->user, password, revision5_hash);
    }
    // Revision 5 written with the revision 6 hash: the strict reading opens such files.
    if (!opened.authenticated) opened = aes256_handler_key(encrypt, entries->owner, entries->user, password);
    if (!opened.authenticated) return fail(ParseErrorKind::InvalidPassword, "wrong password");
    if (!opened.key) return unusable(std::string(opened.wrapped) + " gives no 32-byte file key");
    return SecurityHandler{std::move(*opened.key), entries->method, !in_clear};
  }

  const std::optional<std::size_t> key_size = legacy_key_size(encrypt, entries->method);
  if (!key_size) return unusable("/Length gives no key of 1 to 16 bytes");
  LegacyParams params = legacy_params(*entries, *key_size, id0);
  params.metadata_in_clear = in_clear;
  if (std::optional<Bytes> key = legacy_authenticated_key(params, password)) {
    return SecurityHandler{std::move(*key), entries->method, !in_clear};
  }
  // A producer that declared /EncryptMetadata false but derived the key as if it were
  // true is read as the strict reading reads it, metadata streams included; one that
  // wrote the flag as a string or a name may have derived it as for false.
  if (in_clear || malformed_flag) {
    params.metadata_in_clear = !in_clear;
    if (std::optional<Bytes> key = legacy_authenticated_key(params, password)) {
      return SecurityHandler{std::move(*key), entries->method, in_clear};
    }
  }
  return fail(ParseErrorKind::InvalidPassword, "wrong password");
}

}  // namespace folioscan
