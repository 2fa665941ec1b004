// Writing XML property lists as the device writes them: its header and DOCTYPE, tab indentation,
// dictionary keys sorted, base64 data in 76-column lines, dates in whole seconds (UTC), UIDs as
// {CF$UID = n}. Linear in the size of the list.
#include "cf_internal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

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

void base64(std::string& out, const std::vector<uint8_t>& bytes, size_t depth) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  size_t perLine = 76 - 8 * std::min<size_t>(depth, 8);
  std::string line;
  auto flush = [&] {
    indent(out, depth);
    out += line + "\n";
    line.clear();
  };
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = bytes[i] << 16;
    if (i + 1 < bytes.size()) group |= bytes[i + 1] << 8;
    if (i + 2 < bytes.size()) group |= bytes[i + 2];
    line += kAlphabet[(group >> 18) & 63];
    line += kAlphabet[(group >> 12) & 63];
    line += i + 1 < bytes.size() ? kAlphabet[(group >> 6) & 63] : '=';
    line += i + 2 < bytes.size() ? kAlphabet[group & 63] : '=';
    if (line.size() >= perLine) flush();
  }
  if (!line.empty()) flush();
}

// YYYY-MM-DDThh:mm:ssZ of a time in seconds since 2001, for any year.
std::string isoDate(double absoluteTime) {
  double whole = std::floor(absoluteTime);
  if (!(std::fabs(whole) < 1e17)) whole = 0;  // NaN or a time no calendar reaches
  int64_t seconds = static_cast<int64_t>(whole) + 978307200;  // since 1970
  int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  int64_t inDay = seconds - days * 86400;
  // Days since 1970-01-01 to a civil date (proleptic Gregorian).
  int64_t z = days + 719468, era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097, yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
  int64_t day = doy - (153 * mp + 2) / 5 + 1, month = mp < 10 ? mp + 3 : mp - 9;
  int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(inDay / 3600),
                static_cast<long long>(inDay / 60 % 60), static_cast<long long>(inDay % 60));
  return buffer;
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
    case Family::Date: out += "<date>" + isoDate(dateOf(object)) + "</date>\n"; return true;
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
