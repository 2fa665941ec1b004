// The unwind information of a linked image as the device's unwinder reads it: the compact entries of
// __TEXT,__unwind_info (one 32-bit encoding per function) and the DWARF frame descriptions of
// __TEXT,__eh_frame that entries in DWARF mode point to.
#pragma once

#include <cstdint>
#include <vector>

#include "macho_reader.h"

namespace macho {

// The mode field of an arm64 compact unwind encoding, and the mode that defers to an __eh_frame
// entry (the encoding's low 24 bits are then that entry's offset in the section).
constexpr uint32_t kUnwindModeMask = 0x0f000000;
constexpr uint32_t kUnwindModeDwarf = 0x03000000;

// One function's entry in __unwind_info: where the function starts (unslid vm address) and its
// encoding (0: no unwind information).
struct UnwindEntry {
  uint64_t function = 0;
  uint32_t encoding = 0;
};

// Every function entry of __unwind_info, in address order; empty when the image has none. Throws
// std::runtime_error on a malformed section.
std::vector<UnwindEntry> compactUnwindEntries(const Image& image);

// One frame description (FDE) of __eh_frame.
struct FrameDescription {
  uint64_t offset = 0;    // from the start of __eh_frame, as a DWARF-mode encoding names it
  uint64_t function = 0;  // the first address it covers (unslid vm address)
  // Its instructions, or its CIE's, flip the return-address signing state
  // (DW_CFA_AARCH64_negate_ra_state, or its variant with the PC).
  bool negatesRaState = false;
};

// Every FDE of __eh_frame, in section order; empty when the image has none. Throws
// std::runtime_error on a record it cannot read.
std::vector<FrameDescription> frameDescriptions(const Image& image);

}  // namespace macho
