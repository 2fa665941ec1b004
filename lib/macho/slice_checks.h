// What the device needs of a slice's contents, beyond its CPU type: a valid code signature, and for
// arm64e the signed pointers that an arm64e process authenticates.
#pragma once

#include <string>
#include <vector>

#include "macho_reader.h"

namespace macho {

// Every problem the kernel, dyld or the Objective-C runtime would have with this slice, one sentence
// each (empty when there is none):
//  - any slice: no code signature, or one that does not match the bytes (code_signature.h);
//  - arm64e: no chained fixups, or a chain in a pointer format that is not an arm64e one;
//    a pointer to code stored in data (a hook table's replacement implementations, methods added to
//    a class) that is not an authenticated rebase with key IA, no address diversity and
//    discriminator 0 -- the form in which the runtime and the hooking library call it;
//    imports called through unsigned stubs (__stubs, lazy pointers), or an __auth_got slot that is
//    not an import signed with key IA, address diversity and discriminator 0 (as the stubs' braa
//    authenticates it); a constant string (__cfstring) whose isa is not an authenticated bind to
//    ___CFConstantStringClassReference with key DA, address diversity and discriminator 0x6AE1 (as
//    objc_msgSend authenticates an isa); a function with a DWARF-mode unwind entry, or an
//    __eh_frame entry that flips the return-address signing state (Apple's clang writes neither).
// Each names the place (address, section, nearest symbol). Fixup tables the reader cannot decode
// are a problem too.
std::vector<std::string> contentProblems(const Image& image);

}  // namespace macho
