/* What Apple's CoreFoundation, as built for Swift on Linux, expects from the Swift runtime and from
 * Foundation, for a plain C program that only parses property lists: class symbols for its static
 * objects, object allocation, and retain/release that do nothing (objects leak, which is fine for a
 * tool that reads a few thousand small files and exits). Linked only into the reference dump tool. */
#include <CoreFoundation/CFRuntime.h>
#include <CoreFoundation/CoreFoundation.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

/* Swift class metadata CF points its static objects at; only their addresses matter here. */
typedef struct {
  void* words[16];
} ClassSymbol;
ClassSymbol constantStringClass __asm__("$s10Foundation19_NSCFConstantStringCN");
ClassSymbol numberClass __asm__("$s10Foundation8NSNumberCN");
ClassSymbol mutableDataClass __asm__("$s10Foundation13NSMutableDataCN");
ClassSymbol baseClass __asm__("$s10Foundation10__NSCFTypeCN");
ClassSymbol booleanClass __asm__("$s10Foundation13__NSCFBooleanCN");
ClassSymbol nullClass __asm__("$s10Foundation6NSNullCN");

void* swift_retain(void* object) { return object; }
void swift_release(void* object) { (void)object; }

/* A zeroed object whose first word is its class, as Swift lays objects out. */
void* swift_allocObject(uintptr_t cls, size_t size, size_t alignMask) {
  size_t align = alignMask + 1 < sizeof(void*) ? sizeof(void*) : alignMask + 1;
  void* object = aligned_alloc(align, (size + align - 1) / align * align);
  if (object == NULL) abort();
  memset(object, 0, size);
  *(uintptr_t*)object = cls;
  return object;
}

uintptr_t __CFSwiftGetBaseClass(void) { return (uintptr_t)&baseClass; }

/* CF treats an object whose class is not the one registered for its type as a Swift object and
 * forwards to Foundation; the static booleans, numbers and null carry these classes. */
void __CFInitializeSwift(void) {
  _CFRuntimeBridgeTypeToClass(CFBooleanGetTypeID(), &booleanClass);
  _CFRuntimeBridgeTypeToClass(CFNumberGetTypeID(), &numberClass);
  _CFRuntimeBridgeTypeToClass(CFNullGetTypeID(), &nullClass);
}

/* Classes of the parts left out of the build (run loops and sockets need libdispatch). */
const CFRuntimeClass __CFRunLoopClass = {0, "CFRunLoop", NULL, NULL, NULL, NULL, NULL, NULL, NULL};
const CFRuntimeClass __CFRunLoopModeClass = {0, "CFRunLoopMode", NULL, NULL, NULL, NULL, NULL, NULL, NULL};
const CFRuntimeClass __CFRunLoopSourceClass = {0, "CFRunLoopSource", NULL, NULL, NULL, NULL, NULL, NULL, NULL};
const CFRuntimeClass __CFRunLoopObserverClass = {0, "CFRunLoopObserver", NULL, NULL, NULL, NULL, NULL, NULL, NULL};
const CFRuntimeClass __CFRunLoopTimerClass = {0, "CFRunLoopTimer", NULL, NULL, NULL, NULL, NULL, NULL, NULL};
const CFRuntimeClass __CFSocketClass = {0, "CFSocket", NULL, NULL, NULL, NULL, NULL, NULL, NULL};
const CFRuntimeClass __CFDateIntervalFormatterClass = {0, "CFDateIntervalFormatter", NULL, NULL, NULL, NULL, NULL, NULL, NULL};
