// The filter pipeline (filter list, parameter list, decoder dispatch) and the two small
// decoders that live beside it: ASCIIHex and RunLength.
#include "filter.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "ascii85.h"
#include "inflate.h"
#include "lzw.h"
#include "predictor.h"
#include "../lex.h"

namespace folioscan {
namespace {

const Object* lookup_either(const Dictionary& dict, std::string_view key, std::string_view abbrev) {
  const Object* value = dict.lookup(key);
  return value != nullptr ? value : dict.lookup(abbrev);
}

// Names of /Filter (or /F): one name, or the names of an array (other elements skipped).
std::vector<const std::string*> filter_names(const Dictionary& dict) {
  std::vector<const std::string*> names;
  const Object* value = lookup_either(dict, "Filter", "F");
  if (value == nullptr) return names;
  if (const Name* name = value->as_name()) {
    names.push_back(&name->text);
  } else if (const Array* array = value->as_array()) {
    for (const Object& element : *array) {
      if (const Name* n = element.as_name()) names.push_back(&n->text);
    }
  }
  return names;
}

// Parameters of /DecodeParms (or /DP), at least one entry per filter. An array shorter
// than the filter list (an empty one included) leaves the trailing filters without
// parameters; they still run, so a stream is never returned half decoded as if it were
// complete. Extra entries of a longer array are ignored.
std::vector<const Dictionary*> filter_params(const Dictionary& dict, std::size_t filter_count) {
  const Object* value = lookup_either(dict, "DecodeParms", "DP");
  if (value != nullptr) {
    if (const Array* array = value->as_array()) {
      std::vector<const Dictionary*> params;
      params.reserve(std::max(array->size(), filter_count));
      for (const Object& element : *array) {
        if (const Dictionary* d = element.as_dict()) {
          params.push_back(d);
        } else if (const Stream* s = element.as_stream()) {
          params.push_back(&s->dict);
        } else {
          params.push_back(nullptr);
        }
      }
      if (params.size() < filter_count) params.resize(filter_count, nullptr);
      return params;
    }
  }
  std::vector<const Dictionary*> params(filter_count, nullptr);
  if (value != nullptr && filter_count > 0) {
    if (const Dictionary* d = value->as_dict()) params[0] = d;
  }
  return params;
}

// A 2-byte zlib header: compression method 8 in the low nibble, header divisible by 31.
// Dictionary flag and window size are not examined; the Adler-32 trailer is never read.
ByteView skip_zlib_header(ByteView data) {
  if (data.size() >= 2 && (data[0] & 0x0F) == 8 && ((data[0] << 8) | data[1]) % 31 == 0) {
    return data.subspan(2);
  }
  return data;
}

bool early_change(const Dictionary* params) {
  if (params == nullptr) return true;
  const Object* value = params->lookup("EarlyChange");
  if (value == nullptr) return true;
  const std::int64_t* i = value->as_integer();
  return i == nullptr || *i != 0;
}

bool is_flate_or_lzw(std::string_view name) {
  return name == "FlateDecode" || name == "Fl" || name == "LZWDecode" || name == "LZW";
}

bool is_image_codec(std::string_view name) {
  return name == "DCTDecode" || name == "JPXDecode" || name == "JBIG2Decode" ||
         name == "CCITTFaxDecode";
}

Result<Bytes> run_filter(std::string_view name, const Dictionary* params, ByteView data,
                         std::uint64_t max_output = limits::kMaxDecodedBytes) {
  if (name == "FlateDecode" || name == "Fl") {
    Bytes out = TRY(inflate(skip_zlib_header(data), max_output));
    if (params == nullptr) return out;
    return undo_predictor(std::move(out), *params);
  }
  if (name == "LZWDecode" || name == "LZW") {
    Bytes out = TRY(lzw_decode(data, early_change(params), max_output));
    if (params == nullptr) return out;
    return undo_predictor(std::move(out), *params);
  }
  if (name == "ASCII85Decode" || name == "A85") return ascii85_decode(data, max_output);
  if (name == "ASCIIHexDecode" || name == "AHx") return ascii_hex_decode(data, max_output);
  if (name == "RunLengthDecode" || name == "RL") return run_length_decode(data, max_output);
  return fail(ParseErrorKind::Unsupported, "unsupported filter: " + std::string(name));
}

// Hex digit values; 0xFF for every other byte.
constexpr std::array<std::uint8_t, 256> make_hex_table() {
  std::array<std::uint8_t, 256> t{};
  t.fill(0xFF);
  for (int i = 0; i < 10; ++i) t['0' + i] = static_cast<std::uint8_t>(i);
  for (int i = 0; i < 6; ++i) {
    t['a' + i] = static_cast<std::uint8_t>(10 + i);
    t['A' + i] = static_cast<std::uint8_t>(10 + i);
  }
  return t;
}
constexpr std::array<std::uint8_t, 256> kHexValue = make_hex_table();

}  // namespace

namespace {

// Runs the first `stages` stages of the chain into `buffer`; false when no stage ran and
// the raw bytes stand as they are. The raw bytes are read in place; each decoding stage
// replaces the buffer.
Result<bool> run_stages(const std::vector<const std::string*>& names, const std::vector<const Dictionary*>& params,
                        std::size_t stages, ByteView raw, Bytes& buffer,
                        std::uint64_t max_output = limits::kMaxDecodedBytes) {
  bool decoded = false;
  for (std::size_t i = 0; i < stages; ++i) {
    if (is_image_codec(*names[i])) continue;
    const ByteView current = decoded ? ByteView(buffer) : raw;
    Bytes next = TRY(run_filter(*names[i], params[i], current, max_output));
    buffer = std::move(next);
    decoded = true;
  }
  return decoded;
}

Result<bool> run_chain(const Dictionary& dict, ByteView raw, Bytes& buffer, std::uint64_t max_output) {
  const std::vector<const std::string*> names = filter_names(dict);
  const std::vector<const Dictionary*> params = filter_params(dict, names.size());
  return run_stages(names, params, std::min(names.size(), params.size()), raw, buffer, max_output);
}

// Whether one stage decodes `data`, with its error when not. Flate and LZW output (and
// the predictor after them) is checked as it is produced and never held.
Result<void> check_stage(std::string_view name, const Dictionary* params, ByteView data) {
  PredictorCheck rows(params);
  if (name == "FlateDecode" || name == "Fl") {
    TRY_VOID(inflate_to_sink(skip_zlib_header(data), rows));
    return rows.result();
  }
  if (name == "LZWDecode" || name == "LZW") {
    TRY_VOID(lzw_decode_to_sink(data, early_change(params), rows));
    return rows.result();
  }
  TRY_VOID(run_filter(name, params, data));
  return {};
}

}  // namespace

Result<Bytes> decode_stream(const Dictionary& dict, ByteView raw, std::uint64_t max_output) {
  Bytes buffer;
  if (!TRY(run_chain(dict, raw, buffer, max_output))) return Bytes(raw.begin(), raw.end());
  return buffer;
}

// The stages before the last that runs are decoded as decode_stream decodes them; the
// last one, whose output is what an image holds, is only checked.
Result<void> check_stream_decodes(const Dictionary& dict, ByteView raw) {
  const std::vector<const std::string*> names = filter_names(dict);
  const std::vector<const Dictionary*> params = filter_params(dict, names.size());
  const std::size_t chain = std::min(names.size(), params.size());
  std::size_t last = chain;
  for (std::size_t i = 0; i < chain; ++i) {
    if (!is_image_codec(*names[i])) last = i;
  }
  if (last == chain) return {};
  Bytes buffer;
  const bool decoded = TRY(run_stages(names, params, last, raw, buffer));
  return check_stage(*names[last], params[last], decoded ? ByteView(buffer) : raw);
}

namespace {

// One stage of a repairing decode: Flate and LZW keep what decodes before a fault.
Result<PartialBytes> run_filter_partial(std::string_view name, const Dictionary* params, ByteView data,
                                        std::uint64_t max_output) {
  PartialBytes out;
  if (name == "FlateDecode" || name == "Fl") {
    out = TRY(inflate_partial(skip_zlib_header(data), max_output));
  } else if (name == "LZWDecode" || name == "LZW") {
    out = TRY(lzw_decode_partial(data, early_change(params), max_output));
  } else {
    out.data = TRY(run_filter(name, params, data, max_output));
    return out;
  }
  if (params != nullptr) out.data = TRY(undo_predictor(std::move(out.data), *params));
  return out;
}

}  // namespace

RecoveredBytes decode_stream_recovering(const Dictionary& dict, ByteView raw, std::uint64_t max_output) {
  const std::vector<const std::string*> names = filter_names(dict);
  const std::vector<const Dictionary*> params = filter_params(dict, names.size());
  const std::size_t chain = std::min(names.size(), params.size());
  RecoveredBytes out;
  bool decoded = false;
  for (std::size_t i = 0; i < chain; ++i) {
    if (is_image_codec(*names[i])) continue;
    const ByteView current = decoded ? ByteView(out.data) : raw;
    Result<PartialBytes> next = run_filter_partial(*names[i], params[i], current, max_output);
    if (!next) {
      // A stage that yields nothing usable (an unknown filter, a bomb): no data.
      if (!out.fault) out.fault = std::move(next).error();
      // The two that keep what decodes before a fault fail only past the bound.
      out.over_bound = is_flate_or_lzw(*names[i]);
      out.data.clear();
      return out;
    }
    // The first fault met is the error the strict decode gives for the same data.
    if (next->fault && !out.fault) out.fault = std::move(next->fault);
    out.data = std::move(next->data);
    decoded = true;
  }
  if (!decoded) out.data.assign(raw.begin(), raw.end());
  return out;
}

Result<Bytes> ascii_hex_decode(ByteView in, std::uint64_t max_output) {
  constexpr const char* kBad = "bad ASCIIHex data";
  Bytes out;
  out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(in.size() / 2, max_output)));
  int high = -1;  // the first value of an unfinished pair
  for (const std::uint8_t b : in) {
    if (b == '>') break;
    if (is_whitespace(b)) continue;
    const std::uint8_t v = kHexValue[b];
    if (v == 0xFF) return fail(ParseErrorKind::BadStream, kBad);
    if (high < 0) {
      high = v;
      continue;
    }
    // Half the input at most, but the input itself may be larger than the bound.
    if (out.size() >= max_output) return fail(ParseErrorKind::BadStream, kBad);
    out.push_back(static_cast<std::uint8_t>((high << 4) | v));
    high = -1;
  }
  if (high >= 0) {
    if (out.size() >= max_output) return fail(ParseErrorKind::BadStream, kBad);
    out.push_back(static_cast<std::uint8_t>(high << 4));
  }
  return out;
}

Result<Bytes> run_length_decode(ByteView in, std::uint64_t max_output) {
  constexpr const char* kTruncated = "truncated RunLength data";
  Bytes out;
  out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(std::uint64_t{in.size()} * 2, max_output)));
  std::size_t i = 0;
  while (i < in.size()) {
    const std::uint8_t len = in[i++];
    if (len == 128) break;
    const std::size_t count = len < 128 ? std::size_t{len} + 1 : 257 - std::size_t{len};
    // Checked before growing: two input bytes can ask for 128 output bytes.
    if (count > max_output - out.size()) return fail(ParseErrorKind::BadStream, kTruncated);
    if (len < 128) {
      if (in.size() - i < count) return fail(ParseErrorKind::BadStream, kTruncated);
      out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(i),
                 in.begin() + static_cast<std::ptrdiff_t>(i + count));
      i += count;
    } else {
      if (i >= in.size()) return fail(ParseErrorKind::BadStream, kTruncated);
      out.insert(out.end(), count, in[i++]);
    }
  }
  return out;
}

}  // namespace folioscan
