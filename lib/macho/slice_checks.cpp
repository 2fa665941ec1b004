#include "slice_checks.h"

#include <cxxabi.h>

#include <cstdlib>
#include <exception>
#include <map>

#include "code_signature.h"
#include "fixups.h"
#include "unwind.h"

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

using FixupsByAddress = std::map<uint64_t, const Fixup*>;

const Fixup* fixupAt(const FixupsByAddress& fixups, uint64_t address) {
  auto it = fixups.find(address);
  return it == fixups.end() ? nullptr : it->second;
}

// "key DA, address diversity and discriminator 0x6ae1": how a signed fixup is signed.
std::string signing(const Fixup& f) {
  return std::string("key ") + keyName(f.key) + (f.addressDiversity ? ", address diversity" : "") +
         " and discriminator " + hex(f.diversity);
}

// Every __auth_got slot is an import signed with key IA, its own address as the modifier and
// discriminator 0: an __auth_stubs stub loads the slot's address into x17 and branches with
// `braa x16, x17`, so any other signature crashes the first call of that import.
void checkAuthGot(const Image& image, const FixupsByAddress& fixups, std::vector<std::string>& problems) {
  for (const Section& s : image.sections) {
    if (s.name != "__auth_got") continue;
    for (uint64_t at = s.address; at + 8 <= s.address + s.size; at += 8) {
      const Fixup* f = fixupAt(fixups, at);
      std::string slot = "the __auth_got slot at " + where(image, at);
      if (f == nullptr || f->kind != Fixup::Kind::Bind) {
        problems.push_back(slot + (f == nullptr ? " is not fixed up" : " holds a rebase") +
                           ": each slot is an import an __auth_stubs stub calls");
      } else if (!f->authenticated || f->key != 0 || !f->addressDiversity || f->diversity != 0) {
        problems.push_back(slot + " for " + f->symbol + " is " +
                           (f->authenticated ? "signed with " + signing(*f) : std::string("unsigned")) +
                           ": its __auth_stubs stub branches with braa x16, x17 (key IA, the slot's address, "
                           "discriminator 0)");
      }
    }
  }
}

// The bytes of a constant string's characters for naming it: "\"text\"", cut at 40 characters,
// or "" when they cannot be read.
std::string quotedText(const Image& image, uint64_t address) {
  const Section* s = image.sectionAt(address);
  if (s == nullptr || s->fileOffset == 0) return "";
  uint64_t offset = s->fileOffset + (address - s->address), end = uint64_t{s->fileOffset} + s->size;
  if (end > image.bytes.size()) return "";
  std::string text;
  for (; offset < end && image.bytes[offset] != 0 && text.size() <= 40; ++offset) text += char(image.bytes[offset]);
  return "\"" + (text.size() > 40 ? text.substr(0, 40) + "..." : text) + "\" ";
}

// A CFSTR constant: isa, flags (0x7c8 for 8-bit characters), characters, length; 32 bytes.
constexpr uint64_t kConstantStringSize = 32;
constexpr uint32_t kConstantStringFlags8Bit = 0x7c8;
// ptrauth_string_discriminator("isa"): what objc_msgSend blends with an object's address to
// authenticate its isa (key DA) in the runtime's AUTH mode, iOS's for arm64e.
constexpr uint16_t kIsaDiscriminator = 0x6ae1;

// Every constant string's isa is an authenticated bind to ___CFConstantStringClassReference, signed
// as the runtime authenticates an isa: the first message to a string signed otherwise crashes.
void checkConstantStrings(const Image& image, const FixupsByAddress& fixups, std::vector<std::string>& problems) {
  for (const Section& s : image.sections) {
    if (s.name != "__cfstring") continue;
    for (uint64_t at = s.address; at + kConstantStringSize <= s.address + s.size; at += kConstantStringSize) {
      std::string text;
      const Fixup* characters = fixupAt(fixups, at + 16);
      uint32_t flags = static_cast<uint32_t>(image.wordAt(at + 8));
      if (flags == kConstantStringFlags8Bit && characters != nullptr && characters->kind == Fixup::Kind::Rebase)
        text = quotedText(image, characters->target);
      std::string string = "the constant string " + text + "at " + where(image, at);
      const Fixup* isa = fixupAt(fixups, at);
      std::string wrong;
      if (isa == nullptr || isa->kind != Fixup::Kind::Bind || isa->symbol != "___CFConstantStringClassReference") {
        wrong = " has an isa that is not bound to ___CFConstantStringClassReference";
      } else if (!isa->authenticated) {
        wrong = " has an unsigned isa";
      } else if (isa->key != 2 || !isa->addressDiversity || isa->diversity != kIsaDiscriminator) {
        wrong = " has its isa signed with " + signing(*isa);
      }
      if (!wrong.empty()) {
        problems.push_back(string + wrong +
                           ": objc_msgSend authenticates an isa with key DA, the object's address and "
                           "discriminator 0x6ae1, and crashes on any other");
      }
    }
  }
}

// Unwind entries as Apple's toolchain writes them for arm64e: a compact encoding for every function,
// never a DWARF frame description that only says the return address is signed (Apple's unwinder
// assumes it of every frame).
void checkUnwindEntries(const Image& image, std::vector<std::string>& problems) {
  try {
    for (const UnwindEntry& e : compactUnwindEntries(image)) {
      if ((e.encoding & kUnwindModeMask) != kUnwindModeDwarf) continue;
      problems.push_back("the function at " + where(image, e.function) + " has a DWARF-mode unwind entry (" +
                         hex(e.encoding) + ") where Apple's toolchain writes a compact one");
    }
    for (const FrameDescription& fde : frameDescriptions(image)) {
      if (!fde.negatesRaState) continue;
      problems.push_back("the __eh_frame entry at offset " + hex(fde.offset) + " for the function at " +
                         where(image, fde.function) +
                         " flips the return-address signing state (DW_CFA_AARCH64_negate_ra_state), "
                         "which Apple's clang never writes for Mach-O");
    }
  } catch (const std::exception& error) {
    problems.push_back(std::string("its unwind information cannot be read: ") + error.what());
  }
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
  FixupsByAddress byAddress;
  for (const Fixup& f : all) byAddress[f.address] = &f;
  checkAuthGot(image, byAddress, problems);
  checkConstantStrings(image, byAddress, problems);
  checkUnwindEntries(image, problems);
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
