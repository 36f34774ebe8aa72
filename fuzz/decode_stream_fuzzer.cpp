// Fuzz target for the filter pipeline: the first byte picks a stream dictionary (a
// filter or a chain, with or without predictor parameters), the second tunes the
// predictor, the rest is the raw stream. Each decoder also runs alone under a small
// output bound, so the bound checks are exercised without gigabyte outputs, and DEFLATE
// runs a second time holding almost none of its output, and into sinks that want its
// bytes or only its size, which must change nothing.
#include "fuzz_targets.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "filter/ascii85.h"
#include "filter/filter.h"
#include "filter/inflate.h"
#include "filter/lzw.h"
#include "filter/predictor.h"

namespace {

using folioscan::Array;
using folioscan::Dictionary;
using folioscan::Name;
using folioscan::Object;

Object name(const char* text) { return Object(Name{text}); }

Object names(std::vector<const char*> list) {
  Array array;
  for (const char* n : list) array.push_back(name(n));
  return Object(std::move(array));
}

// Predictor parameters from one byte: predictor 2 or 10..15, colors 1..4,
// bits 1/2/4/8/16, columns from a short table (1 to 1024, plus one absurd value).
Dictionary predictor_params(std::uint8_t tune) {
  static constexpr std::int64_t kPredictors[] = {2, 10, 11, 12, 13, 14, 15, 12};
  static constexpr std::int64_t kBits[] = {8, 1, 2, 4, 16, 8, 8, 8};
  static constexpr std::int64_t kColumns[] = {1, 3, 4, 5, 17, 100, 1024, std::int64_t{1} << 40};
  Dictionary params;
  params.set("Predictor", Object(kPredictors[tune & 7]));
  params.set("Colors", Object(std::int64_t{1 + ((tune >> 3) & 3)}));
  params.set("BitsPerComponent", Object(kBits[(tune >> 5) & 7]));
  params.set("Columns", Object(kColumns[(tune >> 2) & 7]));
  return params;
}

Dictionary with_filter(Object filter) {
  Dictionary dict;
  dict.set("Filter", std::move(filter));
  return dict;
}

Dictionary with_filter(Object filter, Object params) {
  Dictionary dict = with_filter(std::move(filter));
  dict.set("DecodeParms", std::move(params));
  return dict;
}

Dictionary lzw_params(std::int64_t early_change) {
  Dictionary params;
  params.set("EarlyChange", Object(early_change));
  return params;
}

Dictionary stream_dictionary(std::uint8_t pick, std::uint8_t tune) {
  switch (pick % 14) {
    case 0: return with_filter(name("FlateDecode"));
    case 1: return with_filter(name("FlateDecode"), Object(predictor_params(tune)));
    case 2: return with_filter(name("LZWDecode"), Object(lzw_params(0)));
    case 3: return with_filter(name("LZWDecode"), Object(lzw_params(1)));
    case 4: return with_filter(name("LZW"), Object(predictor_params(tune)));
    case 5: return with_filter(name("ASCII85Decode"));
    case 6: return with_filter(name("AHx"));
    case 7: return with_filter(name("RunLengthDecode"));
    case 8: return with_filter(names({"ASCII85Decode", "FlateDecode"}));
    case 9: return with_filter(names({"AHx", "LZWDecode"}), Object(Array{Object(), Object(lzw_params(tune & 1))}));
    case 10: return with_filter(names({"FlateDecode", "FlateDecode"}));
    case 11: return with_filter(names({"A85", "RL", "Fl"}),
                                Object(Array{Object(), Object(), Object(predictor_params(tune))}));
    case 12: return with_filter(names({"DCTDecode", "FlateDecode"}));
    default: return with_filter(name("Crypt"));
  }
}

// Counts what a decoder hands on; with `bytes_wanted` false the decoder may only count.
class Counter final : public folioscan::ByteSink {
 public:
  explicit Counter(bool bytes_wanted = true) : bytes_wanted_(bytes_wanted) {}
  void take(folioscan::ByteView piece) override { bytes += piece.size(); }
  bool wants_bytes() const override { return bytes_wanted_; }
  void take_size(std::uint64_t size) override { bytes += size; }
  std::uint64_t bytes = 0;

 private:
  bool bytes_wanted_;
};

}  // namespace

int folioscan::fuzz::decode_stream(const std::uint8_t* bytes, std::size_t size) {
  if (size < 2) return 0;
  const folioscan::ByteView raw(bytes + 2, size - 2);
  const Dictionary dict = stream_dictionary(bytes[0], bytes[1]);
  const auto decoded = folioscan::decode_stream(dict, raw);
  // Checking without keeping the output gives decoding's verdict and error.
  const auto checked = folioscan::check_stream_decodes(dict, raw);
  if (decoded.has_value() != checked.has_value()) __builtin_trap();
  if (!decoded && decoded.error().display() != checked.error().display()) __builtin_trap();

  // Small bounds: 0 to 255 KiB in 1 KiB steps, from the second byte.
  const std::uint64_t bound = std::uint64_t{bytes[1]} << 10;
  // Holding only two windows of output (measuring, then decoding again) must give the
  // same result as holding it all.
  const auto held_all = folioscan::inflate(raw, bound);
  const auto held_little = folioscan::inflate(raw, bound, 0);
  if (held_all.has_value() != held_little.has_value()) __builtin_trap();
  if (held_all && *held_all != *held_little) __builtin_trap();
  // Decoding into a sink gives what the decoder would keep, piece by piece.
  Counter inflated, lzw_counted;
  const auto inflate_sunk = folioscan::inflate_to_sink(raw, inflated, bound);
  if (held_all.has_value() != inflate_sunk.has_value()) __builtin_trap();
  if (held_all && (held_all->size() != *inflate_sunk || inflated.bytes != *inflate_sunk)) __builtin_trap();
  // ... and into a sink that wants only the size, the same verdict and size.
  Counter sized(false);
  const auto inflate_counted = folioscan::inflate_to_sink(raw, sized, bound);
  if (held_all.has_value() != inflate_counted.has_value()) __builtin_trap();
  if (held_all && (held_all->size() != *inflate_counted || sized.bytes != *inflate_counted)) __builtin_trap();
  const auto lzw = folioscan::lzw_decode(raw, (bytes[0] & 1) != 0, bound);
  const auto lzw_sunk = folioscan::lzw_decode_to_sink(raw, (bytes[0] & 1) != 0, lzw_counted, bound);
  if (lzw.has_value() != lzw_sunk.has_value()) __builtin_trap();
  if (lzw && (lzw->size() != *lzw_sunk || lzw_counted.bytes != *lzw_sunk)) __builtin_trap();
  (void)folioscan::ascii85_decode(raw, bound);
  (void)folioscan::ascii_hex_decode(raw, bound);
  (void)folioscan::run_length_decode(raw, bound);
  (void)folioscan::undo_predictor(folioscan::Bytes(raw.begin(), raw.end()), predictor_params(bytes[0]));
  return 0;
}

#ifndef FOLIOSCAN_FUZZ_REPLAY
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  return folioscan::fuzz::decode_stream(bytes, size);
}
#endif
