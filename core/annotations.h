// Annotations as a reader shows them: which are shown, the appearance stream drawn for
// one and where it is placed on the page, and form fields drawn from their values.
#pragma once

#include <optional>
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

// The runs of a text or choice field's value, drawn as a reader draws it when the form
// needs appearances; none when the widget has no such value (its appearance is drawn).
std::optional<std::vector<TextRun>> field_value_runs(Resolver& resolver, const Dictionary& widget);

// The normal appearance (/AP /N, or the state of it /AS names), null when there is none.
const Stream* normal_appearance(Resolver& resolver, const Dictionary& annotation);

// The matrix that maps the appearance's /BBox, carried through its /Matrix, onto the
// annotation's /Rect; none when either box is missing or has no area.
std::optional<Matrix> appearance_placement(Resolver& resolver, const Dictionary& annotation,
                                           const Stream& appearance);

}  // namespace folioscan
