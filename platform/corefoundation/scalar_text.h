// Private: scalars written as text, read and written as the device's CoreFoundation does it, for every
// reader and writer that meets them (the XML and OpenStep property lists, URLs, Foundation's readings
// of strings): hex digits, numbers, base64 and dates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cf {

// ---- numbers (scalar_numbers.cpp) ----

// The value of a hexadecimal digit (0-9, a-f, A-F), or -1.
int hexDigitValue(uint32_t c);

// strtod in the C locale, whatever locale the process has set.
double strtodC(const char* text, char** stop);

// The text of an <integer> element, as the device reads it.
struct IntegerText {
  enum Kind { Zero32, Signed, Unsigned } kind = Zero32;  // Zero32: zeros only, a 32-bit 0
  int64_t i = 0;   // Signed: the value (negative ones always land here)
  uint64_t u = 0;  // Unsigned: a value above INT64_MAX
};
// From `at`: optional whitespace and sign, decimal or 0x hexadecimal digits, nothing else before the
// '<' that ends the text; leading zeros are not octal; out of the 64-bit range (signed below zero,
// unsigned above) refused. Where the text ends (its '<', before `end`), or nullptr where the device
// refuses it.
const char* scanIntegerText(const char* at, const char* end, IntegerText* out);

// The text of a <real> element (already decoded): "nan", "inf", "infinity" with or without a sign (any
// case), else the device's number scan: leading whitespace, then only [+-.0-9eE] read by strtod, which
// must take all of the rest. False where the device refuses it.
bool readRealText(const std::string& text, double* value);

// ---- base64 (base64.cpp) ----

// Base64 as the device decodes it: characters outside the alphabet skipped, '=' counting as a zero
// digit that shortens the last group, and a partial group at the end dropped. Appends to `out`; false
// (the device refuses the data) at a byte above 0x7F.
bool decodeBase64(const char* begin, const char* end, std::vector<uint8_t>& out);

// The bytes in base64, padded with '=', without line breaks.
std::string encodeBase64(const std::vector<uint8_t>& bytes);

// ---- dates (calendar.cpp) ----

// From `at`: YYYY-MM-DDThh:mm:ssZ exactly (any number of year digits, an optional '-' before them);
// fields are not range-checked, and compute as the device's Gregorian arithmetic computes them. Just
// after the 'Z', with *absoluteTime in seconds since 2001, or nullptr where the text is not that form.
const char* scanISODate(const char* at, const char* end, double* absoluteTime);

// YYYY-MM-DDThh:mm:ssZ (UTC, whole seconds rounded down, at least four year digits) of a time in
// seconds since 2001, for any year; NaN and times no calendar reaches (1e17 seconds and more either
// way) as 2001-01-01T00:00:00Z.
std::string formatISODate(double absoluteTime);

}  // namespace cf
