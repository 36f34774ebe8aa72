// How the writers show a recovered table cell's lines: a cell set in a narrow column
// wraps its text over several lines, which a reader reads as one paragraph, while a
// line that starts a list item starts a new line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace folioscan {

// The paragraphs of a cell whose lines are apart by line feeds: each line joins the one
// before it as a paragraph's lines join (with a space, or without the hyphen of a word
// broken at the line end), except a line that starts with a bullet or an enumerator,
// which starts a paragraph of its own. A cell without a line feed is one paragraph.
std::vector<std::string> cell_paragraphs(std::string_view text);

// Appends a recovered cell's paragraphs to `out`, each through `append` (the writer's
// escaping), apart by "<br>". A cell of one line goes through as it is, uncopied.
void append_cell_paragraphs(std::string& out, std::string_view text, void (*append)(std::string&, std::string_view));

}  // namespace folioscan
