#pragma once
// Fault injection for tests of the JPEG library layer and its callers: makes ijlInit fail, or
// the file fail at creation, after a number of bytes written, at the flush or at the final rename,
// or the flush of the folders written into, so the clean-up and reporting paths can be exercised on
// any machine. Not for production use; not thread-safe.

#include <cstdint>

namespace quillane {

struct IjlFaults {
    std::int32_t InitStatus = 0;                // non-zero: ijlInit returns this status
    int CreateErrno = 0;                        // non-zero: creating the file fails with it
    std::int64_t WriteBytesBeforeFailure = -1;  // >= 0: each file fails after so many bytes
    int RenameErrno = 0;                        // non-zero: putting the file in place fails
    int SyncErrno = 0;            // non-zero: flushing the file's data to the disk fails with it
    bool NoUnnamedFiles = false;  // as on a file system without O_TMPFILE: a named temporary
    int FolderSyncErrno = 0;      // non-zero: flushing a written folder fails with it
};

// Replaces the faults in effect; IjlFaults{} turns all of them off.
void IjlSetFaultsForTesting(const IjlFaults& faults);

// The faults in effect, read by the layer itself.
const IjlFaults& IjlFaultsInEffect();

}  // namespace quillane
