// Reading one-word property-list scalars; shared by the typed values and the literal syntax.
#pragma once

#include <string>

namespace sim::values {

bool parseBoolWord(const std::string& word, bool* value);
bool parseIntegerWord(const std::string& word, long long* value);
// A finite number with at least one digit ("0.5", "-2", "1e3").
bool parseRealWord(const std::string& word, double* value);
// Whether `word` is shaped like a date (starts "YYYY-MM-DD"), so that a bad one is reported as a date.
bool looksLikeDate(const std::string& word);
// An ISO 8601 date as seconds since 2001-01-01 00:00:00 UTC; "" or what is wrong.
std::string parseDateWord(const std::string& word, double* seconds);
// Hex digits (blanks ignored, optionally inside <...>) or "base64:TEXT"; "" or what is wrong.
std::string parseDataWord(const std::string& word, std::string* bytes);
// Hex digits and blanks only, as between a literal's < and >.
std::string parseHexDigits(const std::string& text, std::string* bytes);

}  // namespace sim::values
