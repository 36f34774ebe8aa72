// Tests of MD5, RC4, the standard security handler (strict and recovering) and
// per-object decryption. Known answers for whole files come from crypt_cases.inc, made by
// make_crypt_fixtures.py from qpdf-encrypted documents and an independent Python
// implementation.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "crypt/decrypt.h"
#include "crypt/primitives.h"
#include "crypt/security_handler.h"

namespace folioscan {
namespace {

Bytes from_hex(std::string_view hex) {
  auto nibble = [](char c) -> std::uint8_t {
    if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
    return static_cast<std::uint8_t>(c - 'a' + 10);
  };
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(nibble(hex[i]) << 4 | nibble(hex[i + 1])));
  }
  return out;
}

std::string to_hex(ByteView bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::uint8_t b : bytes) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 15]);
  }
  return out;
}

Bytes text_bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

Object integer(std::int64_t value) { return Object{value}; }
Object name(std::string text) { return Object{Name{std::move(text)}}; }
Object string(Bytes bytes) { return Object{String{std::move(bytes)}}; }

// AES-CBC encryption without padding, to make ciphertexts for the padding checks.
Bytes aes_encrypt(ByteView key, ByteView iv, ByteView plain) {
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                      &EVP_CIPHER_CTX_free);
  const EVP_CIPHER* cipher = key.size() == 16 ? EVP_aes_128_cbc() : EVP_aes_256_cbc();
  Bytes out(plain.size() + 16);
  int size = 0;
  int rest = 0;
  if (EVP_EncryptInit_ex(ctx.get(), cipher, nullptr, key.data(), iv.data()) != 1 ||
      EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 ||
      EVP_EncryptUpdate(ctx.get(), out.data(), &size, plain.data(), static_cast<int>(plain.size())) != 1 ||
      EVP_EncryptFinal_ex(ctx.get(), out.data() + size, &rest) != 1) {
    ADD_FAILURE() << "test encryption failed";
    return {};
  }
  out.resize(static_cast<std::size_t>(size + rest));
  return out;
}

// ---------------------------------------------------------------------------------------
// MD5 and RC4.

struct DigestCase {
  std::string_view input;
  std::string_view digest;
};

TEST(Md5, MatchesTheRfc1321TestSuite) {
  const DigestCase cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(to_hex(md5(text_bytes(c.input))), c.digest) << '"' << c.input << '"';
  }
}

TEST(Md5, LengthsAroundTheBlockAndLengthFieldBoundariesHashCorrectly) {
  // Bytes i % 251 for i < n; digests from Python's hashlib.
  const std::pair<std::size_t, std::string_view> cases[] = {
      {55, "6912ee65fff2d9f9ce2508cddf8bcda0"},  {56, "51fdd1acda72405dfdfa03fcb85896d7"},
      {63, "48a6295221902e8e0938f773a7185e72"},  {64, "b2d3f56bc197fd985d5965079b5e7148"},
      {65, "8bd7053801c768420faf816fadba971c"},  {119, "1c772251899a7ff007400b888d6b2042"},
      {120, "b7ba1efc6022e9ed272f00b8831e26e6"}, {128, "37eff01866ba3f538421b30b7cbefcac"},
  };
  for (const auto& [size, digest] : cases) {
    Bytes input(size);
    for (std::size_t i = 0; i < size; ++i) input[i] = static_cast<std::uint8_t>(i % 251);
    EXPECT_EQ(to_hex(md5(input)), digest) << size << " bytes";
  }
}

