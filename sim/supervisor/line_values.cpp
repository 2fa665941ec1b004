// The values scenario lines carry: what `set` and `fallback set` write, and the host files lines name.
#include <filesystem>

#include "supervisor/commands.h"
#include "values/scalars.h"

namespace sim {

std::string setValueOf(const ScenarioLine& line, size_t keyIndex, SetValue* value) {
  using values::Value;
  value->key = line.words[keyIndex];
  size_t count = line.words.size() - keyIndex - 1;
  if (count == 1) {
    // Without a type: quoted text, a bool, or a number (a '.' makes it real).
    const std::string& word = line.words[keyIndex + 1];
    value->text = word;
    bool boolean = false;
    long long integer = 0;
    double real = 0;
    Value::Kind ignored;
    if (!line.quoted[keyIndex + 1] && values::kindNamed(word, &ignored)) return "a value is missing after the type " + word;
    if (line.quoted[keyIndex + 1]) value->kind = Value::String;
    else if (values::parseBoolWord(word, &boolean)) value->kind = Value::Bool;
    else if (word.find('.') == std::string::npos && values::parseIntegerWord(word, &integer)) value->kind = Value::Integer;
    else if (word.find('.') != std::string::npos && values::parseRealWord(word, &real)) value->kind = Value::Real;
    else return "'" + word + "' is not true, false or a number: write text in \"quotes\" or give a type";
    return {};
  }
  const std::string& type = line.words[keyIndex + 1];
  if (!values::kindNamed(type, &value->kind))
    return "'" + type + "' is not a type (" + values::typeList() + ")";
  if (value->kind == Value::Array || value->kind == Value::Dict) {
    value->text = line.textFrom(keyIndex + 2);
  } else if (count == 2) {
    value->text = line.words[keyIndex + 2];
  } else {
    return "a " + type + " value is one word: put text with blanks in \"quotes\"";
  }
  Value parsed;
  return values::parseTyped(value->kind, value->text, &parsed);
}

std::string hostFileOf(const ScenarioLine& line, size_t index) {
  std::filesystem::path file = line.words[index];
  if (file.is_absolute()) return file.string();
  return (std::filesystem::path(line.file).parent_path() / file).string();
}

}  // namespace sim
