// Property-list values as scenarios write them: `set KEY TYPE VALUE` and `fallback set KEY TYPE VALUE`.
//
// Scalars are one word: bool (true/false/yes/no), int (64-bit), real, string, date (ISO 8601:
// 2024-05-01, 2024-05-01T12:30:00Z, 2024-05-01T14:30:00.5+02:00; no zone means UTC) and data (hex digits,
// blanks allowed, optionally in <...>; or base64:TEXT). Arrays and dictionaries are written in the
// old-style property-list text syntax, with typed bare words:
//
//   (1, -2, 0.5, true, "text", <0a1b>, 2024-05-01T12:00:00Z, (nested), {key = value;})
//   {enabled = true; "key with blanks" = 6; list = (1, 2); empty = {}}
//
// Inside a literal, text must be quoted ("\"", "\\", "\n" and "\t" escapes); a bare word is a boolean, a
// number or a date, else an error (so a mistyped value is never silently stored as text). Dictionary
// keys may be bare. Nesting is limited to 32 levels.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace sim::values {

struct Value {
  enum Kind { Bool, Integer, Real, String, Date, Data, Array, Dict };
  Kind kind = Bool;
  bool boolean = false;
  long long integer = 0;
  double number = 0;  // Real; for Date, seconds since 2001-01-01 00:00:00 UTC
  std::string bytes;  // String (UTF-8) or Data
  std::vector<Value> items;                            // Array
  std::vector<std::pair<std::string, Value>> entries;  // Dict, in the order written
};

// "bool", "int", "real", "string", "date", "data", "array", "dict".
const char* typeName(Value::Kind kind);
// The kind a TYPE word names; false for any other word.
bool kindNamed(const std::string& word, Value::Kind* kind);
// The TYPE words, for messages: "bool, int, real, string, date, data, array or dict".
const char* typeList();

// Reads `text` as a value of `kind`: for arrays and dictionaries the literal syntax above, for the
// others one word (string: the text as it is). "" on success, else what is wrong.
std::string parseTyped(Value::Kind kind, const std::string& text, Value* out);

// Reads one literal value (the syntax inside arrays and dictionaries) filling all of `text`.
std::string parseLiteral(const std::string& text, Value* out);

}  // namespace sim::values
