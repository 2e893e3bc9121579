#pragma once
// A plain horizontal progress bar with single-precision minimum, maximum and value.

#include <string>

#include "platform/forms/Control.h"

namespace quillane {

class ProgressBar : public Control {
  public:
    ProgressBar(std::string name, float left, float top, float width, float height, int tabIndex,
                float min, float max);

    float Min() const { return m_min; }
    float Max() const { return m_max; }
    float Value() const { return m_value; }
    // A value above Max shows Max and one below Min shows Min; neither fails, so a run that
    // counts one file too many never stops on its progress bar.
    void SetValue(float value);

  private:
    float m_min;
    float m_max;
    float m_value;
};

}  // namespace quillane
