#pragma once
// Directory enumeration: one bare file name per call from a single, process-wide cursor.
// Names are byte strings exactly as the file system stores them; nothing is converted.

#include <string>

namespace quillane {

// Attribute bits of the enumeration; 0 asks for normal files only.
inline constexpr int vbNormal = 0;
inline constexpr int vbHidden = 2;      // also names starting with "."
inline constexpr int vbSystem = 4;      // also devices, FIFOs and sockets
inline constexpr int vbDirectory = 16;  // also folders (never "." and "..")

// Starts an enumeration of pattern, "folder/mask" (mask "*.*" or "*" matches every name; "*"
// and "?" are wildcards, ASCII letters match either case; a pattern without "/" means the
// current folder), and returns its first name, "" when there is none. Normal files are regular
// files and symbolic links to regular files whose names do not start with "."; nothing is
// opened to decide, so a FIFO never blocks. Names come sorted ASCII-case-insensitively, ties
// broken by bytes. Raises Path not found (76) when the folder does not exist and Path/File
// access error (75) when it cannot be read.
std::string Dir(const std::string& pattern, int attributes);

// The next name of the current enumeration, "" at its end (and after it).
std::string Dir();

}  // namespace quillane
