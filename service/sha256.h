// SHA-256 of a run of bytes, for naming exactly which configuration a stick
// was given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace service {

class Sha256 {
  public:
    Sha256();
    void Add(const void* data, std::size_t size);
    // The digest as 64 lower-case hex digits; the object is spent after.
    std::string HexDigest();

  private:
    void Block(const std::uint8_t* block);

    std::uint32_t m_state[8];
    std::uint8_t m_pending[64];
    std::size_t m_pendingSize = 0;
    std::uint64_t m_total = 0;
};

std::string Sha256Hex(const std::string& bytes);

}  // namespace service
