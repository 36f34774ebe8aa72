// Painting a page. The walker owns the graphics state; the text interpreter and the
// rule collector see each operation with it. In recovery "Do" of a form runs the
// form's content in place (its /Matrix on the CTM, its own resources), annotation
// appearances are painted after the content, and marked content carrying /ActualText
// replaces the text shown inside it.
#include "paint.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "agl/font_loader.h"
#include "annotations.h"
#include "input_limits.h"
#include "content/gather.h"
#include "content/interpreter.h"
#include "content/tokenizer.h"
#include "content/walker.h"
#include "doc.h"
#include "images.h"
#include "matrix.h"
#include "pages.h"
#include "utf8.h"

namespace folioscan {
namespace {

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
  Painter(OpenDocument& doc, FontContext& font_context, const PageRecord& page, const SharedFontMap& fonts)
      : doc_(doc),
        font_context_(font_context),
        page_(page),
        page_fonts_(fonts),
        recover_(doc.options.recover),
        walker_(recover_),
        text_(fonts),
        rules_(recover_),
        budget_(content_budget(doc)),
        form_budget_(limits::kMaxFormBytesPerCall +
                     limits::kMaxFormBytesPerFileByte * std::uint64_t{doc.resolver.file().size()}),
        replacement_budget_(limits::kMaxReplacementBytesPerCall +
                            limits::kMaxReplacementBytesPerFileByte * std::uint64_t{doc.resolver.file().size()}) {
    text_.keep_glyph_starts(recover_);
  }

  void run(ByteView content, const Dictionary& resources) {
    const std::size_t read_to_end = for_each_content_op(
        content,
        [&](const ContentOp& op) {
          if (rules_on_) {
            walker_.apply(op, text_, rules_);
          } else {
            walker_.apply(op, text_);
          }
          if (recover_) apply_xobject_or_marked_content(op, resources);
        },
        recover_);
    if (read_to_end > 0) warn_once(warned_inline_, "inline image data holds \"EI\"; read to its end");
  }

  void paint_annotations();

  PagePaint finish() {
    // One warning per font and page: codes no map gives text are left out of the text.
    for (const auto& [font, count] : text_.glyphs_without_text()) {
      doc_.diagnostics.warn(ParseError{"font " + font + ": " + std::to_string(count) +
                                           (count == 1 ? " glyph has" : " glyphs have") + " no character",
                                       ParseErrorKind::Unsupported});
    }
    PagePaint out{text_.take_runs(), rules_.take(), std::move(images_), std::move(image_streams_),
                  std::move(placements_)};
    return out;
  }

