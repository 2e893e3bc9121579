#include "platform/forms/Form.h"

#include "platform/forms/Events.h"

namespace quillane {

Form::~Form() = default;

void Form::Add(Control& control) {
    m_controls.push_back(&control);
}

void Form::Load() {
    if (m_loaded) return;
    m_loaded = true;
    ReportRuntimeErrors(OnLoad);
}

}  // namespace quillane
