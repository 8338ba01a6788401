#include "platform/MemoryStream.h"

#include <algorithm>
#include <cstring>

namespace tessaloom {

bool MemoryStream::Stat(std::uint64_t& size) {
    size = m_bytes.size();
    return true;
}

bool MemoryStream::Read(void* buffer, std::uint32_t count, std::uint32_t& read) {
    std::size_t available = m_bytes.size() - m_position;
    std::size_t n = std::min<std::size_t>(count, available);
    if (n > 0) std::memcpy(buffer, m_bytes.data() + m_position, n);
    m_position += n;
    read = static_cast<std::uint32_t>(n);
    return true;
}

}  // namespace tessaloom
