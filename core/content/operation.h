// One operation of a content stream: the operator, decoded once from its keyword, with
// the operands before it. Consumers switch on the operator; a keyword that names no
// operator keeps its bytes for those that read it.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "../cos/object.h"

namespace folioscan {

// The operators of content streams, each with its keyword. The path operators (MoveTo
// to EndPath) and the text operators (BeginText to NextLineSpacedShowText) each stand
// together, so that a consumer passes over the others with one range test.
enum class Operator : std::uint8_t {
  Unknown,  // any other keyword ("true", "false" and "null" among them)
  // General graphics state.
  SetLineWidth,        // w
  SetLineCap,          // J
  SetLineJoin,         // j
  SetMiterLimit,       // M
  SetDash,             // d
  SetIntent,           // ri
  SetFlatness,         // i
  SetGraphicsState,    // gs
  // Special graphics state.
  Save,     // q
  Restore,  // Q
  Concat,   // cm
  // Path construction.
  MoveTo,     // m
  LineTo,     // l
  CurveTo,    // c
  CurveToV,   // v
  CurveToY,   // y
  ClosePath,  // h
  Rectangle,  // re
  // Path painting.
  Stroke,                  // S
  CloseStroke,             // s
  Fill,                    // f
  FillObsolete,            // F
  FillEvenOdd,             // f*
  FillStroke,              // B
  FillStrokeEvenOdd,       // B*
  CloseFillStroke,         // b
  CloseFillStrokeEvenOdd,  // b*
  EndPath,                 // n
  // Clipping paths.
  Clip,         // W
  ClipEvenOdd,  // W*
  // Text objects.
  BeginText,  // BT
  EndText,    // ET
  // Text state.
  SetCharSpacing,        // Tc
  SetWordSpacing,        // Tw
  SetHorizontalScaling,  // Tz
  SetLeading,            // TL
  SetFont,               // Tf
  SetRenderMode,         // Tr
  SetRise,               // Ts
  // Text positioning.
  MoveText,            // Td
  MoveTextSetLeading,  // TD
  SetTextMatrix,       // Tm
  NextLine,            // T*
  // Text showing.
  ShowText,                // Tj
  ShowTextArray,           // TJ
  NextLineShowText,        // '
  NextLineSpacedShowText,  // "
  // Type 3 glyphs.
  SetGlyphWidth,        // d0
  SetGlyphWidthAndBox,  // d1
  // Colour.
  SetStrokeColorSpace,  // CS
  SetFillColorSpace,    // cs
  SetStrokeColor,       // SC
  SetStrokeColorN,      // SCN
  SetFillColor,         // sc
  SetFillColorN,        // scn
  SetStrokeGray,        // G
  SetFillGray,          // g
  SetStrokeRgb,         // RG
  SetFillRgb,           // rg
  SetStrokeCmyk,        // K
  SetFillCmyk,          // k
  // Shading, inline images, XObjects.
  PaintShading,      // sh
  BeginImage,        // BI
  BeginImageData,    // ID
  EndImage,          // EI
  PaintXObject,      // Do
  // Marked content.
  MarkPoint,              // MP
  MarkPointProperties,    // DP
  BeginMarked,            // BMC
  BeginMarkedProperties,  // BDC
  EndMarked,              // EMC
  // Compatibility sections.
  BeginCompatibility,  // BX
  EndCompatibility,    // EX
};

// The operator a whole keyword names, Unknown for any other word. Keywords are ASCII: a
// word that is not valid UTF-8 names none. The tokenizer decodes every keyword of every
// page here: a switch on the bytes settles most keywords in two jumps.
[[gnu::always_inline]] constexpr Operator operator_of(std::string_view keyword) {
  using enum Operator;
  if (keyword.size() == 1) {
    switch (keyword[0]) {
      case 'w': return SetLineWidth;
      case 'J': return SetLineCap;
      case 'j': return SetLineJoin;
      case 'M': return SetMiterLimit;
      case 'd': return SetDash;
      case 'i': return SetFlatness;
      case 'q': return Save;
      case 'Q': return Restore;
      case 'm': return MoveTo;
      case 'l': return LineTo;
      case 'c': return CurveTo;
      case 'v': return CurveToV;
      case 'y': return CurveToY;
      case 'h': return ClosePath;
      case 'S': return Stroke;
      case 's': return CloseStroke;
      case 'f': return Fill;
      case 'F': return FillObsolete;
      case 'B': return FillStroke;
      case 'b': return CloseFillStroke;
      case 'n': return EndPath;
      case 'W': return Clip;
      case '\'': return NextLineShowText;
      case '"': return NextLineSpacedShowText;
      case 'G': return SetStrokeGray;
      case 'g': return SetFillGray;
      case 'K': return SetStrokeCmyk;
      case 'k': return SetFillCmyk;
      default: return Unknown;
    }
  }
  if (keyword.size() == 2) {
    const char second = keyword[1];
    switch (keyword[0]) {
      case 'T':
        switch (second) {
          case 'c': return SetCharSpacing;
          case 'w': return SetWordSpacing;
          case 'z': return SetHorizontalScaling;
          case 'L': return SetLeading;
          case 'f': return SetFont;
          case 'r': return SetRenderMode;
          case 's': return SetRise;
          case 'd': return MoveText;
          case 'D': return MoveTextSetLeading;
          case 'm': return SetTextMatrix;
          case '*': return NextLine;
          case 'j': return ShowText;
          case 'J': return ShowTextArray;
          default: return Unknown;
        }
      case 'r': return second == 'e' ? Rectangle : second == 'g' ? SetFillRgb : second == 'i' ? SetIntent : Unknown;
      case 'c': return second == 'm' ? Concat : second == 's' ? SetFillColorSpace : Unknown;
      case 'g': return second == 's' ? SetGraphicsState : Unknown;
      case 'f': return second == '*' ? FillEvenOdd : Unknown;
      case 'b': return second == '*' ? CloseFillStrokeEvenOdd : Unknown;
      case 'W': return second == '*' ? ClipEvenOdd : Unknown;
      case 'B':
        return second == 'T' ? BeginText
             : second == '*' ? FillStrokeEvenOdd
             : second == 'I' ? BeginImage
             : second == 'X' ? BeginCompatibility
                             : Unknown;
      case 'E': return second == 'T' ? EndText : second == 'I' ? EndImage : second == 'X' ? EndCompatibility : Unknown;
      case 'd': return second == '0' ? SetGlyphWidth : second == '1' ? SetGlyphWidthAndBox : Unknown;
      case 'C': return second == 'S' ? SetStrokeColorSpace : Unknown;
      case 'S': return second == 'C' ? SetStrokeColor : Unknown;
      case 's': return second == 'c' ? SetFillColor : second == 'h' ? PaintShading : Unknown;
      case 'R': return second == 'G' ? SetStrokeRgb : Unknown;
      case 'I': return second == 'D' ? BeginImageData : Unknown;
      case 'D': return second == 'o' ? PaintXObject : second == 'P' ? MarkPointProperties : Unknown;
      case 'M': return second == 'P' ? MarkPoint : Unknown;
      default: return Unknown;
    }
  }
  if (keyword.size() == 3) {
    if (keyword == "BDC") return BeginMarkedProperties;
    if (keyword == "BMC") return BeginMarked;
    if (keyword == "EMC") return EndMarked;
    if (keyword == "SCN") return SetStrokeColorN;
    if (keyword == "scn") return SetFillColorN;
  }
  return Unknown;
}

constexpr bool is_path_operator(Operator op) { return op >= Operator::MoveTo && op <= Operator::EndPath; }
constexpr bool is_text_operator(Operator op) {
  return op >= Operator::BeginText && op <= Operator::NextLineSpacedShowText;
}

struct ContentOp {
  std::vector<Object> operands;
  Operator op = Operator::Unknown;
  std::array<char, 4> keyword{};  // the keyword's first (at most) 4 bytes
  std::uint8_t keyword_len = 0;
  std::string_view name() const { return {keyword.data(), keyword_len}; }
};

}  // namespace folioscan
