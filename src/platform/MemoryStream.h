// A fetched body held in memory.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/Platform.h"

namespace tessaloom {

class MemoryStream : public Stream {
public:
    explicit MemoryStream(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}

    bool Stat(std::uint64_t& size) override;
    bool Read(void* buffer, std::uint32_t count, std::uint32_t& read) override;

private:
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_position = 0;
};

}  // namespace tessaloom
