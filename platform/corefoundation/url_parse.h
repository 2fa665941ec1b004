// Private: URL strings split into their parts (RFC 3986), resolution against a base, and escaping.
#pragma once

#include <optional>
#include <string>

namespace cf::url {

struct Parts {
  std::optional<std::string> scheme;
  std::optional<std::string> authority;
  std::string path;  // still percent-encoded
  std::optional<std::string> query;
  std::optional<std::string> fragment;
};

// Whether every character may appear in a URL (percent signs followed by two hex digits).
bool isValid(const std::string& s);
Parts split(const std::string& s);
std::string join(const Parts& p);
// RFC 3986 section 5.2: a reference resolved against an absolute base.
std::string resolve(const std::string& base, const std::string& reference);
std::string percentDecode(const std::string& s);
// Escapes what a path may not hold literally.
std::string escapePath(const std::string& path);
// The host of an authority ("user@host:port" -> "host", "[::1]:80" -> "::1"), and its port.
std::string hostOf(const std::string& authority);
std::optional<long> portOf(const std::string& authority);

}  // namespace cf::url
