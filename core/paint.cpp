// Painting a page. The walker owns the graphics state; the text interpreter and the
// rule collector see each operation with it. In recovery "Do" of a form runs the
// form's content in place (its /Matrix on the CTM, its own resources), annotation
// appearances are painted after the content, and marked content carrying /ActualText
// replaces the text shown inside it.
#include "paint.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "bounds.h"
#include "content/gather.h"
#include "content/interpreter.h"
#include "content/tokenizer.h"
#include "content/walker.h"
#include "doc.h"
#include "images.h"
#include "pages.h"
#include "matrix.h"
#include "text.h"

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

Matrix form_matrix(Resolver& resolver, const Dictionary& dict) {
  const auto v = numbers_of<6>(resolver, dict.lookup("Matrix"));
  if (!v) return Matrix{};
  return Matrix{(*v)[0], (*v)[1], (*v)[2], (*v)[3], (*v)[4], (*v)[5]};
}

// The unresolved entry `name` of the resource category `category` (/XObject,
// /Properties), or nullptr when either is missing or unreadable.
const Object* named_resource(Resolver& resolver, const Dictionary& resources, std::string_view category,
                             const std::string& name) {
  const Object* entries = resources.lookup(category);
  if (entries == nullptr) return nullptr;
  const auto dict = resolver.dictionary_view(*entries);
  return dict ? (*dict)->lookup(name) : nullptr;
}

class Painter {
 public:
  Painter(OpenDocument& doc, const PageRecord& page, const SharedFontMap& fonts)
      : doc_(doc),
        page_(page),
        page_fonts_(fonts),
        recover_(doc.options.recover),
        walker_(recover_),
        text_(fonts),
        rules_(recover_),
        budget_(content_budget(doc)) {
    text_.keep_glyph_starts(recover_);
  }

  void run(ByteView content, const Dictionary& resources) {
    const std::size_t mended = for_each_content_op(
        content,
        [&](const ContentOp& op) {
          if (rules_on_) {
            walker_.apply(op, text_, rules_);
          } else {
            walker_.apply(op, text_);
          }
          if (recover_) extra(op, resources);
        },
        recover_);
    if (mended > 0) warn_once(warned_inline_, "inline image data holds \"EI\"; read to its end");
  }

  void paint_annotations();

  PagePaint finish() {
    PagePaint out{text_.take_runs(), rules_.take(), std::move(images_), std::move(image_streams_)};
    return out;
  }

 private:
  void extra(const ContentOp& op, const Dictionary& resources) {
    switch (op.op) {
      case Operator::PaintXObject:
        paint_xobject(op, resources);
        return;
      case Operator::BeginMarkedProperties:
        begin_marked(&op, resources);
        return;
      case Operator::BeginMarked:
        begin_marked(nullptr, resources);
        return;
      case Operator::EndMarked:
        end_marked();
        return;
      default:
        return;
    }
  }

  void paint_xobject(const ContentOp& op, const Dictionary& resources);
  void paint_form(const Stream& form, const Matrix& placement);
  void paint_annotation(const Dictionary& annotation);
  bool paint_field_value(const Dictionary& widget);
  bool need_appearances();
  void note_image(const std::string& name, const Object& entry, const Stream& stream);
  const Bytes* decoded(const Stream& form);
  const Dictionary& form_resources(const Stream& form);
  const SharedFontMap* fonts_for(const Dictionary& resources);
  void begin_marked(const ContentOp* bdc, const Dictionary& resources);
  void end_marked();

  // One warning per kind and page: a hostile page may fail the same way millions of times.
  void warn_once(bool& warned, const char* message) {
    if (warned) return;
    warned = true;
    doc_.diagnostics.warn(ParseError{message, ParseErrorKind::BadStream});
  }

  OpenDocument& doc_;
  const PageRecord& page_;
  const SharedFontMap& page_fonts_;
  bool recover_;
  GraphicsWalker walker_;
  TextInterpreter text_;
  RuleCollector rules_;
  bool rules_on_ = true;  // appearances' paths are not the page's rules
  std::uint64_t budget_;

