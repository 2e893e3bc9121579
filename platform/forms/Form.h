#pragma once
// A window of the forms runtime. A derived form owns its controls as members and registers
// them with Add, in the order they are created; the view shows them.

#include <functional>
#include <string>
#include <vector>

#include "platform/forms/Control.h"

namespace quillane {

class Form {
  public:
    Form() = default;
    virtual ~Form();

    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    std::string Caption;
    float ClientWidth = 0;          // pixels
    float ClientHeight = 0;         // pixels
    bool FixedSingleBorder = true;  // a thin frame that cannot be dragged to resize
    bool MinButton = false;
    bool MaxButton = false;
    bool CenterOnScreen = true;

    // The controls in creation order.
    const std::vector<Control*>& Controls() const { return m_controls; }
    // Registers a control owned by the derived form; it must outlive the form's use of it.
    void Add(Control& control);

    // The load event: runs OnLoad once, before the window is first shown, through the event
    // edge (ReportRuntimeErrors). Later calls do nothing.
    std::function<void()> OnLoad;
    void Load();
    bool Loaded() const { return m_loaded; }

  private:
    std::vector<Control*> m_controls;
    bool m_loaded = false;
};

}  // namespace quillane
