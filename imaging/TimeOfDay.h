#pragma once
// The time of day as the forms runtime's Timer gives it: seconds since local midnight, with
// their fraction, in single precision (so steps of about 1/128 s late in the day).

namespace quillane {

float Timer();

}  // namespace quillane
