#include "values/plist_value.h"

#include "values/scalars.h"

namespace sim::values {
namespace {

constexpr int kMaxDepth = 32;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
         c == ':' || c == '+' || c == '-' || c == '/';
}

// A recursive-descent reader of the literal syntax; every error names the column it was found at.
class Reader {
 public:
  explicit Reader(const std::string& text) : s_(text) {}

  std::string whole(Value* out) {
    std::string problem = value(out, 0);
    if (!problem.empty()) return problem;
    skipBlanks();
    if (at_ < s_.size()) return error("unexpected '" + std::string(1, s_[at_]) + "' after the value");
    return {};
  }

 private:
  std::string error(const std::string& what) const { return "column " + std::to_string(at_ + 1) + ": " + what; }

  void skipBlanks() {
    while (at_ < s_.size() && isBlank(s_[at_])) ++at_;
  }

  // `depth`: the arrays and dictionaries around this value. At most kMaxDepth may nest.
  std::string value(Value* out, int depth) {
    skipBlanks();
    if (at_ >= s_.size()) return error("a value is missing");
    char c = s_[at_];
    if ((c == '(' || c == '{') && depth >= kMaxDepth)
      return error("nested deeper than " + std::to_string(kMaxDepth) + " levels");
    if (c == '(') return array(out, depth);
    if (c == '{') return dict(out, depth);
    if (c == '<') return data(out);
    if (c == '"') {
      out->kind = Value::String;
      return quoted(&out->bytes);
    }
    if (isWordChar(c)) return word(out);
    return error("'" + std::string(1, c) + "' cannot start a value");
  }

  std::string array(Value* out, int depth) {
    out->kind = Value::Array;
    ++at_;  // (
    for (;;) {
      skipBlanks();
      if (at_ < s_.size() && s_[at_] == ')') break;
      Value item;
      std::string problem = value(&item, depth + 1);
      if (!problem.empty()) return problem;
      out->items.push_back(std::move(item));
      skipBlanks();
      if (at_ < s_.size() && s_[at_] == ',') {
        ++at_;
        continue;
      }
      if (at_ < s_.size() && s_[at_] == ')') break;
      return error("expected ',' or ')' in an array");
    }
    ++at_;  // )
    return {};
  }

  std::string dict(Value* out, int depth) {
    out->kind = Value::Dict;
    ++at_;  // {
    for (;;) {
      skipBlanks();
      if (at_ >= s_.size()) return error("expected '}' to close a dictionary");
      if (s_[at_] == '}') break;
      std::string key;
      if (s_[at_] == '"') {
        std::string problem = quoted(&key);
        if (!problem.empty()) return problem;
      } else {
        size_t start = at_;
        while (at_ < s_.size() && isWordChar(s_[at_])) ++at_;
        if (at_ == start) return error("expected a key or '}' in a dictionary");
        key = s_.substr(start, at_ - start);
      }
      for (const auto& entry : out->entries)
        if (entry.first == key) return error("the key " + key + " appears twice");
      skipBlanks();
      if (at_ >= s_.size() || s_[at_] != '=') return error("expected '=' after the key " + key);
      ++at_;
      Value item;
      std::string problem = value(&item, depth + 1);
      if (!problem.empty()) return problem;
      out->entries.emplace_back(std::move(key), std::move(item));
      skipBlanks();
      if (at_ < s_.size() && s_[at_] == ';') {
        ++at_;
        continue;
      }
      if (at_ < s_.size() && s_[at_] == '}') break;
      return error("expected ';' or '}' in a dictionary");
    }
    ++at_;  // }
    return {};
  }

  std::string data(Value* out) {
    size_t close = s_.find('>', at_);
    if (close == std::string::npos) return error("expected '>' to close data");
    out->kind = Value::Data;
    std::string problem = parseHexDigits(s_.substr(at_ + 1, close - at_ - 1), &out->bytes);
    if (!problem.empty()) return error(problem);
    at_ = close + 1;
    return {};
  }

