// Private: CoreFoundation's own encodings beyond UTF-8, as its property-list reader meets them: the
// encoding an IANA charset name names, and bytes in that encoding decoded to UTF-16.
#pragma once

#include <CoreFoundation/CFString.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace cf {

// The encoding CFStringConvertIANACharSetNameToEncoding gives for `name` (ASCII, NUL-terminated):
// CF's own names first ("iso-8859-N", "cpN" and "windows-N" by code page, the Unicode forms, the Mac
// scripts by name with or without "x-mac-", "macintosh" and anything it begins, which is Mac Roman,
// number 0), then ICU's converter names matched as ICU matches them (case, punctuation and leading zeros
// ignored) and mapped back through the converter's Windows, Java or MIME name, then "ms950..." as code
// page 950. kCFStringEncodingInvalidId when none.
CFStringEncoding encodingForIANACharSetName(const char* name);

// `bytes` in `encoding` as UTF-16 units, as CFStringCreateWithBytes(.., false) decodes them: UTF-16 in
// host order for kCFStringEncodingUTF16, the explicit forms and UTF-32 as their names say; ASCII and
// ISO Latin 1 byte for byte; Windows Latin 1 and NeXTSTEP through CF's own tables; any other encoding
// that extends ASCII read as it is when every byte is ASCII, else through the ICU converter CF picks for
// it. False where CF makes no string. Does not handle UTF-8 (the readers have their own).
bool decodeEncodedBytes(const uint8_t* bytes, size_t length, CFStringEncoding encoding, std::u16string& out);

}  // namespace cf
