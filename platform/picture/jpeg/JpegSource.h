#pragma once
// Where a JPEG's bytes come from as it is decoded: memory the caller keeps, or an open regular
// file read a window at a time, so that a large photograph is never held whole. Readers that
// jump back (the reader that goes over the file once per component) just ask for the bytes
// again.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace quillane {

struct JpegSource {
    JpegSource(std::span<const std::uint8_t> memory)  // NOLINT: bytes in memory are a source
        : Memory(memory), Size(memory.size()) {}
    JpegSource(const std::vector<std::uint8_t>& memory)  // NOLINT: as above
        : JpegSource(std::span<const std::uint8_t>(memory)) {}
    // A regular file open for reading, `size` bytes long when it was opened: bytes it may have
    // gained since are not read. Read by offset, so several windows may share the descriptor.
    JpegSource(int file, std::size_t size) : File(file), Size(size) {}

    std::span<const std::uint8_t> Memory;
    int File = -1;  // -1: the bytes are in Memory
    std::size_t Size = 0;
};

class JpegWindow {
  public:
    // The longest run of bytes From guarantees: any marker segment and a little more.
    static constexpr std::size_t kLongestRun = std::size_t{1} << 17;
    // What a window over a file holds.
    static constexpr std::size_t kWindowBytes = std::size_t{1} << 18;

    explicit JpegWindow(const JpegSource& source) : m_source(source) {}
    JpegWindow(const JpegWindow&) = delete;
    JpegWindow& operator=(const JpegWindow&) = delete;

    std::size_t Size() const { return m_source.Size; }

    // The bytes from `at` on, at least `count` (up to kLongestRun) of them where the source has
    // that many; empty at or past its end. Valid until the next call. A file that cannot be read
    // or has shrunk ends early; Failed() then tells the one from the other.
    std::span<const std::uint8_t> From(std::size_t at, std::size_t count) {
        if (m_source.File < 0) {
            return at < m_source.Size ? m_source.Memory.subspan(at)
                                      : std::span<const std::uint8_t>{};
        }
        if (at >= m_start && at - m_start + count <= m_length) {
            return std::span<const std::uint8_t>(m_held.get() + (at - m_start),
                                                 m_length - (at - m_start));
        }
        return Load(at, count);
    }

    // The byte at `at`, or -1 at or past the end.
    int ByteAt(std::size_t at) {
        const std::span<const std::uint8_t> bytes = From(at, 1);
        return bytes.empty() ? -1 : bytes[0];
    }

    // An error other than the end of the file ended a read; its errno, else 0.
    int Failed() const { return m_error; }

  private:
    std::span<const std::uint8_t> Load(std::size_t at, std::size_t count);

    JpegSource m_source;
    // A file's bytes from m_start on, m_length of them. The buffer is never cleared: read()
    // fills what is used, and clearing 256 KiB for each file cost more than a small picture's
    // header walk. It only grows, up to m_capacity bytes.
    std::unique_ptr<std::uint8_t[]> m_held;
    std::size_t m_capacity = 0;
    std::size_t m_start = 0;
    std::size_t m_length = 0;
    int m_error = 0;
};

}  // namespace quillane