TEST(Rc4, MatchesWellKnownVectors) {
  const struct {
    std::string_view key, plain, cipher;
  } cases[] = {
      {"Key", "Plaintext", "bbf316e8d940af0ad3"},
      {"Wiki", "pedia", "1021bf0420"},
      {"Secret", "Attack at dawn", "45a01f645fc35b383552544b9bf5"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(to_hex(rc4(text_bytes(c.key), text_bytes(c.plain))), c.cipher) << c.key;
    EXPECT_EQ(rc4(text_bytes(c.key), from_hex(c.cipher)), text_bytes(c.plain)) << c.key;
  }
}

TEST(Rc4, EmptyKeyLeavesDataUnchangedAndEmptyDataGivesEmptyOutput) {
  EXPECT_EQ(rc4({}, text_bytes("abc")), text_bytes("abc"));
  EXPECT_TRUE(rc4(text_bytes("Key"), {}).empty());
}

// ---------------------------------------------------------------------------------------
// Whole encrypted files: the handler's key for each password, and their objects.

struct KeyCase {
  const char* password;
  const char* key;  // nullptr: no handler
};

struct SampleCase {
  std::uint32_t num;
  std::uint16_t gen;
  const char* cipher;
  const char* plain;
};

struct FileCase {
  const char* name;
  std::int64_t v, r, length, p;
  const char* cfm;  // nullptr: no /CF
  const char *o, *u, *oe, *ue, *id0;
  CryptMethod method;
  std::array<KeyCase, 4> keys;         // strict constructor
  std::array<SampleCase, 2> samples;  // the /Title string, then the content stream
  std::array<KeyCase, 4> recovery_keys;  // nullptr: InvalidPassword
  bool encrypt_metadata;
  SampleCase metadata;  // stored in clear; cipher nullptr when there is none
};

// Names the fixture in failure messages instead of dumping its bytes.
void PrintTo(const FileCase& f, std::ostream* os) { *os << f.name; }

const FileCase kFiles[] = {
#include "../fixtures/crypt/crypt_cases.inc"
};

const FileCase& file_case(std::string_view name) {
  for (const auto& f : kFiles) {
    if (f.name == name) return f;
  }
  ADD_FAILURE() << "no fixture " << name;
  return kFiles[0];
}

Dictionary encrypt_dict(const FileCase& f) {
  Dictionary d;
  d.set("Filter", name("Standard"));
  d.set("V", integer(f.v));
  d.set("R", integer(f.r));
  d.set("Length", integer(f.length));
  d.set("P", integer(f.p));
  d.set("O", string(from_hex(f.o)));
  d.set("U", string(from_hex(f.u)));
  if (f.oe != nullptr) d.set("OE", string(from_hex(f.oe)));
  if (f.ue != nullptr) d.set("UE", string(from_hex(f.ue)));
  if (!f.encrypt_metadata) d.set("EncryptMetadata", Object{false});
  if (f.cfm != nullptr) {
    Dictionary std_cf;
    std_cf.set("CFM", name(f.cfm));
    Dictionary cf;
    cf.set("StdCF", Object{std::move(std_cf)});
    d.set("CF", Object{std::move(cf)});
  }
  return d;
}

Dictionary without(Dictionary d, std::string_view key) {
  std::erase_if(d.entries, [key](const DictEntry& e) { return e.key == key; });
  return d;
}

Dictionary with(Dictionary d, std::string key, Object value) {
  d.set(std::move(key), std::move(value));
  return d;
}

std::optional<SecurityHandler> handler_for(const Dictionary& d, const FileCase& f,
                                           std::string_view password) {
  return construct_security_handler(d, from_hex(f.id0), text_bytes(password));
}

Result<std::optional<SecurityHandler>> recovering_for(const Dictionary& d, const FileCase& f,
                                                      std::string_view password) {
  return construct_security_handler_recovering(d, from_hex(f.id0), text_bytes(password));
}

// The handler that opens the file (for some files, only the recovering constructor does).
SecurityHandler user_handler(const FileCase& f) {
  return SecurityHandler{from_hex(f.recovery_keys[0].key), f.method, f.encrypt_metadata};
}

class EncryptedFile : public ::testing::TestWithParam<FileCase> {};

TEST_P(EncryptedFile, HandlerKeyMatchesTheReferenceForUserOwnerWrongAndEmptyPasswords) {
  const FileCase& f = GetParam();
  const Dictionary d = encrypt_dict(f);
  for (const KeyCase& k : f.keys) {
    const auto handler = handler_for(d, f, k.password);
    if (k.key == nullptr) {
      EXPECT_FALSE(handler.has_value()) << "password \"" << k.password << '"';
      continue;
    }
    ASSERT_TRUE(handler.has_value()) << "password \"" << k.password << '"';
    EXPECT_EQ(to_hex(handler->key), k.key) << "password \"" << k.password << '"';
    EXPECT_EQ(handler->method, f.method);
  }
}

TEST_P(EncryptedFile, StringAndStreamDecryptToThePlainBytes) {
  const FileCase& f = GetParam();
  const SecurityHandler handler = user_handler(f);
  for (const SampleCase& s : f.samples) {
    EXPECT_EQ(to_hex(decrypt_bytes(handler, s.num, s.gen, from_hex(s.cipher))), s.plain);
  }

  const SampleCase& title = f.samples[0];
  const SampleCase& content = f.samples[1];
  const Object info = decrypt_object(handler, title.num, title.gen,
                                     Object{Array{string(from_hex(title.cipher))}});
  EXPECT_EQ(to_hex(info.as_array()->at(0).as_string()->bytes), title.plain);

  Stream stream;
  stream.dict.set("Length", integer(static_cast<std::int64_t>(from_hex(content.cipher).size())));
  stream.data = from_hex(content.cipher);
  const Object decrypted = decrypt_object(handler, content.num, content.gen, Object{stream});
  EXPECT_EQ(to_hex(decrypted.as_stream()->data), content.plain);
  EXPECT_EQ(decrypted.as_stream()->dict, stream.dict);

  if (f.metadata.cipher == nullptr) return;
  Stream metadata;
  metadata.dict.set("Type", name("Metadata"));
  metadata.data = from_hex(f.metadata.cipher);
  EXPECT_EQ(decrypt_object(handler, f.metadata.num, f.metadata.gen, Object{metadata}),
            Object{metadata});
}

TEST_P(EncryptedFile, RecoveringHandlerOpensUserAndOwnerPasswordsAndRejectsOthers) {
  const FileCase& f = GetParam();
  const Dictionary d = encrypt_dict(f);
  for (const KeyCase& k : f.recovery_keys) {
    const auto handler = recovering_for(d, f, k.password);
    if (k.key == nullptr) {
      ASSERT_FALSE(handler.has_value()) << "password \"" << k.password << '"';
      EXPECT_EQ(handler.error().kind, ParseErrorKind::InvalidPassword);
      EXPECT_EQ(handler.error().display(), "InvalidPassword: wrong password");
      continue;
    }
    ASSERT_TRUE(handler.has_value() && handler->has_value()) << "password \"" << k.password << '"';
    EXPECT_EQ(to_hex((*handler)->key), k.key) << "password \"" << k.password << '"';
    EXPECT_EQ((*handler)->method, f.method);
    EXPECT_EQ((*handler)->encrypt_metadata, f.encrypt_metadata);
  }
}

TEST_P(EncryptedFile, WrongPasswordNeverYieldsThePlainBytes) {
  const FileCase& f = GetParam();
  const auto handler = handler_for(encrypt_dict(f), f, "wrongpw");
  if (!handler) return;  // revision 6: read without decryption
  for (const SampleCase& s : f.samples) {
    EXPECT_NE(to_hex(decrypt_bytes(*handler, s.num, s.gen, from_hex(s.cipher))), s.plain);
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, EncryptedFile, ::testing::ValuesIn(kFiles),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// Dictionary reading and method selection.

TEST(SecurityHandler, MethodFollowsVAndTheStdCfFilter) {
  const FileCase& f = file_case("r4_aes_128");
  const Dictionary base = encrypt_dict(f);
  auto cf_with = [](Object cfm) {
    Dictionary std_cf;
    std_cf.set("CFM", std::move(cfm));
    Dictionary cf;
    cf.set("StdCF", Object{std::move(std_cf)});
    return Object{std::move(cf)};
  };
  Stream std_cf_stream;
  std_cf_stream.dict.set("CFM", name("AESV2"));
  Dictionary cf_of_stream;
  cf_of_stream.set("StdCF", Object{std_cf_stream});
  Stream cf_stream{*cf_with(name("AESV3")).as_dict(), {}};
  Dictionary other_filter;
  other_filter.set("MyCF", Object{*cf_with(name("AESV2")).as_dict()->lookup("StdCF")});

  const struct {
    const char* what;
    Dictionary dict;
    CryptMethod method;
  } cases[] = {
      {"V 4, CFM AESV2", base, CryptMethod::Aes128},
      {"V 4, no CF", without(base, "CF"), CryptMethod::Rc4},
      {"V 4, CFM V2", with(base, "CF", cf_with(name("V2"))), CryptMethod::Rc4},
      {"V 4, CFM None", with(base, "CF", cf_with(name("None"))), CryptMethod::Rc4},
      {"V 4, CFM AESV3", with(base, "CF", cf_with(name("AESV3"))), CryptMethod::Aes256},
      {"V 4, CFM a string", with(base, "CF", cf_with(string(text_bytes("AESV2")))), CryptMethod::Rc4},
      {"V 4, only another filter", with(base, "CF", Object{other_filter}), CryptMethod::Rc4},
      {"V 4, CF a stream", with(base, "CF", Object{cf_stream}), CryptMethod::Aes256},
      {"V 4, StdCF a stream", with(base, "CF", Object{cf_of_stream}), CryptMethod::Aes128},
      {"V 4, CF a reference", with(base, "CF", Object{ObjRef{9, 0}}), CryptMethod::Rc4},
      {"V 5 ignores CF", with(base, "V", integer(5)), CryptMethod::Aes256},
      {"V 2 ignores CF", with(base, "V", integer(2)), CryptMethod::Rc4},
      {"V a real", with(base, "V", Object{4.0}), CryptMethod::Rc4},
      {"no V", without(base, "V"), CryptMethod::Rc4},
  };
  for (const auto& c : cases) {
    const auto handler = handler_for(c.dict, f, "userpw");
    ASSERT_TRUE(handler.has_value()) << c.what;
    EXPECT_EQ(handler->method, c.method) << c.what;
    EXPECT_EQ(to_hex(handler->key), f.keys[0].key) << c.what;
  }
}

TEST(SecurityHandler, UnusableDictionariesGiveNoHandler) {
  const FileCase& r3 = file_case("r3_rc4_128");
  const FileCase& r6 = file_case("r6_aes_256");
  const Dictionary d3 = encrypt_dict(r3);
  const Dictionary d6 = encrypt_dict(r6);
  Bytes short_u = from_hex(r6.u);
  short_u.resize(47);
  const struct {
    const char* what;
    Dictionary dict;
    const FileCase& file;
  } cases[] = {
      {"no Filter", without(d3, "Filter"), r3},
      {"Filter FooSecurity", with(d3, "Filter", name("FooSecurity")), r3},
      {"Filter a string", with(d3, "Filter", string(text_bytes("Standard"))), r3},
      {"no R", without(d3, "R"), r3},
      {"R a real", with(d3, "R", Object{3.0}), r3},
      {"R a reference", with(d3, "R", Object{ObjRef{4, 0}}), r3},
      {"no P", without(d3, "P"), r3},
      {"P a real", with(d3, "P", Object{-4.0}), r3},
      {"no O", without(d3, "O"), r3},
      {"O a name", with(d3, "O", name("O")), r3},
      {"no U", without(d3, "U"), r3},
      {"U a reference", with(d3, "U", Object{ObjRef{5, 0}}), r3},
      {"Length 0", with(d3, "Length", integer(0)), r3},
      {"Length 7", with(d3, "Length", integer(7)), r3},
      {"Length 136", with(d3, "Length", integer(136)), r3},
      {"Length -8", with(d3, "Length", integer(-8)), r3},
      {"Length -128", with(d3, "Length", integer(-128)), r3},
      {"Length huge", with(d3, "Length", integer(INT64_MAX)), r3},
      {"revision 6, U of 47 bytes", with(d6, "U", string(short_u)), r6},
      {"revision 6, no O", without(d6, "O"), r6},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(handler_for(c.dict, c.file, "userpw").has_value()) << c.what;
    const auto recovering = recovering_for(c.dict, c.file, "userpw");
    EXPECT_TRUE(recovering.has_value() && !recovering->has_value()) << c.what;
  }
}

TEST(SecurityHandler, RecoveringFallsBackToTheStrictReadingWhereThatOpensTheFile) {
  const FileCase& r3 = file_case("r3_rc4_128");
  const FileCase& r4 = file_case("r4_rc4_128");
  const FileCase& r6 = file_case("r6_aes_256");
  const auto in_clear = [](const FileCase& f) {
    return with(encrypt_dict(f), "EncryptMetadata", Object{false});
  };
  const struct {
    const char* what;
    Dictionary dict;
    const FileCase& file;
    bool encrypt_metadata;
  } cases[] = {
      {"revision 4 keyed as if metadata were encrypted", in_clear(r4), r4, true},
      {"revision 3 ignores EncryptMetadata", in_clear(r3), r3, true},
      {"revision 6 labelled 5", with(encrypt_dict(r6), "R", integer(5)), r6, true},
      {"revision 6, EncryptMetadata false", in_clear(r6), r6, false},
  };
  for (const auto& c : cases) {
    for (const char* password : {"userpw", "ownerpw"}) {
      const auto handler = recovering_for(c.dict, c.file, password);
      ASSERT_TRUE(handler.has_value() && handler->has_value()) << c.what << ", " << password;
      EXPECT_EQ(to_hex((*handler)->key), c.file.keys[0].key) << c.what << ", " << password;
      EXPECT_EQ((*handler)->encrypt_metadata, c.encrypt_metadata) << c.what;
    }
  }
}

TEST(SecurityHandler, LengthBoundsOfTheLegacyKeyAreInclusive) {
  const FileCase& f = file_case("r3_rc4_128");
  for (std::int64_t length : {8, 15, 135}) {
    const auto handler = handler_for(with(encrypt_dict(f), "Length", integer(length)), f, "userpw");
    ASSERT_TRUE(handler.has_value()) << length;
    EXPECT_EQ(handler->key.size(), static_cast<std::size_t>(length / 8)) << length;
  }
}

TEST(SecurityHandler, MissingLengthMeansFortyBits) {
  const FileCase& f = file_case("r3_rc4_40");
  const Dictionary d = without(encrypt_dict(f), "Length");
  for (const char* password : {"userpw", "ownerpw"}) {
    const auto handler = handler_for(d, f, password);
    ASSERT_TRUE(handler.has_value());
    EXPECT_EQ(to_hex(handler->key), f.keys[0].key) << password;
  }
}

// An AESV2 crypt filter's key is 128 bits by definition, so a missing /Length under
// /V 4 gives 16 bytes in both readings; a /Length that is there keeps its meaning, and
// RC4 keeps the 40-bit default.
TEST(SecurityHandler, MissingLengthUnderAesV2MeansOneHundredTwentyEightBits) {
  const FileCase& f = file_case("r4_aes_128");
  const Dictionary d = without(encrypt_dict(f), "Length");
  for (const char* password : {"userpw", "ownerpw"}) {
    const auto strict = handler_for(d, f, password);
    ASSERT_TRUE(strict.has_value()) << password;
    EXPECT_EQ(to_hex(strict->key), f.keys[0].key) << password;
    const auto recovering = recovering_for(d, f, password);
    ASSERT_TRUE(recovering.has_value() && recovering->has_value()) << password;
    EXPECT_EQ(to_hex((*recovering)->key), f.keys[0].key) << password;
  }
  const auto stated = handler_for(with(d, "Length", integer(40)), f, "userpw");
  ASSERT_TRUE(stated.has_value());
  EXPECT_EQ(stated->key.size(), 5u);
  const auto rc4 = handler_for(without(encrypt_dict(file_case("r4_rc4_128")), "Length"),
                               file_case("r4_rc4_128"), "userpw");
  ASSERT_TRUE(rc4.has_value());
  EXPECT_EQ(rc4->key.size(), 5u);
}

TEST(SecurityHandler, RevisionSixIgnoresLength) {
  const FileCase& f = file_case("r6_aes_256");
  for (std::int64_t length : {0, -1, 4096}) {
    const auto handler = handler_for(with(encrypt_dict(f), "Length", integer(length)), f, "userpw");
    ASSERT_TRUE(handler.has_value()) << length;
    EXPECT_EQ(to_hex(handler->key), f.keys[0].key);
  }
}

TEST(SecurityHandler, RevisionFiveUsesTheRevisionSixHash) {
  const FileCase& f = file_case("r6_aes_256");
  const Dictionary d = with(encrypt_dict(f), "R", integer(5));
  for (const char* password : {"userpw", "ownerpw"}) {
    const auto handler = handler_for(d, f, password);
    ASSERT_TRUE(handler.has_value()) << password;
    EXPECT_EQ(to_hex(handler->key), f.keys[0].key) << password;
  }
}

// The AES-256 file key is 32 bytes. A /UE or /OE that does not give one leaves the
// handler unusable: the strict reading has none (the data then stay as they are, as an
// empty key left them), recovery says why.
TEST(SecurityHandler, RevisionSixWithoutA32ByteWrappedKeyHasNoHandler) {
  const FileCase& f = file_case("r6_aes_256");
  const Dictionary d = encrypt_dict(f);
  Bytes odd_ue = from_hex(f.ue);
  odd_ue.pop_back();
  Bytes long_ue = from_hex(f.ue);
  long_ue.insert(long_ue.end(), 16, 0x41);
  const Bytes short_ue(long_ue.begin(), long_ue.begin() + 16);
  const struct {
    const char* what;
    Dictionary dict;
    const char* password;
    const char* note;
  } cases[] = {
      {"user password, no UE", without(d, "UE"), "userpw", "/UE gives no 32-byte file key"},
      {"user password, UE of 31 bytes", with(d, "UE", string(odd_ue)), "userpw", "/UE gives no 32-byte file key"},
      {"user password, UE of 48 bytes", with(d, "UE", string(long_ue)), "userpw", "/UE gives no 32-byte file key"},
      {"user password, UE of 16 bytes", with(d, "UE", string(short_ue)), "userpw", "/UE gives no 32-byte file key"},
      {"user password, UE a name", with(d, "UE", name("UE")), "userpw", "/UE gives no 32-byte file key"},
      {"owner password, no OE", without(d, "OE"), "ownerpw", "/OE gives no 32-byte file key"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(handler_for(c.dict, f, c.password).has_value()) << c.what;
    std::vector<ParseError> notes;
    const auto recovered =
        construct_security_handler_recovering(c.dict, from_hex(f.id0), text_bytes(c.password), &notes);
    ASSERT_TRUE(recovered.has_value()) << c.what;
    EXPECT_FALSE(recovered->has_value()) << c.what;
    ASSERT_EQ(notes.size(), 1u) << c.what;
    EXPECT_EQ(notes[0].display(), std::string("Unsupported: unusable encryption dictionary: ") + c.note) << c.what;
  }
  // With that key nothing is decrypted.
  const SecurityHandler empty{{}, CryptMethod::Aes256};
  const Bytes cipher = from_hex(f.samples[0].cipher);
  EXPECT_EQ(decrypt_bytes(empty, f.samples[0].num, 0, cipher), cipher);
}

TEST(SecurityHandler, PasswordBytesAreUsedExactlyAsGiven) {
  const FileCase& r6 = file_case("r6_aes_256");
  for (const char* password : {"userpw ", "USERPW", "userp", "ownerpw\n"}) {
    EXPECT_FALSE(handler_for(encrypt_dict(r6), r6, password).has_value()) << password;
  }
  // Under revisions 2 to 4 only the first 32 bytes of a password enter the padded form.
  const FileCase& r3 = file_case("r3_rc4_128");
  const std::string long_a(32, 'a');
  const auto a = handler_for(encrypt_dict(r3), r3, long_a + "xyz");
  const auto b = handler_for(encrypt_dict(r3), r3, long_a + "uvw");
  const auto c = handler_for(encrypt_dict(r3), r3, long_a.substr(1));
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(a->key, b->key);
  EXPECT_NE(a->key, c->key);
}

TEST(SecurityHandler, OnlySixteenBytesOfTheUserEntryAreCompared) {
  for (const char* name : {"r2_rc4_40", "r3_rc4_128", "r4_aes_128"}) {
    const FileCase& f = file_case(name);
    Bytes garbled = from_hex(f.u);
    std::fill(garbled.begin() + 16, garbled.end(), 0xee);
    Bytes sixteen = from_hex(f.u);
    sixteen.resize(16);
    Bytes fifteen = sixteen;
    fifteen.pop_back();
    // The owner password needs the user check to pass on the recovered user password.
    for (const Bytes& u : {garbled, sixteen}) {
      const auto handler = handler_for(with(encrypt_dict(f), "U", string(u)), f, "ownerpw");
      ASSERT_TRUE(handler.has_value()) << name;
      EXPECT_EQ(to_hex(handler->key), f.keys[0].key) << name << ", U of " << u.size() << " bytes";
    }
    const auto short_u = handler_for(with(encrypt_dict(f), "U", string(fifteen)), f, "ownerpw");
    ASSERT_TRUE(short_u.has_value()) << name;
    EXPECT_NE(to_hex(short_u->key), f.keys[0].key) << name << ", U of 15 bytes";
  }
}

TEST(SecurityHandler, EmptyIdZeroGivesAnotherKeyButStillAHandler) {
  const FileCase& f = file_case("r2_rc4_40_empty_user");
  const auto handler = construct_security_handler(encrypt_dict(f), {}, {});
  ASSERT_TRUE(handler.has_value());
  EXPECT_EQ(handler->key.size(), 5u);
  EXPECT_NE(to_hex(handler->key), f.keys[0].key);
}

// ---------------------------------------------------------------------------------------
// Per-object keys and AES padding.

TEST(Decrypt, RcFourPerObjectKeyIsFileKeyPlusFiveBytesCappedAtSixteen) {
  const Bytes zeros(32, 0);
  for (std::size_t key_size : {1u, 5u, 10u, 11u, 16u}) {
    const SecurityHandler handler{Bytes(key_size, 0x5a), CryptMethod::Rc4};
    Bytes input = handler.key;
    for (std::uint8_t b : {0x07, 0x00, 0x00, 0x00, 0x00}) input.push_back(b);
    const auto digest = md5(input);
    const std::size_t expected = std::min<std::size_t>(key_size + 5, 16);
    // Decrypting zeros yields the keystream, which identifies the key.
    EXPECT_EQ(decrypt_bytes(handler, 7, 0, zeros), rc4(ByteView(digest).first(expected), zeros))
        << key_size;
    if (expected < 16) {
      EXPECT_NE(decrypt_bytes(handler, 7, 0, zeros), rc4(ByteView(digest).first(expected + 1), zeros))
          << key_size;
    }
  }
}

TEST(Decrypt, ObjectIdentitySelectsTheKey) {
  const SecurityHandler handler{from_hex("0102030405"), CryptMethod::Rc4};
  const Bytes zeros(16, 0);
  EXPECT_NE(decrypt_bytes(handler, 7, 0, zeros), decrypt_bytes(handler, 7, 1, zeros));
  EXPECT_NE(decrypt_bytes(handler, 7, 0, zeros), decrypt_bytes(handler, 8, 0, zeros));
  EXPECT_NE(decrypt_bytes(handler, 7, 0, zeros), decrypt_bytes(handler, 7 + 256, 0, zeros));
  // Only the three low bytes of the object number take part.
  EXPECT_EQ(decrypt_bytes(handler, 7, 0, zeros), decrypt_bytes(handler, 0x01000007, 0, zeros));
}

Bytes concat(ByteView a, ByteView b) {
  Bytes out(a.begin(), a.end());
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

// IV followed by the AES-256 encryption of `plain` (whole blocks, no padding added).
Bytes aes256_message(const SecurityHandler& h, const Bytes& plain) {
  const Bytes iv = from_hex("000102030405060708090a0b0c0d0e0f");
  return concat(iv, aes_encrypt(h.key, iv, plain));
}

TEST(Decrypt, AesPaddingIsCheckedAndBadPaddingKeepsTheInput) {
  const SecurityHandler h{Bytes(32, 0x42), CryptMethod::Aes256};
  Bytes text = text_bytes("0123456789abcdef");  // one block of data
  auto with_tail = [&](std::initializer_list<std::uint8_t> tail) {
    Bytes block = text;
    std::copy(tail.begin(), tail.end(), block.end() - static_cast<std::ptrdiff_t>(tail.size()));
    return block;
  };
  Bytes full_pad(16, 0x10);

  const struct {
    const char* what;
    Bytes plain;           // the decrypted blocks
    std::optional<Bytes> expected;  // nothing: the input comes back unchanged
  } cases[] = {
      {"a whole block of padding", full_pad, Bytes{}},
      {"data then a whole block of padding", concat(text, full_pad), text},
      {"one pad byte", with_tail({0x01}), Bytes(text.begin(), text.end() - 1)},
      {"three pad bytes", with_tail({3, 3, 3}), Bytes(text.begin(), text.end() - 3)},
      {"pad count 0", with_tail({0x00}), std::nullopt},
      {"pad count 17", with_tail({0x11}), std::nullopt},
      {"pad bytes 03 02 03", with_tail({3, 2, 3}), std::nullopt},
      {"pad count 16 over data bytes", concat(text, with_tail({0x0f, 0x10})), std::nullopt},
  };
  for (const auto& c : cases) {
    const Bytes message = aes256_message(h, c.plain);
    EXPECT_EQ(decrypt_bytes(h, 1, 0, message), c.expected.value_or(message)) << c.what;
  }
}

TEST(Decrypt, AesInputsOfTheWrongShapePassUnchanged) {
  const SecurityHandler h{Bytes(32, 0x42), CryptMethod::Aes256};
  for (std::size_t size : {0u, 5u, 15u, 16u, 17u, 40u, 47u}) {
    Bytes input(size);
    for (std::size_t i = 0; i < size; ++i) input[i] = static_cast<std::uint8_t>(i * 37 + 1);
    EXPECT_EQ(decrypt_bytes(h, 1, 0, input), input) << size << " bytes";
  }
}

TEST(Decrypt, AesWithAKeyOfTheWrongLengthPassesUnchanged) {
  const Bytes plain(16, 0x10);
  const SecurityHandler good{Bytes(32, 0x42), CryptMethod::Aes256};
  const Bytes message = aes256_message(good, plain);
  ASSERT_TRUE(decrypt_bytes(good, 1, 0, message).empty());
  for (const SecurityHandler& h : {SecurityHandler{Bytes(16, 0x42), CryptMethod::Aes256},
                                   SecurityHandler{Bytes(33, 0x42), CryptMethod::Aes256},
                                   SecurityHandler{Bytes(5, 0x42), CryptMethod::Aes128},
                                   SecurityHandler{Bytes(10, 0x42), CryptMethod::Aes128}}) {
    EXPECT_EQ(decrypt_bytes(h, 1, 0, message), message) << h.key.size() << "-byte key";
  }
}

TEST(Decrypt, AesOneTwentyEightNeedsAFileKeyOfElevenBytes) {
  const SecurityHandler h{Bytes(11, 0x42), CryptMethod::Aes128};
  Bytes input = h.key;
  const Bytes object_id_and_salt = from_hex("010000000073416c54");  // 1 0, "sAlT"
  input.insert(input.end(), object_id_and_salt.begin(), object_id_and_salt.end());
  const auto object_key = md5(input);
  const Bytes iv(16, 0x33);
  const Bytes message = concat(iv, aes_encrypt(object_key, iv, concat(text_bytes("0123456789abcdef"), Bytes(16, 0x10))));
  EXPECT_EQ(decrypt_bytes(h, 1, 0, message), text_bytes("0123456789abcdef"));
}

// ---------------------------------------------------------------------------------------
// Objects.

TEST(DecryptObject, ReachesStringsAtAnyDepthAndLeavesEverythingElse) {
  const SecurityHandler h{from_hex("0102030405"), CryptMethod::Rc4};
  const Bytes secret = text_bytes("secret");
  const Bytes cipher = decrypt_bytes(h, 3, 0, secret);  // RC4 is its own inverse

  Dictionary inner;
  inner.set("S", string(cipher));
  Dictionary stream_dict;
  stream_dict.set("Type", name("XObject"));
  stream_dict.set("A", Object{Array{Object{std::move(inner)}, integer(5), Object{ObjRef{9, 0}},
                                    Object{true}, Object{1.5}, Object{}, name("N")}});
  Stream stream{stream_dict, cipher};

  const Object out = decrypt_object(h, 3, 0, Object{stream});
  const Stream* s = out.as_stream();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->data, secret);
  ASSERT_EQ(s->dict.size(), 2u);
  EXPECT_TRUE(s->dict.lookup("Type")->is_name("XObject"));
  const Array& a = *s->dict.lookup("A")->as_array();
  EXPECT_EQ(a[0].as_dict()->lookup("S")->as_string()->bytes, secret);
  Array rest(a.begin() + 1, a.end());
  EXPECT_EQ(rest, (Array{integer(5), Object{ObjRef{9, 0}}, Object{true}, Object{1.5}, Object{},
                         name("N")}));

  EXPECT_EQ(decrypt_object(h, 3, 0, string(cipher)).as_string()->bytes, secret);
  EXPECT_EQ(decrypt_object(h, 3, 0, name("Name")), name("Name"));
}

TEST(DecryptObject, OnlyMetadataStreamsStayInClearAndOnlyWhenTheHandlerSaysSo) {
  const Bytes secret = text_bytes("<x:xmpmeta/>");
  for (const bool encrypt_metadata : {true, false}) {
    const SecurityHandler h{from_hex("0102030405"), CryptMethod::Rc4, encrypt_metadata};
    for (const char* type : {"Metadata", "XObject"}) {
      Stream stream;
      stream.dict.set("Type", name(type));
      stream.data = secret;
      const bool in_clear = !encrypt_metadata && std::string_view(type) == "Metadata";
      EXPECT_EQ(decrypt_object(h, 3, 0, Object{stream}).as_stream()->data,
                in_clear ? secret : decrypt_bytes(h, 3, 0, secret))
          << type << ", encrypt_metadata " << encrypt_metadata;
    }
  }
}

TEST(DecryptObject, LaterDuplicateKeyReplacesTheEarlierValueInPlace) {
  const SecurityHandler h{from_hex("0102030405"), CryptMethod::Rc4};
  Dictionary d;
  d.entries.push_back({"A", integer(1)});
  d.entries.push_back({"B", integer(2)});
  d.entries.push_back({"A", string(decrypt_bytes(h, 4, 0, text_bytes("x")))});
  d.entries.push_back({"C", integer(3)});
  d.entries.push_back({"B", integer(4)});

  const Object out = decrypt_object(h, 4, 0, Object{d});
  const auto& entries = out.as_dict()->entries;
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].key, "A");
  EXPECT_EQ(entries[0].value, string(text_bytes("x")));
  EXPECT_EQ(entries[1].key, "B");
  EXPECT_EQ(entries[1].value, integer(4));
  EXPECT_EQ(entries[2].key, "C");

  Stream s{d, {}};
  const Object stream_out = decrypt_object(h, 4, 0, Object{s});
  EXPECT_EQ(stream_out.as_stream()->dict, *out.as_dict());
}

TEST(DecryptObject, DeepNestingIsWalkedWithoutNativeRecursion) {
  const SecurityHandler h{from_hex("0102030405"), CryptMethod::Rc4};
  Object obj = string(decrypt_bytes(h, 1, 0, text_bytes("deep")));
  constexpr int kDepth = 5000;
  for (int i = 0; i < kDepth; ++i) {
    Array wrapper;
    wrapper.push_back(std::move(obj));
    obj = Object{std::move(wrapper)};
  }
  Object out = decrypt_object(h, 1, 0, std::move(obj));
  const Object* at = &out;
  for (int i = 0; i < kDepth; ++i) at = &at->as_array()->at(0);
  EXPECT_EQ(at->as_string()->bytes, text_bytes("deep"));
}

}  // namespace
}  // namespace folioscan
