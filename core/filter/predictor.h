// TIFF predictor 2 and PNG row predictors, undone after Flate or LZW.
#pragma once

#include <cstdint>
#include <optional>

#include "../cos/object.h"
#include "../error.h"
#include "byte_sink.h"

namespace folioscan {

// Parameters from /Predictor /Colors /BitsPerComponent /Columns (defaults when absent
// or mistyped). Fails only on a PNG row tag above 4 and on rows too long to be real
// (longer than limits::kMaxDecodedBytes, or overflowing 64 bits).
[[nodiscard]] Result<Bytes> undo_predictor(Bytes data, const Dictionary& params);

// Rows as the parameters define them: no predictor, TIFF 2, or PNG rows of `row_len`
// bytes after a tag byte. Fails as undo_predictor does on parameters.
struct PredictorLayout {
  enum class Kind { None, Tiff, Png };
  Kind kind = Kind::None;
  std::size_t row_len = 1;
  std::size_t bpp = 1;
};
[[nodiscard]] Result<PredictorLayout> predictor_layout(const Dictionary& params);

// Given a decoder's output piece by piece, gives the error undo_predictor would give
// for the whole of it (none without `params`), holding nothing of it.
class PredictorCheck final : public ByteSink {
 public:
  explicit PredictorCheck(const Dictionary* params);
  void take(ByteView piece) override;
  bool wants_bytes() const override { return layout_.kind == PredictorLayout::Kind::Png; }
  void take_size(std::uint64_t size) override { seen_ += size; }
  [[nodiscard]] Result<void> result() const;

 private:
  PredictorLayout layout_;
  std::optional<ParseError> error_;
  std::uint64_t seen_ = 0;
  std::uint64_t next_tag_ = 0;
  std::optional<std::uint64_t> first_bad_tag_;
};

}  // namespace folioscan