  // Forms being painted, outermost first (at most kMaxFormDepth: a linear search).
  std::vector<const Stream*> chain_;
  // Decoded content of each form of the page (the resolver hands out one object per
  // number, so the address identifies the form); none when it could not be used.
  std::unordered_map<const Stream*, std::optional<Bytes>> decoded_;
  std::unordered_map<const Dictionary*, SharedFontMap> fonts_;
  std::uint64_t form_bytes_ = 0;
  bool exhausted_ = false, warned_budget_ = false, warned_depth_ = false, warned_cycle_ = false,
       warned_inline_ = false;

  std::vector<ParsedImage> images_;
  std::vector<const Stream*> image_streams_;
  std::unordered_set<const Stream*> images_seen_;

  // Marked content: the open sequences, those of the streams being painted from
  // `mc_floor_` up, and the level of the open replacement (0: none).
  std::size_t mc_depth_ = 0;
  std::size_t mc_floor_ = 0;
  std::size_t replacement_level_ = 0;

  std::optional<bool> need_appearances_;  // the form's /NeedAppearances, read once
};

void Painter::paint_xobject(const ContentOp& op, const Dictionary& resources) {
  if (op.operands.empty()) return;
  const Name* name = op.operands[0].as_name();
  if (name == nullptr) return;
  Resolver& resolver = doc_.resolver;
  const Object* entry = named_resource(resolver, resources, "XObject", name->text);
  if (entry == nullptr) return;
  const auto value = resolver.resolve_view(*entry);
  if (!value) return;
  const Stream* stream = (*value)->as_stream();
  if (stream == nullptr) return;
  const Object* subtype = stream->dict.lookup("Subtype");
  if (subtype == nullptr) return;
  if (subtype->is_name("Form")) {
    paint_form(*stream, Matrix{});
  } else if (subtype->is_name("Image") && !chain_.empty()) {
    // The page's own resources are listed as before; images painted by forms join them.
    note_image(name->text, *entry, *stream);
  }
}

void Painter::note_image(const std::string& name, const Object& entry, const Stream& stream) {
  if (!images_seen_.insert(&stream).second) return;
  std::optional<ParsedImage> image = describe_image(doc_, name, entry, stream);
  if (!image) return;
  images_.push_back(std::move(*image));
  image_streams_.push_back(&stream);
}

const Bytes* Painter::decoded(const Stream& form) {
  auto [it, fresh] = decoded_.try_emplace(&form);
  if (fresh) {
    Result<Bytes> data = doc_.resolver.decode(form);
    if (!data) {
      doc_.diagnostics.warn(data.error());
    } else if (data->size() > limits::kMaxFormBytesPerPage - form_bytes_) {
      exhausted_ = true;
      warn_once(warned_budget_, "form content too large");
    } else {
      it->second = std::move(*data);
    }
  }
  return it->second ? &*it->second : nullptr;
}

const Dictionary& Painter::form_resources(const Stream& form) {
  const Object* value = form.dict.lookup("Resources");
  if (value == nullptr) return page_.resources;
  const auto dict = doc_.resolver.dictionary_view(*value);
  return dict ? **dict : page_.resources;
}

const SharedFontMap* Painter::fonts_for(const Dictionary& resources) {
  if (&resources == &page_.resources) return &page_fonts_;
  auto it = fonts_.find(&resources);
  if (it == fonts_.end()) it = fonts_.emplace(&resources, doc_.fonts.load_page_fonts(doc_, resources)).first;
  return &it->second;
}

void Painter::paint_form(const Stream& form, const Matrix& placement) {
  if (exhausted_) return;
  if (chain_.size() >= limits::kMaxFormDepth) {
    warn_once(warned_depth_, "forms nested too deep");
    return;
  }
  if (std::find(chain_.begin(), chain_.end(), &form) != chain_.end()) {
    warn_once(warned_cycle_, "form paints itself");
    return;
  }
  const Bytes* content = decoded(form);
  if (content == nullptr) return;
  const std::uint64_t cost = std::max<std::uint64_t>(content->size(), limits::kMinFormPaintingCost);
  if (cost > limits::kMaxFormBytesPerPage - form_bytes_ || doc_.content_bytes + cost > budget_) {
    exhausted_ = true;
    warn_once(warned_budget_, "form content too large");
    return;
  }
  form_bytes_ += cost;
  doc_.content_bytes += cost;

  const Dictionary& resources = form_resources(form);
  const SharedFontMap* fonts = fonts_for(resources);
  const Matrix matrix = form_matrix(doc_.resolver, form.dict);

  GraphicsWalker::Mark mark = walker_.enter();
  walker_.state().ctm = multiply(multiply(matrix, placement), walker_.state().ctm);
  const SharedFontMap* previous_fonts = text_.use_fonts(fonts);
  const std::size_t previous_floor = std::exchange(mc_floor_, mc_depth_);
  chain_.push_back(&form);
  run(*content, resources);
  chain_.pop_back();
  // Marked content left open by the form ends with it.
  if (replacement_level_ > mc_floor_) {
    text_.end_replacement();
    replacement_level_ = 0;
  }
  mc_depth_ = std::exchange(mc_floor_, previous_floor);
  text_.use_fonts(previous_fonts);
  walker_.leave(std::move(mark));
}

