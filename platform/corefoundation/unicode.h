// Private: encodings for CFString.
#pragma once

#include <CoreFoundation/CFString.h>

#include <cstdint>
#include <string>
#include <vector>

namespace cf {

void appendUTF8(std::string& out, uint32_t codePoint);
// One code point as UTF-16 units: a surrogate pair above U+FFFF.
void appendUTF16(std::u16string& out, uint32_t codePoint);
bool decodeUTF8(const std::string& utf8, std::vector<uint32_t>& codePoints);
// UTF-16 units as UTF-8; a lone surrogate (which the device keeps in its UTF-16 strings but UTF-8
// cannot hold) becomes U+FFFD.
std::string utf8FromUnits(const char16_t* units, size_t count);
bool isKnownEncoding(CFStringEncoding encoding);
bool isUTF16Family(CFStringEncoding encoding);
bool isUTF32Family(CFStringEncoding encoding);
// Bytes in `encoding` to UTF-8; false when they are not valid in it.
bool decodeBytes(const uint8_t* bytes, size_t length, CFStringEncoding encoding, bool external, std::string& out);
// UTF-8 to bytes in `encoding` (UTF-16/32 without a byte-order mark, in host order unless BE or LE is
// named); characters the encoding lacks become lossByte, or fail when it is 0.
bool encodeText(const std::string& utf8, CFStringEncoding encoding, uint8_t lossByte, std::string& out);

}  // namespace cf
