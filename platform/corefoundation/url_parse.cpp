#include "url_parse.h"
#include "scalar_text.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace cf::url {
namespace {

int hexValue(char c) { return hexDigitValue(static_cast<unsigned char>(c)); }
bool isHex(char c) { return hexValue(c) >= 0; }

bool isAllowed(char c) {
  if (std::isalnum(static_cast<unsigned char>(c))) return true;
  return std::strchr("-._~:/?#[]@!$&'()*+,;=", c) != nullptr && c != '\0';
}

std::string removeDotSegments(const std::string& path) {
  std::string in = path, out;
  while (!in.empty()) {
    if (in.compare(0, 3, "../") == 0) in.erase(0, 3);
    else if (in.compare(0, 2, "./") == 0) in.erase(0, 2);
    else if (in.compare(0, 3, "/./") == 0) in.replace(0, 3, "/");
    else if (in == "/.") in = "/";
    else if (in.compare(0, 4, "/../") == 0 || in == "/..") {
      in = in == "/.." ? "/" : in.substr(3);
      size_t slash = out.rfind('/');
      out.erase(slash == std::string::npos ? 0 : slash);
    } else if (in == "." || in == "..") {
      in.clear();
    } else {
      size_t next = in.find('/', in[0] == '/' ? 1 : 0);
      if (next == std::string::npos) next = in.size();
      out += in.substr(0, next);
      in.erase(0, next);
    }
  }
  return out;
}

}  // namespace

bool isValid(const std::string& s) {
  bool sawHash = false;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == '%') {
      if (i + 2 >= s.size() || !isHex(s[i + 1]) || !isHex(s[i + 2])) return false;
      i += 2;
    } else if (c == '#') {
      if (sawHash) return false;
      sawHash = true;
    } else if (!isAllowed(c)) {
      return false;
    }
  }
  return true;
}

Parts split(const std::string& s) {
  Parts p;
  size_t i = 0;
  if (!s.empty() && std::isalpha(static_cast<unsigned char>(s[0]))) {
    size_t j = 1;
    while (j < s.size() && (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '+' || s[j] == '-' || s[j] == '.')) ++j;
    if (j < s.size() && s[j] == ':') {
      p.scheme = s.substr(0, j);
      i = j + 1;
    }
  }
  if (s.compare(i, 2, "//") == 0) {
    size_t end = s.find_first_of("/?#", i + 2);
    if (end == std::string::npos) end = s.size();
    p.authority = s.substr(i + 2, end - i - 2);
    i = end;
  }
  size_t end = s.find_first_of("?#", i);
  if (end == std::string::npos) end = s.size();
  p.path = s.substr(i, end - i);
  i = end;
  if (i < s.size() && s[i] == '?') {
    end = s.find('#', i);
    if (end == std::string::npos) end = s.size();
    p.query = s.substr(i + 1, end - i - 1);
    i = end;
  }
  if (i < s.size() && s[i] == '#') p.fragment = s.substr(i + 1);
  return p;
}

std::string join(const Parts& p) {
  std::string s;
  if (p.scheme) s += *p.scheme + ":";
  if (p.authority) s += "//" + *p.authority;
  s += p.path;
  if (p.query) s += "?" + *p.query;
  if (p.fragment) s += "#" + *p.fragment;
  return s;
}

std::string resolve(const std::string& baseText, const std::string& reference) {
  Parts r = split(reference), b = split(baseText), t;
  if (r.scheme) {
    t = r;
    t.path = removeDotSegments(r.path);
  } else {
    if (r.authority) {
      t.authority = r.authority;
      t.path = removeDotSegments(r.path);
      t.query = r.query;
    } else {
      if (r.path.empty()) {
        t.path = b.path;
        t.query = r.query ? r.query : b.query;
      } else {
        if (r.path[0] == '/') {
          t.path = removeDotSegments(r.path);
        } else {
          std::string merged;
          if (b.authority && b.path.empty()) merged = "/" + r.path;
          else {
            size_t slash = b.path.rfind('/');
            merged = (slash == std::string::npos ? "" : b.path.substr(0, slash + 1)) + r.path;
          }
          t.path = removeDotSegments(merged);
        }
        t.query = r.query;
      }
      t.authority = b.authority;
    }
    t.scheme = b.scheme;
  }
  t.fragment = r.fragment;
  return join(t);
}

std::string percentDecode(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && isHex(s[i + 1]) && isHex(s[i + 2])) {
      out += static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string escapePath(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if (std::isalnum(c) || (c != 0 && std::strchr("-._~!$&'()*+,;=:@/", c))) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string hostOf(const std::string& authority) {
  std::string a = authority;
  size_t at = a.rfind('@');
  if (at != std::string::npos) a.erase(0, at + 1);
  if (!a.empty() && a[0] == '[') {
    size_t close = a.find(']');
    return close == std::string::npos ? a.substr(1) : a.substr(1, close - 1);
  }
  size_t colon = a.find(':');
  return percentDecode(colon == std::string::npos ? a : a.substr(0, colon));
}

std::optional<long> portOf(const std::string& authority) {
  std::string a = authority;
  size_t at = a.rfind('@');
  if (at != std::string::npos) a.erase(0, at + 1);
  size_t close = a.find(']');
  size_t colon = a.find(':', close == std::string::npos ? 0 : close);
  if (colon == std::string::npos || colon + 1 >= a.size()) return std::nullopt;
  return std::strtol(a.c_str() + colon + 1, nullptr, 10);
}

}  // namespace cf::url
