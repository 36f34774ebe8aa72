// A paragraph's text from its lines: lines joined with a space, a word hyphenated at a
// line end joined again, soft hyphens dropped.
#pragma once

#include <string>
#include <string_view>

namespace folioscan {

// Appends `line` to the paragraph text `text` (empty for the first line). A hyphen
// ending `text` after a letter, with `line` starting with a lower-case letter, is a
// word broken at the line end: the halves join without it ("adip-" + "iscing"). A
// hyphen after a word that forms compounds ("long-", "self-", "well-") stays when the
// second half is a word and no suffix ("long-" + "term", but "short-" + "ly"). A
// hyphen before anything else stays and the halves join without a space ("Franco-" +
// "German", "2019-" + "2020"); a dash after a space stays apart. A soft hyphen (U+00AD) ending the text joins the halves;
// soft hyphens elsewhere are dropped. Text in a script written without spaces (CJK)
// joins without one. White space around `line` is trimmed.
void append_paragraph_line(std::string& text, std::string_view line);

}  // namespace folioscan
