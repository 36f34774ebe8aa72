// Decoding an operator keyword: a switch on the keyword's length and bytes, so the
// tokenizer names each operation with a few comparisons.
#include "operation.h"

namespace folioscan {
namespace {

// A keyword of at most three bytes as one number: its length, then its bytes.
constexpr std::uint32_t pack(std::string_view word) {
  auto code = static_cast<std::uint32_t>(word.size());
  for (const char c : word) code = code << 8 | static_cast<std::uint8_t>(c);
  return code;
}

}  // namespace

Operator operator_of(std::string_view keyword) {
  if (keyword.empty() || keyword.size() > 3) return Operator::Unknown;
  switch (pack(keyword)) {
    case pack("w"): return Operator::SetLineWidth;
    case pack("J"): return Operator::SetLineCap;
    case pack("j"): return Operator::SetLineJoin;
    case pack("M"): return Operator::SetMiterLimit;
    case pack("d"): return Operator::SetDash;
    case pack("ri"): return Operator::SetIntent;
    case pack("i"): return Operator::SetFlatness;
    case pack("gs"): return Operator::SetGraphicsState;
    case pack("q"): return Operator::Save;
    case pack("Q"): return Operator::Restore;
    case pack("cm"): return Operator::Concat;
    case pack("m"): return Operator::MoveTo;
    case pack("l"): return Operator::LineTo;
    case pack("c"): return Operator::CurveTo;
    case pack("v"): return Operator::CurveToV;
    case pack("y"): return Operator::CurveToY;
    case pack("h"): return Operator::ClosePath;
    case pack("re"): return Operator::Rectangle;
    case pack("S"): return Operator::Stroke;
    case pack("s"): return Operator::CloseStroke;
    case pack("f"): return Operator::Fill;
    case pack("F"): return Operator::FillObsolete;
    case pack("f*"): return Operator::FillEvenOdd;
    case pack("B"): return Operator::FillStroke;
    case pack("B*"): return Operator::FillStrokeEvenOdd;
    case pack("b"): return Operator::CloseFillStroke;
    case pack("b*"): return Operator::CloseFillStrokeEvenOdd;
    case pack("n"): return Operator::EndPath;
    case pack("W"): return Operator::Clip;
    case pack("W*"): return Operator::ClipEvenOdd;
    case pack("BT"): return Operator::BeginText;
    case pack("ET"): return Operator::EndText;
    case pack("Tc"): return Operator::SetCharSpacing;
    case pack("Tw"): return Operator::SetWordSpacing;
    case pack("Tz"): return Operator::SetHorizontalScaling;
    case pack("TL"): return Operator::SetLeading;
    case pack("Tf"): return Operator::SetFont;
    case pack("Tr"): return Operator::SetRenderMode;
    case pack("Ts"): return Operator::SetRise;
    case pack("Td"): return Operator::MoveText;
    case pack("TD"): return Operator::MoveTextSetLeading;
    case pack("Tm"): return Operator::SetTextMatrix;
    case pack("T*"): return Operator::NextLine;
    case pack("Tj"): return Operator::ShowText;
    case pack("TJ"): return Operator::ShowTextArray;
    case pack("'"): return Operator::NextLineShowText;
    case pack("\""): return Operator::NextLineSpacedShowText;
    case pack("d0"): return Operator::SetGlyphWidth;
    case pack("d1"): return Operator::SetGlyphWidthAndBox;
    case pack("CS"): return Operator::SetStrokeColorSpace;
    case pack("cs"): return Operator::SetFillColorSpace;
    case pack("SC"): return Operator::SetStrokeColor;
    case pack("SCN"): return Operator::SetStrokeColorN;
    case pack("sc"): return Operator::SetFillColor;
    case pack("scn"): return Operator::SetFillColorN;
    case pack("G"): return Operator::SetStrokeGray;
    case pack("g"): return Operator::SetFillGray;
    case pack("RG"): return Operator::SetStrokeRgb;
    case pack("rg"): return Operator::SetFillRgb;
    case pack("K"): return Operator::SetStrokeCmyk;
    case pack("k"): return Operator::SetFillCmyk;
    case pack("sh"): return Operator::PaintShading;
    case pack("BI"): return Operator::BeginImage;
    case pack("ID"): return Operator::BeginImageData;
    case pack("EI"): return Operator::EndImage;
    case pack("Do"): return Operator::PaintXObject;
    case pack("MP"): return Operator::MarkPoint;
    case pack("DP"): return Operator::MarkPointProperties;
    case pack("BMC"): return Operator::BeginMarked;
    case pack("BDC"): return Operator::BeginMarkedProperties;
    case pack("EMC"): return Operator::EndMarked;
    case pack("BX"): return Operator::BeginCompatibility;
    case pack("EX"): return Operator::EndCompatibility;
    default: return Operator::Unknown;
  }
}

}  // namespace folioscan