 private:
  // Recovery's operators besides the walk: "Do" paints a form in place (or notes an
  // image a form paints), and marked content may replace the text shown inside it.
  void apply_xobject_or_marked_content(const ContentOp& op, const Dictionary& resources) {
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
  bool need_appearances() {
    if (!need_appearances_) need_appearances_ = form_needs_appearances(doc_);
    return *need_appearances_;
  }
  void note_image(const std::string& name, const Object& entry, const Stream& stream);
  void place_image(const Stream& stream);
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
  FontContext& font_context_;
  const PageRecord& page_;
  const SharedFontMap& page_fonts_;
  bool recover_;
  GraphicsWalker walker_;
  TextInterpreter text_;
  RuleCollector rules_;
  bool rules_on_ = true;  // appearances' paths are not the page's rules
  std::uint64_t budget_;
  std::uint64_t form_budget_;  // form content a call may paint
  // Text a call may hand to runs besides the glyphs shown: replacement text, and form
  // field values (each of the two has its own count).
  std::uint64_t replacement_budget_;

  // Forms being painted, outermost first (at most kMaxFormDepth: a linear search).
  std::vector<const Stream*> chain_;
  // Decoded content of each form of the page (the resolver hands out one object per
  // number, so the address identifies the form); none when it could not be used.
  std::unordered_map<const Stream*, std::optional<Bytes>> decoded_;
  std::unordered_map<const Dictionary*, SharedFontMap> fonts_;
  std::uint64_t form_bytes_ = 0;
  bool exhausted_ = false, warned_budget_ = false, warned_depth_ = false, warned_cycle_ = false,
       warned_inline_ = false, warned_replacement_ = false, warned_fields_ = false;

  std::vector<ParsedImage> images_;
  std::vector<const Stream*> image_streams_;
  std::unordered_set<const Stream*> images_seen_;
  std::vector<ImagePlacement> placements_;

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
  } else if (subtype->is_name("Image")) {
    place_image(*stream);
    // The page's own resources are listed as before; images painted by forms join them.
    if (!chain_.empty()) note_image(name->text, *entry, *stream);
  }
}

void Painter::place_image(const Stream& stream) {
  if (placements_.size() >= limits::kMaxImagePlacements) return;
  const Matrix& m = walker_.state().ctm;
  const double xs[4] = {m.e, m.a + m.e, m.c + m.e, m.a + m.c + m.e};
  const double ys[4] = {m.f, m.b + m.f, m.d + m.f, m.b + m.d + m.f};
  const auto [x0, x1] = std::minmax({xs[0], xs[1], xs[2], xs[3]});
  const auto [y0, y1] = std::minmax({ys[0], ys[1], ys[2], ys[3]});
  if (!(std::isfinite(x0) && std::isfinite(x1) && std::isfinite(y0) && std::isfinite(y1))) return;
  placements_.push_back({&stream, {x0, y0, x1, y1}});
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
  if (value == nullptr) return *page_.resources;
  const auto dict = doc_.resolver.dictionary_view(*value);
  return dict ? **dict : *page_.resources;
}

const SharedFontMap* Painter::fonts_for(const Dictionary& resources) {
  if (&resources == page_.resources) return &page_fonts_;
  auto it = fonts_.find(&resources);
  if (it == fonts_.end()) it = fonts_.emplace(&resources, load_page_fonts(doc_, font_context_, resources)).first;
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
  if (cost > limits::kMaxFormBytesPerPage - form_bytes_ || doc_.content_bytes + cost > budget_ ||
      doc_.form_bytes + cost > form_budget_) {
    exhausted_ = true;
    warn_once(warned_budget_, "form content too large");
    return;
  }
  form_bytes_ += cost;
  doc_.form_bytes += cost;
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
  // A string the resolver holds (named properties, or an indirect one) stays where it is
  // for the call, so its decoded text is kept; one written in the content is not.
  const bool held = operand.as_name() != nullptr || actual->as_ref() != nullptr;
  std::string decoded;
  if (held) {
    auto [it, fresh] = doc_.actual_texts.try_emplace(text);
    if (fresh) it->second = decode_text_string(text->bytes);
    decoded = it->second;
  } else {
    decoded = decode_text_string(text->bytes);
  }
  if (decoded.size() > replacement_budget_ - doc_.replacement_bytes) {
    warn_once(warned_replacement_, "replacement text too large");
    return;
  }
  const std::uint64_t size = decoded.size();
  if (text_.begin_replacement(std::move(decoded))) {
    replacement_level_ = mc_depth_;
    doc_.replacement_bytes += size;
  }
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
  const Object* annots = page_.dictionary->lookup("Annots");
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

void Painter::paint_annotation(const Dictionary& annotation) {
  Resolver& resolver = doc_.resolver;
  if (!annotation_shown(resolver, annotation)) return;
  if (need_appearances()) {
    if (std::optional<std::vector<TextRun>> runs =
            field_value_runs(resolver, annotation, doc_.field_values, replacement_budget_)) {
      if (doc_.field_values.exceeded) warn_once(warned_fields_, "form field values too large");
      for (TextRun& run : *runs) text_.add_run(std::move(run));
      return;
    }
  }
  const Stream* stream = normal_appearance(resolver, annotation);
  if (stream == nullptr) return;
  const std::optional<Matrix> placement = appearance_placement(resolver, annotation, *stream);
  if (!placement) return;
  GraphicsWalker::Mark mark = walker_.enter();
  walker_.state() = GraphicsState{};
  paint_form(*stream, *placement);
  walker_.leave(std::move(mark));
}

}  // namespace

PagePaint paint_page(OpenDocument& doc, FontContext& font_context, const PageRecord& page, ByteView content,
                     const SharedFontMap& fonts) {
  Painter painter(doc, font_context, page, fonts);
  painter.run(content, *page.resources);
  if (doc.options.recover) painter.paint_annotations();
  return painter.finish();
}

}  // namespace folioscan
