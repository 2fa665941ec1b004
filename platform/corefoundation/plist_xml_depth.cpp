// How deep XML property-list markup nests, measured without building anything, so that the XML reader
// (which recurses per level) is only given what the device's reader would accept.
#include "cf_internal.h"

#include <cstring>
#include <string_view>

namespace cf {
namespace {

// The position just after the first `end` at or after `at`, or npos.
size_t after(std::string_view xml, size_t at, std::string_view end) {
  size_t found = xml.find(end, at);
  return found == std::string_view::npos ? found : found + end.size();
}

bool isNameEnd(char c) { return c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool namedAt(std::string_view xml, size_t at, std::string_view name) {
  return xml.compare(at, name.size(), name) == 0 && at + name.size() < xml.size() && isNameEnd(xml[at + name.size()]);
}

}  // namespace

bool xmlNestingWithin(const char* bytes, size_t length, size_t maxDepth) {
  std::string_view xml(bytes, length);
  // Elements: <plist>, then one per array or dictionary, then the value inside the innermost one.
  const size_t maxElements = maxDepth + 2;
  size_t containers = 0, elements = 0;
  size_t at = 0;
  while ((at = xml.find('<', at)) != std::string_view::npos) {
    if (xml.compare(at, 4, "<!--") == 0) {
      at = after(xml, at + 4, "-->");
    } else if (xml.compare(at, 9, "<![CDATA[") == 0) {
      at = after(xml, at + 9, "]]>");
    } else if (xml.compare(at, 2, "<?") == 0) {
      at = after(xml, at + 2, "?>");
    } else if (xml.compare(at, 2, "<!") == 0) {
      // A declaration; its internal subset may hold '>' inside brackets.
      int brackets = 0;
      size_t i = at + 2;
      for (; i < xml.size() && !(xml[i] == '>' && brackets == 0); ++i) brackets += xml[i] == '[' ? 1 : xml[i] == ']' ? -1 : 0;
      at = i < xml.size() ? i + 1 : std::string_view::npos;
    } else if (xml.compare(at, 2, "</") == 0) {
      if (namedAt(xml, at + 2, "array") || namedAt(xml, at + 2, "dict")) containers -= containers > 0 ? 1 : 0;
      elements -= elements > 0 ? 1 : 0;
      at = after(xml, at + 2, ">");
    } else {
      bool container = namedAt(xml, at + 1, "array") || namedAt(xml, at + 1, "dict");
      // The tag ends at the first '>' outside quoted attribute values.
      char quote = 0;
      size_t i = at + 1;
      for (; i < xml.size(); ++i) {
        if (quote != 0) {
          if (xml[i] == quote) quote = 0;
        } else if (xml[i] == '"' || xml[i] == '\'') {
          quote = xml[i];
        } else if (xml[i] == '>') {
          break;
        }
      }
      if (i >= xml.size()) return false;
      if (xml[i - 1] != '/') {  // not an empty element: it opens a level
        if (++elements > maxElements) return false;
        if (container && ++containers > maxDepth) return false;
      }
      at = i + 1;
    }
    if (at == std::string_view::npos) return false;
  }
  return true;
}

}  // namespace cf
