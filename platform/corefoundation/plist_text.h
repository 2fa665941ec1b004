// Private: the text property-list readers (XML and OpenStep) and how their bytes are decoded first,
// each as the device's CoreFoundation does it.
#pragma once

#include "cf_internal.h"

#include <cstdint>
#include <string>

namespace cf {

// The text of a property list that is not binary, decoded as the device decodes it.
struct PlistText {
  // Bytes the XML reader reads: UTF-8, without a byte-order mark.
  const char* xml = nullptr;
  size_t xmlLength = 0;
  // The whole text as UTF-16 units, for the OpenStep reader; filled by openStepUnits().
  std::u16string units;
  bool unitsReady = false, unitsValid = false;

  // Internal: where the bytes came from.
  const uint8_t* original = nullptr;
  size_t originalLength = 0;
  std::string converted;  // the UTF-8 the XML reader reads, when the file was not UTF-8
};

// Finds the encoding (a byte-order mark, UTF-16 without one, or an XML declaration's encoding="...")
// and decodes. False when the device refuses the bytes outright: an encoding it does not know, bytes
// that are not valid in the declared one, or nothing left to read.
bool decodePlistText(const uint8_t* bytes, size_t length, PlistText& text);

// The text as UTF-16 units for the OpenStep reader; false when the bytes are not valid text.
bool openStepUnits(PlistText& text);

// Strict UTF-8 as CoreFoundation reads it into a string: a leading byte-order mark is dropped, and a
// lone 0xA9 byte where a character starts reads as U+FFFD (the device's compatibility rule); anything
// else invalid (overlong forms, surrogates, sequences past U+10FFFF) fails. Appends to `out` (UTF-8).
bool readCFUTF8(const char* bytes, size_t length, std::string& out);

// The XML property list in `bytes` (+1), or NULL where the device's XML reader refuses it.
id parseXMLPropertyList(const char* bytes, size_t length, CFOptionFlags mutability);

// The OpenStep-style property list (or strings file, or whitespace: an empty dictionary) in `units`
// (+1), or NULL where the device's reader refuses it.
id parseOpenStepPropertyList(const std::u16string& units, CFOptionFlags mutability);

}  // namespace cf
