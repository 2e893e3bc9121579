#include "imaging/PixelGrid.h"

#include "platform/base/RuntimeError.h"

namespace quillane {

void PixelGrid::OutOfRange() {
    RaiseError(ErrorNumber::SubscriptOutOfRange);
}

}  // namespace quillane