void Painter::begin_marked(const ContentOp* bdc, const Dictionary& resources) {
  ++mc_depth_;
  if (bdc == nullptr || replacement_level_ != 0 || bdc->operands.size() < 2) return;
  Resolver& resolver = doc_.resolver;
  const Object& operand = bdc->operands[1];
  const Dictionary* properties = operand.as_dict();
  if (const Name* name = operand.as_name()) {
    const Object* entry = named_resource(resolver, resources, "Properties", name->text);
    if (entry == nullptr) return;
    const auto target = resolver.dictionary_view(*entry);
    if (!target) return;
    properties = *target;
  }
  if (properties == nullptr) return;
  const Object* actual = properties->lookup("ActualText");
  if (actual == nullptr) return;
  const auto value = resolver.resolve_view(*actual);
  if (!value) return;
  const String* text = (*value)->as_string();
  if (text == nullptr) return;
  if (text_.begin_replacement(decode_text_string(text->bytes))) replacement_level_ = mc_depth_;
}

void Painter::end_marked() {
  if (mc_depth_ <= mc_floor_) return;
  if (replacement_level_ == mc_depth_) {
    text_.end_replacement();
    replacement_level_ = 0;
  }
  --mc_depth_;
}

void Painter::paint_annotations() {
  const Object* annots = page_.dictionary.lookup("Annots");
  if (annots == nullptr) return;
  const auto value = doc_.resolver.resolve_view(*annots);
  if (!value) return;
  const Array* list = (*value)->as_array();
  if (list == nullptr) return;
  // Appearances are drawn in the page's default space, after its content and apart
  // from whatever state the content left; a replacement the content left open ends.
  rules_on_ = false;
  if (replacement_level_ != 0) {
    text_.end_replacement();
    replacement_level_ = 0;
  }
  for (const Object& element : *list) {
    if (exhausted_) break;
    const auto annotation = doc_.resolver.dictionary_view(element);
    if (annotation) paint_annotation(**annotation);
  }
}

bool Painter::need_appearances() {
  if (!need_appearances_) {
    need_appearances_ = false;
    Resolver& resolver = doc_.resolver;
    const auto root = catalog_view(doc_);
    const Object* form = root ? (*root)->lookup("AcroForm") : nullptr;
    if (form == nullptr) return false;
    const auto fields = resolver.dictionary_view(*form);
    const Object* flag = fields ? (*fields)->lookup("NeedAppearances") : nullptr;
    if (flag == nullptr) return false;
    const auto value = resolver.resolve_view(*flag);
    need_appearances_ = value && (*value)->as_bool() != nullptr && *(*value)->as_bool();
  }
  return *need_appearances_;
}

