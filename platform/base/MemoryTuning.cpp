#include "platform/base/MemoryTuning.h"

#include <malloc.h>

namespace quillane {

void ReturnLargeBuffersToTheSystem() {
    // glibc raises its mmap threshold dynamically after each large free, so a run over big
    // pictures ends up serving them from the heap, where freed blocks linger; fixing the
    // threshold stops that. Measured on the wallpaper corpus: 10-20 MB less at the peak.
    constexpr int kLargeBufferBytes = 256 * 1024;
    mallopt(M_MMAP_THRESHOLD, kLargeBufferBytes);
}

}  // namespace quillane