  std::string quoted(std::string* text) {
    ++at_;  // "
    text->clear();
    while (at_ < s_.size()) {
      char c = s_[at_++];
      if (c == '"') return {};
      if (c != '\\') {
        *text += c;
        continue;
      }
      if (at_ >= s_.size()) break;
      char e = s_[at_++];
      switch (e) {
        case '"': *text += '"'; break;
        case '\\': *text += '\\'; break;
        case 'n': *text += '\n'; break;
        case 't': *text += '\t'; break;
        case 'r': *text += '\r'; break;
        default: --at_; return error("unknown escape \\" + std::string(1, e) + " (use \\\" \\\\ \\n \\t \\r)");
      }
    }
    return error("unclosed quote");
  }

  std::string word(Value* out) {
    size_t start = at_;
    while (at_ < s_.size() && isWordChar(s_[at_])) ++at_;
    std::string w = s_.substr(start, at_ - start);
    if (parseBoolWord(w, &out->boolean)) {
      out->kind = Value::Bool;
      return {};
    }
    if (looksLikeDate(w)) {
      out->kind = Value::Date;
      std::string problem = parseDateWord(w, &out->number);
      if (problem.empty()) return {};
      at_ = start;
      return error(problem);
    }
    if (parseIntegerWord(w, &out->integer)) {
      out->kind = Value::Integer;
      return {};
    }
    if (parseRealWord(w, &out->number)) {
      out->kind = Value::Real;
      return {};
    }
    at_ = start;
    return error("'" + w + "' is not true, false, a number or a date: write text in \"quotes\"");
  }

  const std::string& s_;
  size_t at_ = 0;
};

}  // namespace

const char* typeName(Value::Kind kind) {
  switch (kind) {
    case Value::Bool: return "bool";
    case Value::Integer: return "int";
    case Value::Real: return "real";
    case Value::String: return "string";
    case Value::Date: return "date";
    case Value::Data: return "data";
    case Value::Array: return "array";
    case Value::Dict: return "dict";
  }
  return "string";
}

bool kindNamed(const std::string& word, Value::Kind* kind) {
  for (Value::Kind k : {Value::Bool, Value::Integer, Value::Real, Value::String, Value::Date, Value::Data,
                        Value::Array, Value::Dict}) {
    if (word == typeName(k)) {
      *kind = k;
      return true;
    }
  }
  return false;
}

const char* typeList() { return "bool, int, real, string, date, data, array or dict"; }

std::string parseLiteral(const std::string& text, Value* out) {
  *out = Value{};
  return Reader(text).whole(out);
}

std::string parseTyped(Value::Kind kind, const std::string& text, Value* out) {
  *out = Value{};
  out->kind = kind;
  switch (kind) {
    case Value::Bool:
      return parseBoolWord(text, &out->boolean) ? "" : "'" + text + "' is not a bool (true or false)";
    case Value::Integer:
      return parseIntegerWord(text, &out->integer) ? "" : "'" + text + "' is not a 64-bit integer";
    case Value::Real: return parseRealWord(text, &out->number) ? "" : "'" + text + "' is not a real number";
    case Value::String: out->bytes = text; return {};
    case Value::Date: return parseDateWord(text, &out->number);
    case Value::Data: return parseDataWord(text, &out->bytes);
    case Value::Array:
    case Value::Dict: {
      std::string problem = parseLiteral(text, out);
      if (!problem.empty()) return "'" + text + "' is not " + (kind == Value::Array ? "an array" : "a dict") + ": " + problem;
      if (out->kind != kind)
        return "'" + text + "' is not " + (kind == Value::Array ? "an array: write (ITEM, ...)" : "a dict: write {KEY = VALUE; ...}");
      return {};
    }
  }
  return "no such type";
}

}  // namespace sim::values
