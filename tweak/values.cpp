#include "tweak/values.h"

#include "common/objc_msg.h"

namespace {

// Numbers, booleans and strings all answer boolValue and integerValue (they are toll-free bridged to
// NSNumber and NSString); other property-list types do not.
bool isReadable(CFTypeRef value) {
  if (value == nullptr) return false;
  CFTypeID type = CFGetTypeID(value);
  return type == CFNumberGetTypeID() || type == CFBooleanGetTypeID() || type == CFStringGetTypeID();
}

}  // namespace

bool readSwitchValue(CFTypeRef value, bool* out) {
  if (!isReadable(value)) return false;
  *out = rv::isYes(rv::msg<BOOL>(rv::asId(value), RV_SEL("boolValue")));
  return true;
}

bool readSoundValue(CFTypeRef value, int32_t* out) {
  if (!isReadable(value)) return false;
  long integer = rv::msg<long>(rv::asId(value), RV_SEL("integerValue"));
  *out = static_cast<int32_t>(integer);
  return true;
}
