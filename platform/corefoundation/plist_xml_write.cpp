// Writing XML property lists as the device writes them: its header and DOCTYPE, tab indentation,
// dictionary keys sorted, base64 data in 76-column lines, dates in whole seconds (UTC), UIDs as
// {CF$UID = n}. Linear in the size of the list.
#include "cf_internal.h"
#include "scalar_text.h"

#include <algorithm>
#include <cmath>

namespace cf {
namespace {

void indent(std::string& out, size_t depth) { out.append(depth, '\t'); }

void escaped(std::string& out, const std::string& text) {
  for (char c : text) {
    if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '&') out += "&amp;";
    else out += c;
  }
}

// Base64 in lines of 76 characters, 8 fewer for each of the first 8 levels of indentation.
void base64(std::string& out, const std::vector<uint8_t>& bytes, size_t depth) {
  std::string text = encodeBase64(bytes);
  size_t perLine = 76 - 8 * std::min<size_t>(depth, 8);
  for (size_t at = 0; at < text.size(); at += perLine) {
    indent(out, depth);
    out.append(text, at, perLine);
    out += '\n';
  }
}

bool element(std::string& out, id object, size_t depth) {
  if (depth > kMaxPlistDepth) return false;
  indent(out, depth);
  switch (familyOf(object)) {
    case Family::Boolean: out += numberToBool(numberOf(object)) ? "<true/>\n" : "<false/>\n"; return true;
    case Family::Number: {
      const NumberBox& n = numberOf(object);
      if (n.kind == NumberBox::Real) {
        out += "<real>";
        out += std::isnan(n.d) ? "nan" : std::isinf(n.d) ? (n.d > 0 ? "+infinity" : "-infinity") : formatDouble(n.d);
        out += "</real>\n";
      } else {
        out += "<integer>" + (n.kind == NumberBox::Signed ? std::to_string(n.i) : std::to_string(n.u)) + "</integer>\n";
      }
      return true;
    }
    case Family::String:
      out += "<string>";
      escaped(out, text(object));
      out += "</string>\n";
      return true;
    case Family::Data:
      out += "<data>\n";
      base64(out, dataOf(object).bytes, depth);
      indent(out, depth);
      out += "</data>\n";
      return true;
    case Family::Date: out += "<date>" + formatISODate(dateOf(object)) + "</date>\n"; return true;
    case Family::UID:
      out += "<dict>\n";
      indent(out, depth + 1);
      out += "<key>CF$UID</key>\n";
      indent(out, depth + 1);
      out += "<integer>" + std::to_string(uidOf(object)) + "</integer>\n";
      indent(out, depth);
      out += "</dict>\n";
      return true;
    case Family::Array: {
      const ArrayBox& a = arrayOf(object);
      if (a.items.empty()) {
        out += "<array/>\n";
        return true;
      }
      if (a.callbacks.retain == nullptr) return false;
      out += "<array>\n";
      for (const void* item : a.items)
        if (!element(out, toId(item), depth + 1)) return false;
      indent(out, depth);
      out += "</array>\n";
      return true;
    }
    case Family::Dictionary: {
      const DictionaryBox& d = dictionaryOf(object);
      if (d.entries.empty()) {
        out += "<dict/>\n";
        return true;
      }
      if (d.keyCallbacks.retain == nullptr || d.valueCallbacks.retain == nullptr) return false;
      std::vector<const DictionaryBox::Entry*> sorted;
      for (const auto& e : d.entries) {
        if (familyOf(toId(e.key)) != Family::String) return false;
        sorted.push_back(&e);
      }
      std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return text(toId(a->key)) < text(toId(b->key)); });
      out += "<dict>\n";
      for (const auto* e : sorted) {
        indent(out, depth + 1);
        out += "<key>";
        escaped(out, text(toId(e->key)));
        out += "</key>\n";
        if (!element(out, toId(e->value), depth + 1)) return false;
      }
      indent(out, depth);
      out += "</dict>\n";
      return true;
    }
    default: return false;  // null, sets and everything else have no XML form
  }
}

}  // namespace

bool writeXMLPropertyList(id root, std::string& out) {
  out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
        "<plist version=\"1.0\">\n";
  // The root is written without indentation, its contents one tab in per level.
  std::string body;
  if (!element(body, root, 0)) {
    out.clear();
    return false;
  }
  out += body + "</plist>\n";
  return true;
}

}  // namespace cf
