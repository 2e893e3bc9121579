#pragma once
// Writing a JPEG file made larger than its encoding by filler bytes, for upload sites that want
// a file of at least some size when no quality gives one: the bytes go where every decoder
// passes over them, so the picture's pixels stay exactly the same.

#include <cstdint>
#include <span>
#include <string>

namespace quillane {

// Writes the JPEG under path (once, through a temporary file put in place only when complete),
// with `filler` bytes added after its start marker and its JFIF block: comment segments of
// spaces, each at most 65,537 bytes, or, when fewer than four bytes are missing (too few for
// a segment), as many 0xFF fill bytes, which may precede any marker. Returns 0 or the errno of
// the failure; the file is then absent, or keeps its earlier content.
int WriteJpegWithFiller(const std::string& path, std::span<const std::uint8_t> jpeg,
                        std::int64_t filler);

}  // namespace quillane
