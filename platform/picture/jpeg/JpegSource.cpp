#include "platform/picture/jpeg/JpegSource.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

namespace quillane {

std::span<const std::uint8_t> JpegWindow::Load(std::size_t at, std::size_t count) {
    m_length = 0;
    m_start = at;
    if (at >= m_source.Size) return {};
    // Whole windows, unless the caller needs more than one: the bytes after `at` are nearly
    // always read next.
    const std::size_t want = std::min(std::max(count, kWindowBytes), m_source.Size - at);
    if (m_capacity < want) {
        // Running out of memory ends the bytes here, as a read error would.
        m_held.reset(new (std::nothrow) std::uint8_t[want]);
        m_capacity = m_held ? want : 0;
        if (!m_held) {
            m_error = ENOMEM;
            return {};
        }
    }
    std::size_t got = 0;
    while (got < want) {
        const ssize_t n =
            ::pread(m_source.File, m_held.get() + got, want - got, static_cast<off_t>(at + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) m_error = errno;
        if (n <= 0) break;  // cut short since it was opened: the picture ends here
        got += static_cast<std::size_t>(n);
    }
    m_length = got;
    return {m_held.get(), got};
}

}  // namespace quillane
