// Annotations as a reader shows them: the flags and subtypes that hide one, the normal
// appearance and its placement by /Rect, and text and choice fields drawn from their
// values when the form asks the reader to.
#include "annotations.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>

#include "content/operation.h"
#include "content/tokenizer.h"
#include "doc.h"
#include "input_limits.h"
#include "utf8.h"

namespace folioscan {
namespace {

// The Hidden and NoView annotation flags.
constexpr std::int64_t kHiddenOrNoView = 2 | 32;

// `count` numbers of an array (elements may be references), or nothing.
template <std::size_t N>
std::optional<std::array<double, N>> numbers_of(Resolver& resolver, const Object* value) {
  if (value == nullptr) return std::nullopt;
  auto resolved = resolver.resolve_view(*value);
  if (!resolved) return std::nullopt;
  const Array* arr = (*resolved)->as_array();
  if (arr == nullptr || arr->size() < N) return std::nullopt;
  std::array<double, N> out{};
  for (std::size_t i = 0; i < N; ++i) {
    auto element = resolver.resolve_view((*arr)[i]);
    if (!element) return std::nullopt;
    const auto n = (*element)->as_number();
    if (!n || !std::isfinite(*n)) return std::nullopt;
    out[i] = *n;
  }
  return out;
}

// An entry of a form field, inherited from its ancestors (/Parent) when the field does
// not have it; the chain is bounded, so a parent loop ends.
const Object* field_entry(Resolver& resolver, const Dictionary& field, std::string_view key) {
  const Dictionary* at = &field;
  for (int depth = 0; depth < limits::kMaxFieldDepth && at != nullptr; ++depth) {
    if (const Object* value = at->lookup(key)) {
      const auto resolved = resolver.resolve_view(*value);
      return resolved ? *resolved : nullptr;
    }
    const Object* parent = at->lookup("Parent");
    if (parent == nullptr) return nullptr;
    const auto next = resolver.dictionary_view(*parent);
    at = next ? *next : nullptr;
  }
  return nullptr;
}

}  // namespace

Matrix form_matrix(Resolver& resolver, const Dictionary& form) {
  const auto v = numbers_of<6>(resolver, form.lookup("Matrix"));
  if (!v) return Matrix{};
  return Matrix{(*v)[0], (*v)[1], (*v)[2], (*v)[3], (*v)[4], (*v)[5]};
}

bool annotation_shown(Resolver& resolver, const Dictionary& annotation) {
  if (const Object* subtype = annotation.lookup("Subtype")) {
    if (subtype->is_name("Popup") || subtype->is_name("Link")) return false;
  }
  if (const Object* flags = annotation.lookup("F")) {
    const auto resolved = resolver.resolve_view(*flags);
    if (!resolved) return false;
    if (const auto* bits = (*resolved)->as_integer(); bits != nullptr && (*bits & kHiddenOrNoView) != 0) return false;
  }
  return true;
}

bool form_needs_appearances(OpenDocument& doc) {
  Resolver& resolver = doc.resolver;
  const auto root = catalog_view(doc);
  const Object* form = root ? (*root)->lookup("AcroForm") : nullptr;
  if (form == nullptr) return false;
  const auto fields = resolver.dictionary_view(*form);
  const Object* flag = fields ? (*fields)->lookup("NeedAppearances") : nullptr;
  if (flag == nullptr) return false;
  const auto value = resolver.resolve_view(*flag);
  return value && (*value)->as_bool() != nullptr && *(*value)->as_bool();
}

// The appearance streams of such fields are stale or empty (producers that leave the
// drawing to the reader write them so). The value is drawn as upright text inside the
// widget's Rect, a line per line of a multi-line value, at the size the field's /DA sets
// (0, or none: a size that fits the Rect), each glyph half an em wide.
namespace {

std::shared_ptr<const FieldValues::Lines> lines_of(const String& value) {
  auto out = std::make_shared<FieldValues::Lines>();
  out->text = decode_text_string(value.bytes);
  const std::string& decoded = out->text;
  for (std::size_t start = 0; start <= decoded.size();) {
    std::size_t end = decoded.find_first_of("\r\n", start);
    if (end == std::string::npos) end = decoded.size();
    out->lines.push_back(std::string_view(decoded).substr(start, end - start));
    if (end + 1 < decoded.size() && decoded[end] == '\r' && decoded[end + 1] == '\n') ++end;
    start = end + 1;
  }
  // What the runs hold: a run with its glyph start and its text for each line that is
  // not empty.
  for (const std::string_view line : out->lines) {
    if (!line.empty()) out->cost += line.size() + sizeof(TextRun) + sizeof(std::uint32_t);
  }
  return out;
}

}  // namespace

std::optional<std::vector<TextRun>> field_value_runs(Resolver& resolver, const Dictionary& widget,
                                                     FieldValues& values, std::uint64_t allowance) {
  const Object* type = field_entry(resolver, widget, "FT");
  if (type == nullptr || !(type->is_name("Tx") || type->is_name("Ch"))) return std::nullopt;
  const Object* value = field_entry(resolver, widget, "V");
  const String* text = value != nullptr ? value->as_string() : nullptr;
  if (text == nullptr) return std::nullopt;
  const auto rect = numbers_of<4>(resolver, widget.lookup("Rect"));
  if (!rect) return std::nullopt;
  const double x0 = std::min((*rect)[0], (*rect)[2]);
  const double y0 = std::min((*rect)[1], (*rect)[3]), y1 = std::max((*rect)[1], (*rect)[3]);
  double size = 0;
  if (const Object* da = field_entry(resolver, widget, "DA"); da != nullptr && da->as_string() != nullptr) {
    // The operand before "Tf" in the default appearance string.
    for_each_content_op(da->as_string()->bytes, [&](const ContentOp& op) {
      if (op.op == Operator::SetFont && op.operands.size() >= 2) size = op.operands[1].as_number().value_or(0.0);
    });
  }
  const double height = y1 - y0;
  if (!(size > 0) || !std::isfinite(size)) size = std::clamp(height * 0.7, 1.0, 12.0);
  std::vector<TextRun> runs;
  if (!std::isfinite(x0) || !std::isfinite(y1) || !(height >= 0)) return runs;

  // The value lives in a dictionary the resolver holds, so its address names it.
  auto [it, fresh] = values.by_string.try_emplace(text);
  if (fresh) it->second = lines_of(*text);
  const std::vector<std::string_view>& lines = it->second->lines;
  const std::uint64_t cost = it->second->cost;
  if (cost > allowance - std::min(allowance, values.spent)) {
    values.exceeded = true;
    return runs;
  }
  values.spent += cost;
  // One line sits in the middle of the Rect; more start at its top.
  double baseline = lines.size() == 1 ? y0 + (height - size) / 2 + 0.2 * size : y1 - size;
  for (const std::string_view line : lines) {
    if (!line.empty()) {
      TextRun run;
      run.text = std::string(line);
      run.x = x0 + 2;
      run.y = baseline;
      std::size_t glyphs = 0;
      for (const char c : line) glyphs += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
      run.font_size = size;
      run.page_size = size;
      run.width = 0.5 * size * static_cast<double>(glyphs);
      run.end_x = run.x + run.width;
      run.end_y = baseline;
      run.glyph_starts = {0};  // a value is stored in logical order
      runs.push_back(std::move(run));
    }
    baseline -= size;
  }
  return runs;
}

const Stream* normal_appearance(Resolver& resolver, const Dictionary& annotation) {
  const Object* ap = annotation.lookup("AP");
  if (ap == nullptr) return nullptr;
  const auto appearances = resolver.dictionary_view(*ap);
  if (!appearances) return nullptr;
  const Object* normal = (*appearances)->lookup("N");
  if (normal == nullptr) return nullptr;
  auto target = resolver.resolve_view(*normal);
  if (!target) return nullptr;
  if (const Stream* stream = (*target)->as_stream()) return stream;
  // A dictionary of states: the one /AS names.
  const Dictionary* states = (*target)->as_dict();
  const Object* state = annotation.lookup("AS");
  if (states == nullptr || state == nullptr || state->as_name() == nullptr) return nullptr;
  const Object* chosen = states->lookup(state->as_name()->text);
  if (chosen == nullptr) return nullptr;
  target = resolver.resolve_view(*chosen);
  if (!target) return nullptr;
  return (*target)->as_stream();
}

std::optional<Matrix> appearance_placement(Resolver& resolver, const Dictionary& annotation,
                                           const Stream& appearance) {
  const auto rect = numbers_of<4>(resolver, annotation.lookup("Rect"));
  const auto bbox = numbers_of<4>(resolver, appearance.dict.lookup("BBox"));
  if (!rect || !bbox) return std::nullopt;
  // The BBox carried through the form's Matrix, as an upright box, is mapped onto the
  // Rect; the content then goes through Matrix and that mapping.
  const Matrix m = form_matrix(resolver, appearance.dict);
  double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
  for (const auto& [x, y] : {std::pair{(*bbox)[0], (*bbox)[1]}, std::pair{(*bbox)[2], (*bbox)[1]},
                             std::pair{(*bbox)[2], (*bbox)[3]}, std::pair{(*bbox)[0], (*bbox)[3]}}) {
    const double tx = x * m.a + y * m.c + m.e;
    const double ty = x * m.b + y * m.d + m.f;
    x0 = std::min(x0, tx);
    y0 = std::min(y0, ty);
    x1 = std::max(x1, tx);
    y1 = std::max(y1, ty);
  }
  const double rx0 = std::min((*rect)[0], (*rect)[2]), rx1 = std::max((*rect)[0], (*rect)[2]);
  const double ry0 = std::min((*rect)[1], (*rect)[3]), ry1 = std::max((*rect)[1], (*rect)[3]);
  if (!(x1 - x0 > 0) || !(y1 - y0 > 0)) return std::nullopt;  // NaN too: nothing to place
  const double sx = (rx1 - rx0) / (x1 - x0);
  const double sy = (ry1 - ry0) / (y1 - y0);
  if (!std::isfinite(sx) || !std::isfinite(sy)) return std::nullopt;
  return Matrix{sx, 0, 0, sy, rx0 - sx * x0, ry0 - sy * y0};
}

}  // namespace folioscan
