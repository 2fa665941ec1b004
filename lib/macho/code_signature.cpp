#include "code_signature.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "bytes.h"

#ifdef __APPLE__
#include <CommonCrypto/CommonDigest.h>
#else
#include <openssl/evp.h>
#endif

namespace macho {
namespace {

constexpr uint32_t kSuperBlob = 0xfade0cc0;
constexpr uint32_t kCodeDirectory = 0xfade0c02;
constexpr uint32_t kAlternateCodeDirectories = 0x1000;  // slot types 0x1000-0x1004
constexpr uint32_t kSignatureSlot = 0x10000;            // the CMS blob: no hash slot

// Big-endian reads inside the signature, bounds-checked against it.
class Blob {
 public:
  Blob(const std::vector<uint8_t>& bytes, uint64_t begin, uint64_t end) : bytes_(bytes), begin_(begin), end_(end) {}
  bool has(uint64_t offset, uint64_t length) const { return inside(offset, length, end_ - begin_); }
  uint32_t u32(uint64_t offset) const {
    const uint8_t* p = bytes_.data() + begin_ + offset;
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
  }
  uint8_t u8(uint64_t offset) const { return bytes_[begin_ + offset]; }
  const uint8_t* at(uint64_t offset) const { return bytes_.data() + begin_ + offset; }

 private:
  const std::vector<uint8_t>& bytes_;
  uint64_t begin_, end_;
};

// The digest of `length` bytes for a code directory's hash type, or empty for an unknown type.
std::vector<uint8_t> digest(uint8_t type, const uint8_t* data, size_t length) {
  std::vector<uint8_t> out;
#ifdef __APPLE__
  switch (type) {
    case 1: out.resize(CC_SHA1_DIGEST_LENGTH); CC_SHA1(data, static_cast<CC_LONG>(length), out.data()); break;
    case 2:
    case 3: out.resize(CC_SHA256_DIGEST_LENGTH); CC_SHA256(data, static_cast<CC_LONG>(length), out.data()); break;
    case 4: out.resize(CC_SHA384_DIGEST_LENGTH); CC_SHA384(data, static_cast<CC_LONG>(length), out.data()); break;
    default: break;
  }
#else
  const EVP_MD* md = type == 1 ? EVP_sha1() : type == 2 || type == 3 ? EVP_sha256() : type == 4 ? EVP_sha384() : nullptr;
  if (md == nullptr) return out;
  out.resize(EVP_MAX_MD_SIZE);
  unsigned int size = 0;
  if (EVP_Digest(data, length, out.data(), &size, md, nullptr) != 1) return {};
  out.resize(size);
#endif
  if (type == 3 && out.size() > 20) out.resize(20);  // truncated SHA-256
  return out;
}

// Checks one code directory at `cd` (an offset into the signature) against the file.
std::string checkDirectory(const Image& image, const Blob& signature, uint32_t cd,
                           const std::vector<std::pair<uint32_t, uint32_t>>& slots) {
  if (!signature.has(cd, 44)) return "a code directory lies outside the signature";
  const uint32_t length = signature.u32(cd + 4);
  const uint32_t hashOffset = signature.u32(cd + 16);
  const uint32_t specialSlots = signature.u32(cd + 24);
  const uint32_t codeSlots = signature.u32(cd + 28);
  const uint32_t codeLimit = signature.u32(cd + 32);
  const uint8_t hashSize = signature.u8(cd + 36);
  const uint8_t hashType = signature.u8(cd + 37);
  const uint8_t pageShift = signature.u8(cd + 39);
  if (!signature.has(cd, length) || hashOffset > length ||
      uint64_t{specialSlots} * hashSize > hashOffset ||
      uint64_t{hashOffset} + uint64_t{codeSlots} * hashSize > length) {
    return "a code directory's hashes lie outside it";
  }
  static const uint8_t kNothing = 0;
  if (digest(hashType, &kNothing, 0).size() != hashSize) {
    return "a code directory has hash type " + std::to_string(hashType) + " of size " + std::to_string(hashSize) +
           ", which is not a known hash";
  }
  if (codeLimit != image.codeSignatureOffset) {
    return "the signature covers the file up to " + hex(codeLimit) + ", but the signature starts at " +
           hex(image.codeSignatureOffset);
  }
  if (pageShift > 30) return "the code directory's page shift " + std::to_string(pageShift) + " is out of range";
  const uint64_t page = pageShift == 0 ? codeLimit : uint64_t{1} << pageShift;
  if (page == 0 || codeSlots != (codeLimit + page - 1) / page) {
    return "the code directory has " + std::to_string(codeSlots) + " page hashes for " + hex(codeLimit) + " bytes";
  }
  for (uint32_t i = 0; i < codeSlots; ++i) {
    uint64_t begin = i * page, end = std::min<uint64_t>(begin + page, codeLimit);
    std::vector<uint8_t> actual = digest(hashType, image.bytes.data() + begin, end - begin);
    if (std::memcmp(actual.data(), signature.at(cd + hashOffset + uint64_t{i} * hashSize), hashSize) != 0) {
      return "the hash of page " + std::to_string(i) + " (" + hex(begin) + "-" + hex(end) +
             ") does not match: the file changed after it was signed";
    }
  }
  // Special slot N (stored N hashes before the code hashes) is the hash of the blob of type N, or
  // zeros where there is none.
  for (uint32_t slot = 1; slot <= specialSlots; ++slot) {
    const uint8_t* stored = signature.at(cd + hashOffset - uint64_t{slot} * hashSize);
    std::vector<uint8_t> expected(hashSize, 0);
    for (const auto& [type, offset] : slots) {
      if (type != slot) continue;
      if (!signature.has(offset, 8) || !signature.has(offset, signature.u32(offset + 4))) {
        return "the blob of slot " + std::to_string(slot) + " lies outside the signature";
      }
      expected = digest(hashType, signature.at(offset), signature.u32(offset + 4));
      expected.resize(hashSize);
    }
    if (std::memcmp(stored, expected.data(), hashSize) != 0) {
      return "the hash of special slot " + std::to_string(slot) + " does not match its blob";
    }
  }
  return "";
}

}  // namespace

std::string codeSignatureProblem(const Image& image) {
  if (image.codeSignatureSize == 0) return "no code signature (LC_CODE_SIGNATURE)";
  // The reader checked that the signature lies inside the file.
  Blob signature(image.bytes, image.codeSignatureOffset, uint64_t{image.codeSignatureOffset} + image.codeSignatureSize);
  if (!signature.has(0, 12) || signature.u32(0) != kSuperBlob) return "the code signature is not an embedded signature";
  const uint32_t count = signature.u32(8);
  if (!signature.has(12, uint64_t{count} * 8)) return "the code signature's index lies outside it";
  std::vector<std::pair<uint32_t, uint32_t>> slots;
  for (uint32_t i = 0; i < count; ++i) slots.push_back({signature.u32(12 + 8 * i), signature.u32(16 + 8 * i)});
  int directories = 0;
  for (const auto& [type, offset] : slots) {
    if (type != 0 && (type < kAlternateCodeDirectories || type >= kSignatureSlot)) continue;
    if (!signature.has(offset, 4) || signature.u32(offset) != kCodeDirectory) return "a code directory slot holds no code directory";
    std::string problem = checkDirectory(image, signature, offset, slots);
    if (!problem.empty()) return problem;
    ++directories;
  }
  if (directories == 0) return "the code signature has no code directory";
  return "";
}

}  // namespace macho
