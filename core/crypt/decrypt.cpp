// Decrypting the strings and stream data of one object with the security handler: the
// per-object key, RC4 or AES-CBC with its padding check, and the walk over the object.
#include "decrypt.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "primitives.h"

namespace folioscan {
namespace {

// What decrypts the strings and stream of one object: the cipher and the key it uses
// (the per-object key for RC4 and AES-128, the file key for AES-256).
struct ObjectCipher {
  CryptMethod method = CryptMethod::Rc4;
  Bytes key;
};

// ISO 32000-1 Algorithm 1.
ObjectCipher object_cipher(const SecurityHandler& handler, std::uint32_t num, std::uint16_t gen) {
  if (handler.method == CryptMethod::Aes256) return {handler.method, handler.key};
  Bytes input = handler.key;
  input.push_back(static_cast<std::uint8_t>(num));
  input.push_back(static_cast<std::uint8_t>(num >> 8));
  input.push_back(static_cast<std::uint8_t>(num >> 16));
  input.push_back(static_cast<std::uint8_t>(gen));
  input.push_back(static_cast<std::uint8_t>(gen >> 8));
  if (handler.method == CryptMethod::Aes128) {
    for (char c : std::string_view("sAlT")) input.push_back(static_cast<std::uint8_t>(c));
  }
  const auto digest = md5(input);
  const std::size_t size = std::min<std::size_t>(handler.key.size() + 5, 16);
  return {handler.method, Bytes(digest.begin(), digest.begin() + static_cast<std::ptrdiff_t>(size))};
}

Bytes decrypt_with(const ObjectCipher& cipher, ByteView data) {
  const auto unchanged = [data] { return Bytes(data.begin(), data.end()); };
  if (cipher.method == CryptMethod::Rc4) return rc4(cipher.key, data);

  const std::size_t required = cipher.method == CryptMethod::Aes128 ? 16 : 32;
  if (cipher.key.size() != required) return unchanged();
  if (data.size() < kAesBlock) return unchanged();
  if ((data.size() - kAesBlock) % kAesBlock != 0) return unchanged();
  std::optional<Bytes> plain =
      aes_cbc(false, cipher.key, data.first(kAesBlock), data.subspan(kAesBlock));
  if (!plain || plain->empty()) return unchanged();

  // The pad count must be 1 to 16 and its bytes must all carry it; anything else means
  // the data was not what we think (wrong key, not encrypted), so keep it as it was.
  const std::uint8_t pad = plain->back();
  if (pad < 1 || pad > kAesBlock) return unchanged();
  if (!std::all_of(plain->end() - pad, plain->end(), [pad](std::uint8_t b) { return b == pad; })) {
    return unchanged();
  }
  plain->resize(plain->size() - pad);
  return std::move(*plain);
}

// Rebuilds the entries in order; a key seen before takes the later value in the
// earlier entry's place.
void merge_duplicate_keys(Dictionary& dict) {
  if (dict.entries.size() < 2) return;
  std::vector<DictEntry> merged;
  merged.reserve(dict.entries.size());  // no reallocation: the views below stay valid
  std::unordered_map<std::string_view, std::size_t> index;
  index.reserve(dict.entries.size());
  for (DictEntry& entry : dict.entries) {
    const auto found = index.find(entry.key);
    if (found != index.end()) {
      merged[found->second].value = std::move(entry.value);
    } else {
      merged.push_back(std::move(entry));
      index.emplace(merged.back().key, merged.size() - 1);
    }
  }
  dict.entries = std::move(merged);
}

bool is_metadata_stream(const Stream& stream) {
  const Object* type = stream.dict.lookup("Type");
  return type != nullptr && type->is_name("Metadata");
}

}  // namespace

Bytes decrypt_bytes(const SecurityHandler& handler, std::uint32_t num, std::uint16_t gen,
                    ByteView data) {
  return decrypt_with(object_cipher(handler, num, gen), data);
}

Object decrypt_object(const SecurityHandler& handler, std::uint32_t num, std::uint16_t gen,
                      Object obj) {
  const ObjectCipher cipher = object_cipher(handler, num, gen);
  // Depth-first over an explicit stack, so that the depth of the object costs heap,
  // not native stack. A container is final before its children are queued, so the
  // queued pointers stay valid.
  std::vector<Object*> pending{&obj};
  while (!pending.empty()) {
    Object* current = pending.back();
    pending.pop_back();
    if (String* s = current->as_string()) {
      s->bytes = decrypt_with(cipher, s->bytes);
    } else if (Array* a = current->as_array()) {
      for (Object& element : *a) pending.push_back(&element);
    } else if (Dictionary* d = current->as_dict()) {
      merge_duplicate_keys(*d);
      for (DictEntry& entry : d->entries) pending.push_back(&entry.value);
    } else if (Stream* st = current->as_stream()) {
      merge_duplicate_keys(st->dict);
      if (!handler.encrypt_metadata && is_metadata_stream(*st)) continue;
      for (DictEntry& entry : st->dict.entries) pending.push_back(&entry.value);
      st->data = decrypt_with(cipher, st->data);
    }
  }
  return obj;
}

}  // namespace folioscan
