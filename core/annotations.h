// Annotations as a reader shows them: which are shown, the appearance stream drawn for
// one and where it is placed on the page, and form fields drawn from their values.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "content/text_run.h"
#include "cos/object.h"
#include "matrix.h"

namespace folioscan {

class Resolver;
struct OpenDocument;

// A form XObject's /Matrix (an appearance is a form too), the identity when it is not
// six finite numbers.
Matrix form_matrix(Resolver& resolver, const Dictionary& form);

// Whether a reader shows the annotation: not a pop-up or a link, not flagged Hidden or
// NoView; an unreadable /F shows nothing.
bool annotation_shown(Resolver& resolver, const Dictionary& annotation);

// The document form's /NeedAppearances: true asks the reader to draw text and choice
// fields from their values.
bool form_needs_appearances(OpenDocument& doc);

// Field values drawn in one call. A value is decoded and cut into lines once, however
// many widgets show it; the runs drawn are paid for from `spent` (their text and a
// run's overhead each), and a widget whose runs would pass the call's allowance draws
// none and sets `exceeded`.
struct FieldValues {
  struct Lines {
    std::string text;
    std::vector<std::string_view> lines;  // into `text`
    std::uint64_t cost = 0;               // of the runs that draw them
  };
  std::unordered_map<const String*, std::shared_ptr<const Lines>> by_string;
  std::uint64_t spent = 0;
  bool exceeded = false;
};

// The runs of a text or choice field's value, drawn as a reader draws it when the form
// needs appearances; none when the widget has no such value (its appearance is drawn).
// `allowance` bounds what `values.spent` may reach.
std::optional<std::vector<TextRun>> field_value_runs(Resolver& resolver, const Dictionary& widget,
                                                     FieldValues& values, std::uint64_t allowance);

// The normal appearance (/AP /N, or the state of it /AS names), null when there is none.
const Stream* normal_appearance(Resolver& resolver, const Dictionary& annotation);

// The matrix that maps the appearance's /BBox, carried through its /Matrix, onto the
// annotation's /Rect; none when either box is missing or has no area.
std::optional<Matrix> appearance_placement(Resolver& resolver, const Dictionary& annotation,
                                           const Stream& appearance);

}  // namespace folioscan
