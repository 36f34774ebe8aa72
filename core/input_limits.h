// The named limits (namespace limits): every bound put on sizes, depths and work that
// untrusted files decide, in one place. Each is far above what real documents need and
// far below what would hurt.
#pragma once

#include <cstddef>
#include <cstdint>

namespace folioscan::limits {

// ---- objects and file structure ----

// Arrays and dictionaries nest by recursion; 100,000 "[" must be an error, not a
// stack overflow. Real files nest a handful of levels.
inline constexpr int kMaxNestingDepth = 256;

// Loads that start other loads (an indirect /Length, an object stream's own object)
// nest by recursion; a chain of such objects must not exhaust the stack.
inline constexpr std::size_t kMaxLoadNesting = 64;

// Stream data loaded from the file is a copy of file bytes. Streams of a sound file do
// not overlap, so together they copy at most the file once; a stream whose end must be
// searched for and is never found runs to the end of the file, and N of them would copy
// it N times (a 1 MB file, 25 GB). Past this many times the file size a load fails.
inline constexpr std::uint64_t kMaxStreamCopiesOfFile = 4;

// Cross-reference entries of one file (and of one cross-reference stream). Writers are
// told to stay below 8,388,607 objects; a compressed stream of one-byte records could
// otherwise ask for a billion table entries (tens of gigabytes) from a few kilobytes.
inline constexpr std::uint64_t kMaxXrefEntries = std::uint64_t{1} << 23;

// Bytes of an object's leading dictionary (or a trailer's) that a cross-reference
// rebuild parses. The scan parses every object in the file, not only the ones a page
// asks for, so a huge array inside one dictionary would otherwise be expanded to
// parsed objects (tens of bytes each) even when nothing needs it. Catalogs, object
// stream and cross-reference stream dictionaries and trailers are a few hundred bytes.
inline constexpr std::size_t kMaxRepairDictionaryBytes = std::size_t{1} << 20;

// Page tree depth: nodes at this depth are still walked, deeper ones fail.
inline constexpr int kMaxPageTreeDepth = 64;

// ---- stream decoding ----

// Bound on the decoded output of one stream (and of each filter stage), so that a
// small "zip bomb" cannot exhaust memory. Generous enough for any real stream.
inline constexpr std::uint64_t kMaxDecodedBytes = std::uint64_t{1} << 30;

// Decoded object streams stay cached for the whole call; together they are bounded
// like one decoded stream, so that many small bombs cannot each keep a gigabyte.
inline constexpr std::uint64_t kMaxCachedObjectStreamBytes = kMaxDecodedBytes;

// DEFLATE output held in memory before the decoder stops keeping it and only measures
// the stream (then decodes it again into a buffer of its exact size). A bomb aimed past
// kMaxDecodedBytes thus fails holding at most this much instead of a whole gigabyte.
inline constexpr std::uint64_t kMaxInflateHeldBytes = std::uint64_t{64} << 20;

// LZW table entries: codes above 4095 cannot be read, so entries past that are dead.
inline constexpr std::size_t kMaxLzwEntries = 4096;

// ---- page content and tables ----

// Warnings kept per call: a hostile file can fail the same way millions of times; the
// first ones say what happened.
inline constexpr std::size_t kMaxWarnings = 1000;

// Page content interpreted in one call, over all pages: one stream's bound plus this
// many times the file size. Pages may all name one large content stream (10,000 pages
// of a 1 GiB stream would be 10 TiB to interpret); real documents, even with content
// shared by every page, stay far below.
inline constexpr std::uint64_t kMaxContentBytesPerCall = kMaxDecodedBytes;
inline constexpr std::uint64_t kMaxContentBytesPerFileByte = 64;

// Operands pending before one operator. Real operators take at most a few dozen
// (a TJ array is one operand); garbage without operators must not pile up.
inline constexpr std::size_t kMaxPendingOperands = 4096;

// Saved CTMs beyond this depth are counted, not stored: 10 million "q" must not
// allocate 10 million matrices. Real content nests a few dozen levels.
inline constexpr std::size_t kMaxCtmStack = 4096;

// Entries of an inline image's dictionary that recovery reads while it looks for the
// image's end: real ones hold a handful.
inline constexpr int kMaxInlineImageEntries = 64;

// Levels of a form field's /Parent chain searched for an inherited entry, so that a
// parent loop ends. Real forms nest a few levels.
inline constexpr int kMaxFieldDepth = 32;

// Forms painted inside forms (and an annotation's appearance inside it): deeper
// paintings are skipped. Real files nest a few levels; a chain of thousands of forms
// must neither recurse that deep nor take time for each.
inline constexpr std::size_t kMaxFormDepth = 12;

// Form content interpreted for one page, counting each painting of a form. A few forms
// that each paint the next many times multiply; past this the page paints no more
// forms. Real pages, even maps painting one symbol thousands of times, stay far below.
inline constexpr std::uint64_t kMaxFormBytesPerPage = std::uint64_t{64} << 20;
// Form content interpreted in one call, over all pages: the page's bound plus this many
// times the file size. Every page may paint the same expensive forms; a letterhead form
// on each of a thousand pages stays far below.
inline constexpr std::uint64_t kMaxFormBytesPerCall = kMaxFormBytesPerPage;
inline constexpr std::uint64_t kMaxFormBytesPerFileByte = 64;
// Each painting costs at least this much of that budget, so that paintings of tiny
// forms are bounded in number as well as in bytes (about 260,000 a page).
inline constexpr std::uint64_t kMinFormPaintingCost = 256;

// Replacement text (marked content's /ActualText) handed to runs in one call: this
// plus this many times the file size. One long string named by every span of every page
// would otherwise put a copy in each run (a kilobyte file, gigabytes of runs); tagged
// documents that replace every word stay far below. Past it, spans show their glyphs.
inline constexpr std::uint64_t kMaxReplacementBytesPerCall = std::uint64_t{64} << 20;
inline constexpr std::uint64_t kMaxReplacementBytesPerFileByte = 64;

// Cells of the one ruled table a page can yield (rows × cols). Every distinct rule
// position adds a row or column, so a page of scattered strokes could ask for billions
// of empty cells; such a page gets no table. Real tables have at most a few thousand.
inline constexpr std::uint64_t kMaxTableCells = std::uint64_t{1} << 20;
// Recovery's rule segments kept per page: a table page draws hundreds; a page of
// hatching or a plot of a million points draws more, and past this its rules are not
// searched for tables. Crossing rules are paired, so the bound also bounds that work.
inline constexpr std::size_t kMaxRuleSegments = 10000;
// Horizontal rules a page may have for tables framed by rules alone to be looked for
// (each is compared with the rules below it).
inline constexpr std::size_t kMaxFrameRules = 1000;
// Lines of one rule-less block whose chunks are cut again where the block's columns
// start (each cut is checked against the starts of the other lines); a longer block
// keeps its chunks. Real tables are far shorter.
inline constexpr std::size_t kMaxColumnCutLines = 1000;

// ---- fonts ----

// Composite fonts read two-byte codes, so a /W width for a code above 0xFFFF can
// never be looked up; ranges are clipped there instead of walked to 4 billion.
inline constexpr std::uint32_t kMaxFontCode = 0xFFFF;

// Bytes (roughly counted) of parsed fonts kept across pages. Fonts are re-read when the
// cache is full, so this bounds memory without limiting what a document may hold.
inline constexpr std::size_t kMaxFontCacheBytes = std::size_t{64} << 20;

// Glyph ids of TrueType and CFF programs are 16-bit; tables by glyph never grow past this.
inline constexpr std::uint32_t kMaxGlyphs = 65536;

// Mappings one cmap subtable may yield when read: every 16-bit code once, plus 16 per
// byte of the table. Sound tables stay far below; overlapping segments or groups that
// each claim the whole glyph range (a few bytes each) would otherwise cost billions.
inline constexpr std::uint64_t kCmapStepsBase = 65536;
inline constexpr std::uint64_t kCmapStepsPerByte = 16;
// Zero bytes cost nothing to store compressed, so a table's size alone grants a padded
// table any number of steps. Whatever its size, a subtable gets no more steps than its
// code space can hold mappings and records: format 4 maps 65,536 codes in at most
// 32,768 segments, format 12 at most 0x110000 code points in as many groups.
inline constexpr std::uint64_t kCmapSegmentSteps = 0x10000 + 0x8000;
inline constexpr std::uint64_t kCmapGroupSteps = 2 * 0x110000;

// Operands of one CFF DICT operator: the format allows 48.
inline constexpr std::size_t kMaxCffOperands = 48;

// Embedded font programs read for text in recovery: one decoded program above the
// first bound is not read, and once the decoded programs of a call pass the second, no
// further one is decoded. Real programs are a few megabytes at most.
inline constexpr std::uint64_t kMaxFontProgramBytes = std::uint64_t{64} << 20;
inline constexpr std::uint64_t kMaxFontProgramBytesPerCall = std::uint64_t{512} << 20;

// Bytes (roughly counted) of the tables read from font programs and kept for a call;
// programs past it are not read, so a file of many tiny programs that each claim 65,536
// glyphs cannot hold gigabytes.
inline constexpr std::uint64_t kMaxFontProgramTableBytes = std::uint64_t{64} << 20;

// Glyph names are cut into at most this many "_" parts; a longer chain says nothing.
inline constexpr std::size_t kMaxLigatureParts = 16;

// A recovered page's structure: the reading order cuts regions at most this deep (each
// level removes at least one item, but a hostile page could still nest deeply; past it
// a region is read row by row); a row's white stretches kept for comparing with later
// rows are the widest this many; a layout line is split into at most this many
// baselines (more happen only on a hostile page).
inline constexpr int kMaxCutDepth = 64;
inline constexpr std::size_t kMaxFreeStretches = 32;
inline constexpr std::size_t kMaxBaselines = 32;
// At most this many figures of a page take part in its cuts (a page of thousands of
// image tiles leaves the rest out); a page of more pieces than this keeps its raised
// marks apart (each mark is compared with the pieces within reach below it); pages of
// more blocks than this keep the order of their notes (each run of small text is
// compared with every block, once per move, which grows with the cube).
inline constexpr std::size_t kMaxFigureObstacles = 64;
inline constexpr std::size_t kMaxMarkPieces = 5000;
inline constexpr std::size_t kMaxNoteBlocks = 300;

// Recovery keeps where at most this many images were painted on a page (a tiled
// pattern of a million "Do" places no more).
inline constexpr std::size_t kMaxImagePlacements = 1024;

}  // namespace folioscan::limits
