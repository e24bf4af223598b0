#include "core/document.h"

#include <cstddef>
#include <exception>
#include <new>
#include <utility>
#include <vector>

namespace deskcap {
namespace {

constexpr size_t kMaxDepth = 128;

// Builds the value tree from SAX events with an explicit stack, so that neither
// building nor the depth limit recurses. Stops at the first level past kMaxDepth.
class TreeBuilder : public nlohmann::json_sax<Json> {
 public:
  explicit TreeBuilder(Json* root) : root_(root) {}

  bool null() override { return put(nullptr); }
  bool boolean(bool value) override { return put(value); }
  bool number_integer(number_integer_t value) override { return put(value); }
  bool number_unsigned(number_unsigned_t value) override { return put(value); }
  bool number_float(number_float_t value, const string_t&) override { return put(value); }
  bool string(string_t& value) override { return put(std::move(value)); }
  bool binary(binary_t& value) override { return put(std::move(value)); }

  bool start_object(std::size_t) override { return open(Json::object()); }
  bool key(string_t& name) override {
    slot_ = &(*stack_.back())[name];
    return true;
  }
  bool end_object() override { return close(); }
  bool start_array(std::size_t) override { return open(Json::array()); }
  bool end_array() override { return close(); }

  bool parse_error(std::size_t position, const std::string&,
                   const nlohmann::detail::exception& failure) override {
    error_position_ = position;
    error_text_ = failure.what();
    return false;
  }

  bool too_deep() const { return too_deep_; }
  size_t error_position() const { return error_position_; }
  const std::string& error_text() const { return error_text_; }

 private:
  template <class V>
  Json* place(V&& value) {
    if (stack_.empty()) {
      *root_ = Json(std::forward<V>(value));
      return root_;
    }
    Json* parent = stack_.back();
    if (parent->is_array()) {
      parent->emplace_back(std::forward<V>(value));
      return &parent->back();
    }
    *slot_ = Json(std::forward<V>(value));
    return slot_;
  }
  template <class V>
  bool put(V&& value) {
    place(std::forward<V>(value));
    return true;
  }
  bool open(Json container) {
    if (stack_.size() >= kMaxDepth) {
      too_deep_ = true;
      return false;
    }
    stack_.push_back(place(std::move(container)));
    return true;
  }
  bool close() {
    stack_.pop_back();
    return true;
  }

  Json* root_;
  std::vector<Json*> stack_;
  Json* slot_ = nullptr;
  bool too_deep_ = false;
  size_t error_position_ = 0;
  std::string error_text_;
};

// "line L, column C" (1-based, columns in bytes) of the byte at `index`.
std::string line_and_column(const std::string& text, size_t index) {
  if (index > text.size()) index = text.size();
  size_t line = 1, line_start = 0;
  for (size_t i = 0; i < index; ++i)
    if (text[i] == '\n') {
      ++line;
      line_start = i + 1;
    }
  return "line " + std::to_string(line) + ", column " + std::to_string(index - line_start + 1);
}

// Offset of the bracket that opens level kMaxDepth + 1. Only called once the
// parser has accepted everything before it, so strings are well formed there.
size_t too_deep_offset(const std::string& text) {
  size_t depth = 0;
  bool in_string = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (in_string) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        in_string = false;
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxDepth) return i;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return text.size();
}

// The parser's text is "[json.exception.<kind>] parse error at line.., column..: <what>"
// or "[json.exception.<kind>] <what>"; keep <what> and split off its category.
std::string describe(const std::string& text, const std::string& library_text,
                     size_t position) {
  // The parser's position is just past the last byte it read: the offending one.
  std::string where = line_and_column(text, position > 0 ? position - 1 : 0);
  std::string what = library_text;
  if (what.rfind("[json.exception.", 0) == 0) {
    size_t end = what.find("] ");
    if (end != std::string::npos) what.erase(0, end + 2);
  }
  if (what.rfind("parse error", 0) == 0) {
    size_t colon = what.find(": ");
    if (colon != std::string::npos) what.erase(0, colon + 2);
  }
  const std::string syntax = "syntax error ";
  if (what.rfind(syntax, 0) == 0) {
    size_t dash = what.find(" - ");
    std::string detail = dash == std::string::npos ? what.substr(syntax.size()) : what.substr(dash + 3);
    return "syntax error at " + where + ": " + detail;
  }
  if (what.rfind("number overflow", 0) == 0) return "number out of range at " + where + ": " + what;
  return "parse error at " + where + ": " + what;
}

}  // namespace

Result<Json> parse_document(const std::string& text, const std::string& prefix) {
  try {
    Json root;
    TreeBuilder builder(&root);
    // The parser takes a NUL outside strings for the end of the input; here it
    // is a byte like any other that may not follow the value.
    size_t nul = text.find('\0');
    bool parsed = Json::sax_parse(text, &builder, Json::input_format_t::json, /*strict=*/true);
    if (parsed && nul == std::string::npos) return root;
    bool stopped_at_nul =
        nul != std::string::npos &&
        (parsed || (!builder.too_deep() && builder.error_position() == nul + 1 &&
                    builder.error_text().find("unexpected end of input") != std::string::npos));
    if (stopped_at_nul)
      return Error(Status::GenericFailure,
                   prefix + "syntax error at " + line_and_column(text, nul) + ": unexpected NUL byte");
    if (builder.too_deep())
      return Error(Status::GenericFailure,
                   prefix + "nesting too deep at " + line_and_column(text, too_deep_offset(text)) +
                       ": more than " + std::to_string(kMaxDepth) + " levels");
    return Error(Status::GenericFailure,
                 prefix + describe(text, builder.error_text(), builder.error_position()));
  } catch (const std::bad_alloc&) {
    return Error(Status::GenericFailure, prefix + "out of memory");
  } catch (const std::exception& failure) {
    return Error(Status::GenericFailure, prefix + failure.what());
  }
}

const Json& field(const Json& document, const char* key) {
  static const Json& none = *new Json();
  if (!document.is_object()) return none;
  auto it = document.find(key);
  return it == document.end() ? none : *it;
}

double number_field(const Json& document, const char* key) {
  const Json& value = field(document, key);
  return value.is_number() ? value.get<double>() : 0.0;
}

std::string text_field(const Json& document, const char* key) {
  const Json& value = field(document, key);
  return value.is_string() ? value.get<std::string>() : std::string();
}

}  // namespace deskcap
