#pragma once
// The Qt window of a form: one widget per visible kind of control, placed at the control's
// pixel geometry in a client area of the form's fixed size, kept in step with the models.

#include <QWidget>
#include <functional>
#include <vector>

#include "platform/forms/Form.h"

namespace quillane {

class FormWindow : public QWidget {
  public:
    // Builds the widgets from the form's controls as they are now. The form must outlive the
    // window.
    explicit FormWindow(Form& form, QWidget* parent = nullptr);
    ~FormWindow() override;

    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    // Runs the form's load event, then shows the window (centred when the form asks for it)
    // with the focus on the first control of the tab order.
    void loadAndShow();

    // Moves the window so that it stands in the middle of its screen's free area.
    void centreOnScreen();

    // The widget showing control, or nullptr for a control without one (the off-screen
    // picture boxes).
    QWidget* widgetFor(const Control& control) const;

    // The widgets that take the focus with the Tab key, in tab order.
    std::vector<QWidget*> tabChain() const;

  protected:
    // Closing the window while a click is still being handled (a run, which lets the window
    // answer the desktop between pictures) asks that run to stop after the picture being
    // written; the window closes at once and the program ends when the run has stopped.
    void closeEvent(QCloseEvent* event) override;

  private:
    struct Binding {
        Control* control;
        QWidget* widget;
        int token;
    };

    // The widget for control (nullptr for none) and, in sync, what redraws it from the model.
    QWidget* createWidget(Control& control, std::function<void()>& sync);

    Form& m_form;
    std::vector<Binding> m_bindings;
    int m_clicksRunning = 0;  // button clicks whose handler has not returned yet
};

}  // namespace quillane
