#include "pointer_auth.h"

#include <array>

namespace emu {
namespace {

// ---- QARMA-64 on sixteen 4-bit cells (cell i is bits 4i..4i+3; row r is cells 4r..4r+3) ----

using Cells = std::array<uint8_t, 16>;

// The state's cell permutation: output cell i is input cell kStateShuffle[i].
constexpr Cells kStateShuffle{13, 6, 11, 0, 7, 12, 1, 10, 8, 3, 14, 5, 2, 9, 4, 15};
// The tweak's cell permutation, and the output cells that also go through the tweak's LFSR step.
constexpr Cells kTweakShuffle{4, 5, 6, 7, 11, 2, 3, 8, 12, 13, 14, 15, 0, 1, 10, 9};
constexpr std::array<bool, 16> kTweakStepped{false, false, true,  false, true,  false, false, true,
                                             false, false, false, true,  true,  false, true,  true};
constexpr Cells kSbox{0xb, 0x6, 0x8, 0xf, 0xc, 0x0, 0x9, 0xe, 0x3, 0x7, 0x4, 0x5, 0xd, 0x2, 0x1, 0xa};
constexpr uint64_t kRoundConstants[5] = {0x0000000000000000, 0x13198A2E03707344, 0xA4093822299F31D0,
                                         0x082EFA98EC4E6C89, 0x452821E638D01377};
constexpr uint64_t kAlpha = 0xC0AC29B7C97C50DD;

constexpr Cells inverse(const Cells& table) {
  Cells out{};
  for (int i = 0; i < 16; ++i) out[table[i]] = static_cast<uint8_t>(i);
  return out;
}
constexpr Cells kStateUnshuffle = inverse(kStateShuffle);
constexpr Cells kInverseSbox = inverse(kSbox);

uint8_t cell(uint64_t value, int i) { return (value >> (4 * i)) & 0xf; }

uint64_t shuffle(uint64_t value, const Cells& from) {
  uint64_t out = 0;
  for (int i = 0; i < 16; ++i) out |= uint64_t{cell(value, from[i])} << (4 * i);
  return out;
}

uint64_t substitute(uint64_t value, const Cells& sbox) {
  uint64_t out = 0;
  for (int i = 0; i < 16; ++i) out |= uint64_t{sbox[cell(value, i)]} << (4 * i);
  return out;
}

// Every cell rotated left by n bits, all at once.
uint64_t rotateCells(uint64_t value, int n) {
  const uint64_t low = 0x1111111111111111 * ((1u << (4 - n)) - 1);  // the bits that move up within a cell
  return ((value & low) << n) | ((value & ~low) >> (4 - n));
}

uint64_t rotateRight(uint64_t value, int bits) { return (value >> bits) | (value << (64 - bits)); }

// MixColumns with the involutory circulant matrix (0, rho, rho^2, rho): each cell becomes the XOR of
// the three other cells of its column, the one d rows below (cyclically) rotated by 1, 2, 1 bits for
// d = 1, 2, 3. A row is 16 bits, so "d rows below" is a 16d-bit rotation of the whole state.
uint64_t mix(uint64_t value) {
  const uint64_t once = rotateCells(value, 1), twice = rotateCells(value, 2);
  return rotateRight(once, 16) ^ rotateRight(twice, 32) ^ rotateRight(once, 48);
}

// The tweak's LFSR step on one cell, b3 b2 b1 b0 -> (b0^b1) b3 b2 b1, and its inverse.
uint8_t stepCell(uint8_t c) { return static_cast<uint8_t>((c >> 1) | (((c ^ (c >> 1)) & 1) << 3)); }
uint8_t unstepCell(uint8_t c) { return static_cast<uint8_t>(((c << 1) & 0xf) | ((c & 1) ^ (c >> 3))); }

uint64_t tweakForward(uint64_t tweak) {
  uint64_t out = 0;
  for (int i = 0; i < 16; ++i) {
    uint8_t c = cell(tweak, kTweakShuffle[i]);
    out |= uint64_t{kTweakStepped[i] ? stepCell(c) : c} << (4 * i);
  }
  return out;
}

uint64_t tweakBackward(uint64_t tweak) {
  uint64_t out = 0;
  for (int i = 0; i < 16; ++i) {
    uint8_t c = cell(tweak, i);
    out |= uint64_t{kTweakStepped[i] ? unstepCell(c) : c} << (4 * kTweakShuffle[i]);
  }
  return out;
}

// ---- pointer layout ----

constexpr int kBottom = PointerAuth::kAddressBits;  // lowest MAC bit
constexpr uint64_t kAddressMask = (uint64_t{1} << kBottom) - 1;
constexpr uint64_t kBit55 = uint64_t{1} << 55;
constexpr uint64_t kErrorBits = uint64_t{3} << 61;

// Bits kBottom..63 all equal to bit 55 (the half of the address space the pointer belongs to).
uint64_t extension(uint64_t pointer) { return (pointer & kBit55) ? ~kAddressMask : 0; }

}  // namespace

const char* keyName(PacKey key) {
  static const char* const names[] = {"IA", "IB", "DA", "DB"};
  return names[static_cast<int>(key) & 3];
}

uint64_t blendDiscriminator(uint64_t address, uint16_t discriminator) {
  return (address & 0x0000ffffffffffff) | (uint64_t{discriminator} << 48);
}

uint64_t PointerAuth::computePac(uint64_t data, uint64_t modifier, const Key128& key) {
  // The architecture names the key's upper half key0 and its lower half key1.
  const uint64_t key0 = key.high, key1 = key.low;
  const uint64_t modk0 = (key0 << 63) | ((key0 >> 1) ^ (key0 >> 63));
  uint64_t tweak = modifier;
  uint64_t state = data ^ key0;
  for (int round = 0; round <= 4; ++round) {
    state ^= key1 ^ tweak ^ kRoundConstants[round];
    if (round > 0) state = mix(shuffle(state, kStateShuffle));
    state = substitute(state, kSbox);
    tweak = tweakForward(tweak);
  }
  state ^= modk0 ^ tweak;
  state = substitute(mix(shuffle(state, kStateShuffle)), kSbox);
  state = mix(shuffle(state, kStateShuffle)) ^ key1;
  state = shuffle(mix(substitute(shuffle(state, kStateUnshuffle), kInverseSbox)), kStateUnshuffle);
  state ^= key0 ^ tweak;
  for (int round = 0; round <= 4; ++round) {
    state = substitute(state, kInverseSbox);
    if (round < 4) state = shuffle(mix(state), kStateUnshuffle);
    tweak = tweakBackward(tweak);
    state ^= key1 ^ tweak ^ kRoundConstants[4 - round] ^ kAlpha;
  }
  return state ^ modk0;
}

PointerAuth::PointerAuth()
    // Fixed keys: every run signs alike, so failures reproduce.
    : keys_{{0x6f2b9e41d3a7c058, 0x15c3e8a24b7d9f06},
            {0xa83d17f05c6e92b4, 0x9e0471c2d5b38a6f},
            {0x3b8f6d20e9a14c75, 0x72e5094bc1fd3a68},
            {0xd4a6028fb37e15c9, 0x0c7b3e96a5d2f814},
            {0x5e19c7a3082bf64d, 0xe3f8a1054d6c97b2}} {}

uint64_t PointerAuth::sign(uint64_t pointer, PacKey key, uint64_t modifier) const {
  if (pointer == 0) return 0;
  // Without top-byte tagging the half of the address space is bit 63's; bit 55 keeps it in the result.
  const uint64_t ext = (pointer >> 63) ? ~kAddressMask : 0;
  uint64_t pac = computePac((pointer & kAddressMask) | ext, modifier, this->key(key));
  // Upper bits that are not a plain extension corrupt the MAC, so the result never authenticates.
  if ((pointer & ~kAddressMask) != ext) pac ^= uint64_t{1} << 63;
  return (pac & ~kAddressMask & ~kBit55) | (ext & kBit55) | (pointer & kAddressMask);
}

std::optional<uint64_t> PointerAuth::authenticate(uint64_t pointer, PacKey key, uint64_t modifier) const {
  if (pointer == 0) return 0;
  const uint64_t plain = strip(pointer);
  const uint64_t pac = computePac(plain, modifier, this->key(key));
  if (((pac ^ pointer) & ~kAddressMask & ~kBit55) != 0) return std::nullopt;
  return plain;
}

uint64_t PointerAuth::strip(uint64_t pointer) const { return (pointer & kAddressMask) | extension(pointer); }

bool PointerAuth::poisoned(uint64_t pointer, PacKey* key) const {
  const uint64_t code = (pointer & kErrorBits) >> 61;
  if (((pointer ^ extension(pointer)) & ~kAddressMask & ~kErrorBits) != 0 || (code != 1 && code != 2)) return false;
  if (key != nullptr) *key = code == 1 ? PacKey::IA : PacKey::IB;
  return true;
}

}  // namespace emu
