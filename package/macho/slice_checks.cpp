#include "slice_checks.h"

#include <cxxabi.h>

#include <cstdlib>
#include <exception>

#include "code_signature.h"
#include "fixups.h"

namespace macho {
namespace {

std::string demangled(const std::string& symbol) {
  if (symbol.rfind("__Z", 0) != 0) return symbol;
  int status = 0;
  char* text = abi::__cxa_demangle(symbol.c_str() + 1, nullptr, nullptr, &status);
  if (text == nullptr) return symbol;
  std::string out = text;
  std::free(text);
  return out;
}

// "0x8288 (__DATA_CONST,__const, hooks+0x10)": an address with its section and the defined symbol
// at or before it in that section.
std::string where(const Image& image, uint64_t address) {
  std::string text = hex(address);
  const Section* section = image.sectionAt(address);
  if (section == nullptr) return text;
  text += " (" + section->segment + "," + section->name;
  const Symbol* nearest = nullptr;
  for (const Symbol& s : image.symbols) {
    if (s.debug() || s.undefined() || s.value > address || s.value < section->address) continue;
    if (nearest == nullptr || s.value > nearest->value) nearest = &s;
  }
  if (nearest != nullptr) {
    text += ", " + demangled(nearest->name);
    if (address != nearest->value) text += "+" + hex(address - nearest->value);
  }
  return text + ")";
}

const char* keyName(uint8_t key) {
  static const char* const names[] = {"IA", "IB", "DA", "DB"};
  return names[key & 3];
}

bool isArm64ePointerFormat(uint16_t format) {
  return format == 1 || format == 9 || format == 12;  // ARM64E, ARM64E_USERLAND, ARM64E_USERLAND24
}

void checkArm64e(const Image& image, std::vector<std::string>& problems) {
  if (!image.hasCommand(kLcDyldChainedFixups)) {
    problems.push_back(
        "the arm64e slice has no chained fixups (LC_DYLD_CHAINED_FIXUPS), the form that carries its signed "
        "pointers: link it with Apple's ld64 for iOS 15 and without -no_fixup_chains");
    return;
  }
  std::vector<Fixup> all;
  try {
    all = fixups(image);
  } catch (const std::exception& error) {
    problems.push_back(std::string("its chained fixups cannot be read: ") + error.what());
    return;
  }
  for (const Fixup& f : all) {
    if (!isArm64ePointerFormat(f.format)) {
      problems.push_back("the chained fixup at " + where(image, f.address) + " has pointer format " +
                         std::to_string(f.format) + ", not an arm64e one");
      break;
    }
  }
  for (const Fixup& f : all) {
    if (f.kind != Fixup::Kind::Rebase) continue;
    const Section* target = image.sectionAt(f.target);
    if (target == nullptr || !target->holdsCode()) continue;
    std::string pointer = "the pointer at " + where(image, f.address) + " to the code at " + where(image, f.target);
    if (!f.authenticated) {
      problems.push_back(pointer +
                         " is not signed: an arm64e process authenticates it before calling it and crashes "
                         "(store it through a function pointer type so that the compiler signs it)");
    } else if (f.key != 0 || f.addressDiversity || f.diversity != 0) {
      problems.push_back(pointer + " is signed with key " + keyName(f.key) +
                         (f.addressDiversity ? ", address diversity" : "") + " and discriminator " +
                         hex(f.diversity) +
                         ": the runtime and the hooking library call implementations with key IA, no address "
                         "diversity and discriminator 0");
    }
  }
  for (const char* unsigned_ : {"__stubs", "__la_symbol_ptr"}) {
    for (const Section& s : image.sections) {
      if (s.name == unsigned_ && s.size > 0) {
        problems.push_back("the arm64e slice calls imports through " + s.segment + "," + s.name +
                           ", which holds unsigned pointers; arm64e imports go through __auth_stubs and __auth_got");
      }
    }
  }
  for (const Fixup& f : all) {
    const Section* in = image.sectionAt(f.address);
    if (in == nullptr || in->name != "__auth_got") continue;
    if (f.kind != Fixup::Kind::Bind || !f.authenticated || f.key != 0) {
      problems.push_back("the __auth_got entry at " + where(image, f.address) +
                         (f.kind == Fixup::Kind::Bind ? " for " + f.symbol : std::string(" (a rebase)")) +
                         " is not an import signed with key IA");
    }
  }
}

}  // namespace

std::vector<std::string> contentProblems(const Image& image) {
  std::vector<std::string> problems;
  std::string signature = codeSignatureProblem(image);
  if (!signature.empty()) problems.push_back(signature);
  if (image.cpuType == kCpuTypeArm64 && image.cpuSubtype == kCpuSubtypeArm64e) checkArm64e(image, problems);
  return problems;
}

}  // namespace macho
