#include "platform/ijl/IjlTesting.h"

namespace quillane {

namespace {
IjlFaults& Faults() {
    static IjlFaults faults;
    return faults;
}
}  // namespace

void IjlSetFaultsForTesting(const IjlFaults& faults) {
    Faults() = faults;
}

const IjlFaults& IjlFaultsInEffect() {
    return Faults();
}

}  // namespace quillane
