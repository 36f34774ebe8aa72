// Undoing TIFF predictor 2 (byte-wise horizontal differencing) and the PNG row filters
// (None, Sub, Up, Average, Paeth, chosen by each row's tag byte), in place.
#include "predictor.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "../input_limits.h"

namespace folioscan {
namespace {

constexpr const char* kBadRow = "bad predictor row filter";

std::optional<std::int64_t> integer_param(const Dictionary& params, std::string_view key) {
  const Object* value = params.lookup(key);
  if (value == nullptr) return std::nullopt;
  const std::int64_t* i = value->as_integer();
  if (i == nullptr) return std::nullopt;
  return *i;
}

// Colors, BitsPerComponent and Columns: the value, but 1 when below 2.
std::uint64_t count_param(const Dictionary& params, std::string_view key, std::uint64_t fallback) {
  const auto v = integer_param(params, key);
  if (!v) return fallback;
  return *v < 2 ? 1 : static_cast<std::uint64_t>(*v);
}

std::uint8_t paeth(std::uint8_t left, std::uint8_t up, std::uint8_t corner) {
  const int p = int{left} + int{up} - int{corner};
  const int da = std::abs(p - int{left});
  const int db = std::abs(p - int{up});
  const int dc = std::abs(p - int{corner});
  if (da <= db && da <= dc) return left;
  if (db <= dc) return up;
  return corner;
}

void undo_tiff(Bytes& data, std::size_t row_len, std::size_t bpp) {
  for (std::size_t row = 0; row < data.size(); row += row_len) {
    const std::size_t end = std::min(row_len, data.size() - row);
    std::uint8_t* r = data.data() + row;
    for (std::size_t p = bpp; p < end; ++p) r[p] = static_cast<std::uint8_t>(r[p] + r[p - bpp]);
  }
}

// Restores in place: row k's output starts at k * row_len, its encoded bytes at
// k * (row_len + 1) + 1, so every write lands on bytes already read.
Result<Bytes> undo_png(Bytes data, std::size_t row_len, std::size_t bpp) {
  std::uint8_t* const d = data.data();
  const std::size_t n = data.size();
  std::size_t in = 0;
  std::size_t out = 0;
  while (in < n) {
    const std::size_t m = std::min(row_len, n - in - 1);
    if (m == 0) break;  // a lone final tag byte carries nothing and is not examined
    const std::uint8_t tag = d[in];
    if (tag > 4) return fail(ParseErrorKind::BadStream, kBadRow);
    const std::uint8_t* src = d + in + 1;
    std::uint8_t* dst = d + out;
    // Every row before the last is full, so the previous row covers j < m.
    const std::uint8_t* prev = out == 0 ? nullptr : dst - row_len;
    const std::size_t lead = std::min(bpp, m);
    switch (tag) {
      case 0:
        std::memmove(dst, src, m);
        break;
      case 1:
        std::memmove(dst, src, lead);
        for (std::size_t j = bpp; j < m; ++j) dst[j] = static_cast<std::uint8_t>(src[j] + dst[j - bpp]);
        break;
      case 2:
        if (prev == nullptr) {
          std::memmove(dst, src, m);
        } else {
          for (std::size_t j = 0; j < m; ++j) dst[j] = static_cast<std::uint8_t>(src[j] + prev[j]);
        }
        break;
      case 3:
        for (std::size_t j = 0; j < m; ++j) {
          const unsigned left = j >= bpp ? dst[j - bpp] : 0;
          const unsigned up = prev != nullptr ? prev[j] : 0;
          dst[j] = static_cast<std::uint8_t>(src[j] + ((left + up) >> 1));
        }
        break;
      default:
        for (std::size_t j = 0; j < m; ++j) {
          const std::uint8_t left = j >= bpp ? dst[j - bpp] : 0;
          const std::uint8_t up = prev != nullptr ? prev[j] : 0;
          const std::uint8_t corner = prev != nullptr && j >= bpp ? prev[j - bpp] : 0;
          dst[j] = static_cast<std::uint8_t>(src[j] + paeth(left, up, corner));
        }
        break;
    }
    out += m;
    in += m + 1;
  }
  data.resize(out);
  return data;
}

}  // namespace

Result<PredictorLayout> predictor_layout(const Dictionary& params) {
  PredictorLayout layout;
  const auto predictor = integer_param(params, "Predictor");
  if (!predictor || *predictor <= 1) return layout;

  const std::uint64_t colors = count_param(params, "Colors", 1);
  const std::uint64_t bits = count_param(params, "BitsPerComponent", 8);
  const std::uint64_t columns = count_param(params, "Columns", 1);

  // A row longer than the largest stage output could never be filled: such values (a
  // /Columns of 2^40, products beyond 64 bits) come from broken files, and rejecting
  // them keeps wrapped arithmetic from cutting rows at some arbitrary length.
  std::uint64_t pixel_bits;
  std::uint64_t row_bits;
  if (__builtin_mul_overflow(colors, bits, &pixel_bits) ||
      __builtin_mul_overflow(pixel_bits, columns, &row_bits)) {
    return fail(ParseErrorKind::BadStream, kBadRow);
  }
  const std::uint64_t row_len = std::max<std::uint64_t>(row_bits / 8 + (row_bits % 8 != 0), 1);
  if (row_len > limits::kMaxDecodedBytes) return fail(ParseErrorKind::BadStream, kBadRow);
  const std::uint64_t bpp = std::max<std::uint64_t>(pixel_bits / 8 + (pixel_bits % 8 != 0), 1);
  layout.kind = *predictor == 2 ? PredictorLayout::Kind::Tiff : PredictorLayout::Kind::Png;
  layout.row_len = static_cast<std::size_t>(row_len);
  layout.bpp = static_cast<std::size_t>(bpp);
  return layout;
}

// The output is never longer than the input, so it stays within the decoded-output
// bound of the stage before.
Result<Bytes> undo_predictor(Bytes data, const Dictionary& params) {
  const PredictorLayout layout = TRY(predictor_layout(params));
  switch (layout.kind) {
    case PredictorLayout::Kind::None:
      return data;
    case PredictorLayout::Kind::Tiff:
      undo_tiff(data, layout.row_len, layout.bpp);
      return data;
    case PredictorLayout::Kind::Png:
      break;
  }
  return undo_png(std::move(data), layout.row_len, layout.bpp);
}

PredictorCheck::PredictorCheck(const Dictionary* params) {
  if (params == nullptr) return;
  Result<PredictorLayout> layout = predictor_layout(*params);
  if (!layout) {
    error_ = std::move(layout).error();
    return;
  }
  layout_ = *layout;
}

void PredictorCheck::take(ByteView piece) {
  if (layout_.kind == PredictorLayout::Kind::Png && !first_bad_tag_) {
    // Row k's tag is byte k × (row_len + 1) of the output.
    const std::uint64_t stride = std::uint64_t{layout_.row_len} + 1;
    while (next_tag_ < seen_ + piece.size()) {
      if (piece[static_cast<std::size_t>(next_tag_ - seen_)] > 4) {
        first_bad_tag_ = next_tag_;
        break;
      }
      next_tag_ += stride;
    }
  }
  seen_ += piece.size();
}

Result<void> PredictorCheck::result() const {
  if (error_) return std::unexpected(*error_);
  // A tag that is the last byte carries no row and is not examined.
  if (first_bad_tag_ && *first_bad_tag_ + 1 < seen_) return fail(ParseErrorKind::BadStream, kBadRow);
  return {};
}

}  // namespace folioscan
