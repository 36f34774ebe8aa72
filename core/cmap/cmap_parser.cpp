// The embedded CMap reader: walks the stream with the object parser, keeps the blocks
// and definitions a code -> CID map needs, resolves usecmap through the predefined
// tables or the caller's lookup, and reads over everything else.
#include "cmap_parser.h"

#include <string>
#include <utility>
#include <vector>

#include "../cos/parser.h"
#include "../lex.h"
#include "cmap_limits.h"
#include "predefined.h"

namespace folioscan::cmap {
namespace {

bool starts_object(std::uint8_t b) {
  switch (b) {
    case '(': case '+': case '-': case '.': case '/': case '<': case '[':
      return true;
    default:
      return b >= '0' && b <= '9';
  }
}

std::string text_of(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// The CMaps being read, outermost first, and what the whole parse left out.
struct ParseContext {
  const CMapParseOptions& options;
  std::vector<std::string> reading;  // names of the used CMaps being read
  CMapNotes notes;
};

enum class Block { Codespace, CidRange, CidChar, NotdefRange, NotdefChar };

class CMapReader {
 public:
  CMapReader(ByteView data, ParseContext& context) : lexer_(data), context_(context) {}

  CodeMap read(const CodeMap* base) {
    if (base != nullptr) include(*base);
    for (;;) {
      lexer_.skip_whitespace();
      if (lexer_.at_end()) break;
      if (builder_.full()) {
        context_.notes.entries_capped = true;
        break;
      }
      const std::size_t start = lexer_.pos();
      if (starts_object(lexer_.peek())) {
        auto object = parse_object(lexer_);
        ensure_progress(start);
        key_ = std::move(value_);
        value_ = object ? std::optional<Object>(std::move(*object)) : std::nullopt;
        continue;
      }
      const std::string_view keyword = lexer_.read_regular();
      if (keyword.empty()) {
        lexer_.set_pos(start + 1);  // a stray delimiter
      } else if (keyword == "def") {
        define();
      } else if (keyword == "usecmap") {
        use();
      } else if (keyword == "begincodespacerange") {
        read_block(Block::Codespace);
      } else if (keyword == "begincidrange") {
        read_block(Block::CidRange);
      } else if (keyword == "begincidchar") {
        read_block(Block::CidChar);
      } else if (keyword == "beginnotdefrange") {
        read_block(Block::NotdefRange);
      } else if (keyword == "beginnotdefchar") {
        read_block(Block::NotdefChar);
      }
      // Operands belong to the keyword that follows them, whatever it was.
      key_.reset();
      value_.reset();
    }
    return builder_.finish(std::move(header_));
  }

 private:
  // "/Key value def" at the top level or inside the /CIDSystemInfo dictionary's
  // "begin ... end".
  void define() {
    if (!key_ || !value_) return;
    const Name* key = key_->as_name();
    if (key == nullptr) return;
    if (key->text == "WMode") {
      if (const std::int64_t* mode = value_->as_integer()) {
        header_.vertical = *mode == 1;
        own_wmode_ = true;
      }
    } else if (key->text == "CMapName") {
      if (const Name* name = value_->as_name()) {
        header_.name = name->text;
        own_name_ = true;
      }
    } else if (key->text == "CIDSystemInfo") {
      const Dictionary* dict = value_->as_dict();
      if (const Array* list = value_->as_array(); list != nullptr && !list->empty()) dict = list->front().as_dict();
      if (dict != nullptr) {
        for (const char* field : {"Registry", "Ordering", "Supplement"}) {
          if (const Object* v = dict->lookup(field)) define_system(field, *v);
        }
      }
    } else {
      define_system(key->text, *value_);
    }
  }

  void define_system(std::string_view key, const Object& value) {
    if (key == "Registry" || key == "Ordering") {
      const String* s = value.as_string();
      if (s == nullptr) return;
      (key == "Registry" ? header_.system.registry : header_.system.ordering) = text_of(s->bytes);
      own_system_ = true;
    } else if (key == "Supplement") {
      if (const std::int64_t* n = value.as_integer()) {
        header_.system.supplement = *n;
        own_system_ = true;
      }
    }
  }

  // "/Name usecmap": the first one counts. Its entries go beneath the ones read after
  // it; header values this CMap has not defined come from it.
  void use() {
    CMapNotes& notes = context_.notes;
    const Name* name = value_ ? value_->as_name() : nullptr;
    if (name == nullptr) return;
    if (used_) {
      notes.use_ignored = true;
      return;
    }
    used_ = true;
    if (auto predefined = predefined_cmap(name->text)) {
      include(*predefined);
      return;
    }
    for (const std::string& open : context_.reading) {
      if (open == name->text) {
        notes.use_loop = true;
        return;
      }
    }
    if (context_.reading.size() >= limits::kMaxUseCMapDepth) {
      notes.use_too_deep = true;
      return;
    }
    std::optional<Bytes> bytes;
    if (context_.options.lookup) bytes = context_.options.lookup(name->text);
    if (!bytes) {
      notes.use_unresolved = true;
      return;
    }
    context_.reading.push_back(name->text);
    const CodeMap used = CMapReader(*bytes, context_).read(nullptr);
    context_.reading.pop_back();
    include(used);
  }

  void include(const CodeMap& base) {
    builder_.include(base);
    if (builder_.full()) context_.notes.entries_capped = true;
    if (!own_name_) header_.name = base.name;
    if (!own_system_) header_.system = base.system;
    if (!own_wmode_) header_.vertical = base.vertical;
    header_.code_text = base.code_text;
  }

  // Entries start with a string; the first other token ends the block, and a closing
  // keyword ("end...") after the entries is read over.
  void read_block(Block block) {
    for (;;) {
      lexer_.skip_whitespace();
      if (lexer_.at_end() || (lexer_.peek() != '<' && lexer_.peek() != '(')) break;
      if (builder_.full()) {
        context_.notes.entries_capped = true;
        return;
      }
      const std::size_t start = lexer_.pos();
      if (!read_entry(block)) ++context_.notes.skipped_entries;
      ensure_progress(start);
    }
    lexer_.skip_whitespace();
    const std::size_t before = lexer_.pos();
    if (!lexer_.read_regular().starts_with("end")) lexer_.set_pos(before);
  }

  bool read_entry(Block block) {
    const auto low = read_string();
    const auto high = block == Block::CidChar || block == Block::NotdefChar ? low : read_string();
    if (block == Block::Codespace) {
      if (!low || !high) return false;
      if (builder_.codespace_full()) {
        context_.notes.codespace_capped = true;
        return true;
      }
      return builder_.add_codespace(*low, *high);
    }
    const auto cid = read_integer();
    if (!low || !high || !cid) return false;
    const bool notdef = block == Block::NotdefRange || block == Block::NotdefChar;
    return builder_.add_cids(*low, *high, *cid, notdef);
  }

  // One object, kept when it is a string. Strings and numbers, nearly every token of a
  // large CMap, are read by the lexer directly rather than as objects.
  std::optional<Bytes> read_string() {
    lexer_.skip_whitespace();
    if (!lexer_.at_end() && lexer_.peek() == '<' && !next_is('<')) {
      auto bytes = lexer_.read_hex_string();
      return bytes ? std::optional<Bytes>(std::move(*bytes)) : std::nullopt;
    }
    if (!lexer_.at_end() && lexer_.peek() == '(') {
      auto bytes = lexer_.read_literal_string();
      return bytes ? std::optional<Bytes>(std::move(*bytes)) : std::nullopt;
    }
    (void)parse_object(lexer_);
    return std::nullopt;
  }

  std::optional<std::int64_t> read_integer() {
    lexer_.skip_whitespace();
    if (lexer_.at_end()) return std::nullopt;
    const std::uint8_t b = lexer_.peek();
    if ((b >= '0' && b <= '9') || b == '+' || b == '-' || b == '.') {
      const auto number = lexer_.read_number();
      if (!number) return std::nullopt;
      if (const std::int64_t* n = std::get_if<std::int64_t>(&*number)) return *n;
      return std::nullopt;
    }
    const auto object = parse_object(lexer_);
    if (!object) return std::nullopt;
    if (const std::int64_t* n = object->as_integer()) return *n;
    return std::nullopt;
  }

  bool next_is(std::uint8_t b) const {
    const ByteView data = lexer_.data();
    return lexer_.pos() + 1 < data.size() && data[lexer_.pos() + 1] == b;
  }

  void ensure_progress(std::size_t start) {
    if (lexer_.pos() <= start) lexer_.set_pos(start + 1);
  }

  Lexer lexer_;
  ParseContext& context_;
  CodeMapBuilder builder_;
  CodeMap header_;
  bool own_name_ = false;
  bool own_system_ = false;
  bool own_wmode_ = false;
  bool used_ = false;
  // The last two objects before a keyword: "/WMode 1 def", "/Name usecmap".
  std::optional<Object> key_;
  std::optional<Object> value_;
};

}  // namespace

ParsedCMap parse_cmap(ByteView data, const CMapParseOptions& options) {
  ParseContext context{options, {}, {}};
  ParsedCMap parsed;
  parsed.map = CMapReader(data, context).read(options.base);
  parsed.notes = context.notes;
  return parsed;
}

}  // namespace folioscan::cmap
