// One-line, property-list-like renderings of objects, as traces show them.
#include "cf_internal.h"

#include <cctype>
#include <cstdio>

namespace cf {
namespace {

bool needsNoQuotes(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '-' || c == '/')) return false;
  return true;
}

std::string quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\%03o", static_cast<unsigned char>(c));
          out += buffer;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

}  // namespace

std::string describe(id object) {
  if (object == nullptr) return "(null)";
  switch (familyOf(object)) {
    case Family::Boolean: return numberToBool(numberOf(object)) ? "true" : "false";
    case Family::Number: {
      const NumberBox& n = numberOf(object);
      if (n.kind == NumberBox::Real) return formatDouble(n.d);
      return n.kind == NumberBox::Signed ? std::to_string(n.i) : std::to_string(n.u);
    }
    case Family::String: return quoted(text(object));
    case Family::Array: {
      std::string out = "(";
      const ArrayBox& a = arrayOf(object);
      for (size_t i = 0; i < a.items.size(); ++i) {
        if (i) out += ", ";
        out += a.callbacks.retain ? describe(toId(a.items[i])) : "<pointer>";
      }
      return out + ")";
    }
    case Family::Dictionary: {
      std::string out = "{";
      const DictionaryBox& d = dictionaryOf(object);
      for (size_t i = 0; i < d.entries.size(); ++i) {
        if (i) out += "; ";
        id key = d.keyCallbacks.retain ? toId(d.entries[i].key) : nullptr;
        std::string keyText = familyOf(key) == Family::String && needsNoQuotes(text(key)) ? text(key)
                              : key                                                    ? describe(key)
                                                                                       : "<pointer>";
        out += keyText + " = " + (d.valueCallbacks.retain ? describe(toId(d.entries[i].value)) : "<pointer>");
      }
      return out + "}";
    }
    case Family::Data: {
      static const char* hex = "0123456789abcdef";
      std::string out = "<";
      for (uint8_t b : dataOf(object).bytes) {
        out += hex[b >> 4];
        out += hex[b & 15];
      }
      return out + ">";
    }
    case Family::Date: return formatDate(dateOf(object));
    case Family::Null: return "<null>";
    case Family::Set: {
      std::string out = "{(";
      std::vector<id> members = setMembers(object);
      for (size_t i = 0; i < members.size(); ++i) out += (i ? ", " : "") + describe(members[i]);
      return out + ")}";
    }
    case Family::UID: return "<CFKeyedArchiverUID>{value = " + std::to_string(uidOf(object)) + "}";
    case Family::URL: return urlString(object);
    case Family::Error:
    case Family::Bundle: {
      host::AutoreleasePool pool;
      return text(host::send(object, "description"));
    }
    case Family::None: break;
  }
  return std::string("<") + object_getClassName(object) + ">";
}

}  // namespace cf
