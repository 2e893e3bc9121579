#include "imaging/TimeOfDay.h"

#include <chrono>
#include <ctime>

namespace quillane {

float Timer() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const double sinceMidnight = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
    // to_time_t truncates; put back the part of the second it dropped.
    const double fraction = duration<double>(now - system_clock::from_time_t(seconds)).count();
    return static_cast<float>(sinceMidnight + fraction);
}

}  // namespace quillane
