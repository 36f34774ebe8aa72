// The extraction result: plain records owned outright. Member order is the output
// order of every writer (JSON keys, Python dict keys) and must not change.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace folioscan {

struct TextLine {
  std::string text;
  double x = 0.0;
  double y = 0.0;
};

// A cell that covers more than one grid position: its top-left position and its extent.
// The positions it covers besides its own hold empty strings.
struct CellSpan {
  std::uint64_t row = 0;
  std::uint64_t col = 0;
  std::uint64_t rows = 1;
  std::uint64_t cols = 1;
};

struct Table {
  std::uint64_t rows = 0;
  std::uint64_t cols = 0;
  std::vector<std::vector<std::string>> cells;
  // Recovery only, written only when set: the table's box in page space (x0, y0, x1,
  // y1), and its cells that span several rows or columns. A table with a box takes its
  // place among the page's blocks, and the text inside the box leaves the lines.
  std::optional<std::array<double, 4>> bbox = std::nullopt;
  std::vector<CellSpan> spans = {};
};

enum class BlockType : std::uint8_t { Heading, Paragraph, ListItem, Table, Image };

std::string_view block_type_name(BlockType type);

// One piece of a recovered page in reading order: a heading, a paragraph, a list item,
// a table or an image, with its box (x0, y0, x1, y1 in page space). `level` is set for
// headings (1 outermost) and list items (1 for the outermost list).
struct Block {
  BlockType type = BlockType::Paragraph;
  std::string text;
  std::array<double, 4> bbox{};
  std::optional<std::uint32_t> level;
  // A table block's index in the page's `tables`: the writers place that table here,
  // and the dict and JSON give it as "table".
  std::optional<std::uint32_t> table;
  // An image block's index in the page's `images`, given as "image".
  std::optional<std::uint32_t> image;
  // A numbered list item ("1.", "a)"): Markdown and HTML write an ordered list. Not
  // written itself.
  bool ordered = false;
};

enum class ImageFormat : std::uint8_t { Jpeg, Jpeg2000, Ccitt, Jbig2, Raw };

std::string_view image_format_name(ImageFormat format);

struct ParsedImage {
  std::string name;
  ImageFormat format = ImageFormat::Raw;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t bits_per_component = 0;
  std::string color_space;
};

struct Page {
  double width = 0.0;
  double height = 0.0;
  std::vector<TextLine> lines;
  // Recovery only: the page's structure in reading order; the strict reading has none,
  // and its outputs carry no such member.
  std::optional<std::vector<Block>> blocks;
  bool needs_ocr = false;
  std::vector<Table> tables;
  std::vector<ParsedImage> images;
};

// One repair made by a reading that recovers: the page it concerns (none for the
// document) and the display text of the error that the strict reading would have raised.
struct Warning {
  std::optional<std::uint32_t> page;
  std::string message;
};

struct Document {
  std::string version;
  std::vector<Page> pages;
  // Only a recovering reading reports repairs (an empty list when none was needed);
  // the strict reading has none, and its outputs carry no such member.
  std::optional<std::vector<Warning>> warnings;
};

// The texts of the page's lines joined with one line feed.
std::string page_text(const Page& page);

}  // namespace folioscan
