// Pointer authentication (arm64e) as the emulated CPU computes it: the keyed MAC the PAC instructions
// put into a pointer's upper bits, for the emulator to sign what it hands to the emulated code and to
// check what the code hands back, with the same keys and the same result as the CPU's own PACIA,
// AUTIA, BLRAA, RETAB... (see Machine::enablePointerAuthentication).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace emu {

// The four pointer keys, numbered as a chained fixup's key field and as <ptrauth.h> numbers them.
enum class PacKey : uint8_t { IA = 0, IB = 1, DA = 2, DB = 3 };

// "IA", "IB", "DA" or "DB".
const char* keyName(PacKey key);

// The modifier of an address-diversified pointer: the storage address with the 16-bit
// discriminator in its top 16 bits (ptrauth_blend_discriminator).
uint64_t blendDiscriminator(uint64_t address, uint16_t discriminator);

// The signing arithmetic of one emulated process: its five 128-bit keys (IA, IB, DA, DB and the
// generic key GA) and the layout of its pointers (a 39-bit address space as iOS gives a process, no
// top-byte tagging), so the MAC fills bits 39-54 and 56-63 and bit 55 stays the address's own.
class PointerAuth {
 public:
  struct Key128 {
    uint64_t low = 0, high = 0;
  };
  static constexpr int kAddressBits = 39;

  PointerAuth();

  const Key128& key(PacKey key) const { return keys_[static_cast<int>(key)]; }
  const Key128& genericKey() const { return keys_[4]; }

  // `pointer` with the MAC of (pointer, key, modifier) in its upper bits, as PACIA/PACIB/PACDA/PACDB
  // compute it. A pointer whose upper bits are not a plain extension of bit 55 gets a MAC with one
  // bit flipped, so it never authenticates. NULL stays NULL (dyld and the runtime never sign it).
  uint64_t sign(uint64_t pointer, PacKey key, uint64_t modifier) const;
  // The plain pointer when `pointer` carries the MAC of (its address, key, modifier); nothing
  // otherwise. NULL authenticates as NULL.
  std::optional<uint64_t> authenticate(uint64_t pointer, PacKey key, uint64_t modifier) const;
  // The plain pointer, MAC removed (XPACI/XPACD).
  uint64_t strip(uint64_t pointer) const;
  // True when `pointer` is one a failed AUT* instruction left behind: the plain pointer with the
  // key's error code in bits 61-62 (01 for IA/DA, 10 for IB/DB), which no load or branch can use;
  // `key` then says which family (IA or IB for instruction keys; the data keys give the same codes).
  bool poisoned(uint64_t pointer, PacKey* key = nullptr) const;

 private:
  // The 64-bit MAC of the architecture's QARMA-64 cipher for (data, modifier) under `key`
  // (ComputePAC in the Arm Architecture Reference Manual).
  static uint64_t computePac(uint64_t data, uint64_t modifier, const Key128& key);

  Key128 keys_[5];
};

}  // namespace emu
