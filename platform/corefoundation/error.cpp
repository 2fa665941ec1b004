// NSError / CFError: the errors property-list parsing reports.
#include "cf_internal.h"

const CFErrorDomain kCFErrorDomainCocoa = __CFStringMakeConstantString("NSCocoaErrorDomain");
const CFErrorDomain kCFErrorDomainPOSIX = __CFStringMakeConstantString("NSPOSIXErrorDomain");

namespace cf {
namespace {

struct ErrorBox : Box {
  id domain = nullptr;
  long code = 0;
  std::string description;
  ~ErrorBox() override { host::release(domain); }
};

ErrorBox& errorOf(id error) {
  if (familyOf(error) != Family::Error) fatal("not an error object");
  static ErrorBox none;
  ErrorBox* box = boxOf<ErrorBox>(error);
  return box ? *box : none;
}

id domain(id self, SEL) { return errorOf(self).domain; }
long code(id self, SEL) { return errorOf(self).code; }
id localizedDescription(id self, SEL) { return autoreleasedString(errorOf(self).description); }

}  // namespace

void defineErrorClass(Classes& c) {
  c.error = host::ClassBuilder("NSError", c.object)
                .ivar("_cfBox", sizeof(void*), alignof(void*), "^v")
                .method("domain", &domain)
                .method("code", &code)
                .method("localizedDescription", &localizedDescription)
                .method("description", &localizedDescription)
                .registerClass();
  addFamilyBasics(c.error);
}

id newError(id domain, long code, const std::string& description) {
  auto* box = new ErrorBox;
  box->domain = host::retain(domain);
  box->code = code;
  box->description = description;
  return newObject(classes().error, box);
}

}  // namespace cf

using namespace cf;

CFTypeID CFErrorGetTypeID(void) { return 30; }
CFErrorDomain CFErrorGetDomain(CFErrorRef err) { return toCF<CFErrorDomain>(host::send(toId(err), "domain")); }
CFIndex CFErrorGetCode(CFErrorRef err) { return host::send<long>(toId(err), "code"); }
CFStringRef CFErrorCopyDescription(CFErrorRef err) {
  host::AutoreleasePool pool;
  return toCF<CFStringRef>(host::retain(host::send(toId(err), "localizedDescription")));
}