// An entry of a form field, inherited from its ancestors (/Parent) when the field does
// not have it; the chain is bounded, so a parent loop ends.
const Object* field_entry(Resolver& resolver, const Dictionary& field, std::string_view key) {
  constexpr int kMaxFieldDepth = 32;
  const Dictionary* at = &field;
  for (int depth = 0; depth < kMaxFieldDepth && at != nullptr; ++depth) {
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

// A form whose /NeedAppearances is true asks the reader to draw its text and choice
// fields from their values: the appearance streams are stale or empty (producers that
// leave the drawing to the reader write them so). The value is drawn as upright text
// inside the widget's Rect, a line per line of a multi-line value, at the size the
// field's /DA sets (0, or none: a size that fits the Rect), each glyph half an em wide.
// Gives false, so the appearance is drawn, when the widget has no such value.
bool Painter::paint_field_value(const Dictionary& widget) {
  if (!need_appearances()) return false;
  Resolver& resolver = doc_.resolver;
  const Object* type = field_entry(resolver, widget, "FT");
  if (type == nullptr || !(type->is_name("Tx") || type->is_name("Ch"))) return false;
  const Object* value = field_entry(resolver, widget, "V");
  const String* text = value != nullptr ? value->as_string() : nullptr;
  if (text == nullptr) return false;
  const auto rect = numbers_of<4>(resolver, widget.lookup("Rect"));
  if (!rect) return false;
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
  if (!std::isfinite(x0) || !std::isfinite(y1) || !(height >= 0)) return true;

  const std::string decoded = decode_text_string(text->bytes);
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start <= decoded.size();) {
    std::size_t end = decoded.find_first_of("\r\n", start);
    if (end == std::string::npos) end = decoded.size();
    lines.push_back(std::string_view(decoded).substr(start, end - start));
    if (end + 1 < decoded.size() && decoded[end] == '\r' && decoded[end + 1] == '\n') ++end;
    start = end + 1;
  }
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
      text_.add_run(std::move(run));
    }
    baseline -= size;
  }
  return true;
}

void Painter::paint_annotation(const Dictionary& annotation) {
  Resolver& resolver = doc_.resolver;
  if (const Object* subtype = annotation.lookup("Subtype")) {
    if (subtype->is_name("Popup") || subtype->is_name("Link")) return;
  }
  if (const Object* flags = annotation.lookup("F")) {
    const auto resolved = resolver.resolve_view(*flags);
    if (!resolved) return;
    if (const auto* bits = (*resolved)->as_integer(); bits != nullptr && (*bits & kHiddenOrNoView) != 0) return;
  }
  if (paint_field_value(annotation)) return;
  const Object* ap = annotation.lookup("AP");
  if (ap == nullptr) return;
  const auto appearances = resolver.dictionary_view(*ap);
  if (!appearances) return;
  const Object* normal = (*appearances)->lookup("N");
  if (normal == nullptr) return;
  auto target = resolver.resolve_view(*normal);
  if (!target) return;
  const Stream* stream = (*target)->as_stream();
  if (stream == nullptr) {
    // A dictionary of states: the one /AS names.
    const Dictionary* states = (*target)->as_dict();
    const Object* state = annotation.lookup("AS");
    if (states == nullptr || state == nullptr || state->as_name() == nullptr) return;
    const Object* chosen = states->lookup(state->as_name()->text);
    if (chosen == nullptr) return;
    target = resolver.resolve_view(*chosen);
    if (!target) return;
    stream = (*target)->as_stream();
    if (stream == nullptr) return;
  }
  const auto rect = numbers_of<4>(resolver, annotation.lookup("Rect"));
  const auto bbox = numbers_of<4>(resolver, stream->dict.lookup("BBox"));
  if (!rect || !bbox) return;
  // The BBox carried through the form's Matrix, as an upright box, is mapped onto the
  // Rect; the content then goes through Matrix and that mapping.
  const Matrix m = form_matrix(resolver, stream->dict);
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
  if (!(x1 - x0 > 0) || !(y1 - y0 > 0)) return;  // NaN too: nothing to place
  const double sx = (rx1 - rx0) / (x1 - x0);
  const double sy = (ry1 - ry0) / (y1 - y0);
  if (!std::isfinite(sx) || !std::isfinite(sy)) return;
  const Matrix placement{sx, 0, 0, sy, rx0 - sx * x0, ry0 - sy * y0};

  GraphicsWalker::Mark mark = walker_.enter();
  walker_.state() = GraphicsState{};
  paint_form(*stream, placement);
  walker_.leave(std::move(mark));
}

}  // namespace

PagePaint paint_page(OpenDocument& doc, const PageRecord& page, ByteView content, const SharedFontMap& fonts) {
  Painter painter(doc, page, fonts);
  painter.run(content, page.resources);
  if (doc.options.recover) painter.paint_annotations();
  return painter.finish();
}

}  // namespace folioscan
