// One operation of a content stream: the operator, decoded once from its keyword, with
// the operands before it. Consumers switch on the operator; a keyword that names no
// operator keeps its bytes for those that read it.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "../cos.h"

namespace folioscan {

// The operators of content streams, each with its keyword.
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
// word that is not valid UTF-8 names none.
Operator operator_of(std::string_view keyword);

struct ContentOp {
  std::vector<Object> operands;
  Operator op = Operator::Unknown;
  std::array<char, 4> keyword{};  // the keyword's first (at most) 4 bytes
  std::uint8_t keyword_len = 0;
  std::string_view name() const { return {keyword.data(), keyword_len}; }
};

}  // namespace folioscan
