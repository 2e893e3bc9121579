#include "platform/qtview/FormWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <string>

#include "platform/base/StopRequest.h"
#include "platform/forms/CommandButton.h"
#include "platform/forms/Label.h"
#include "platform/forms/ProgressBar.h"
#include "platform/forms/TextBox.h"
#include "platform/qtview/BlankWrapLabel.h"
#include "platform/qtview/FallbackFont.h"
#include "platform/qtview/FolderWidgets.h"
#include "platform/qtview/IconArt.h"
#include "platform/qtview/QtHost.h"

namespace quillane {

namespace {

int pixels(float value) {
    return static_cast<int>(std::lround(value));
}

// A control's name as the widget's object name: "txtW", or "height(1)" for an array element.
QString objectNameOf(const Control& control) {
    QString name = QString::fromStdString(control.Name());
    if (control.Index() != kNoControlIndex) name += QStringLiteral("(%1)").arg(control.Index());
    return name;
}

// What every control shares: place, visibility, availability and an explicit font.
void syncCommon(const Control& control, QWidget* widget) {
    widget->setGeometry(pixels(control.Left()), pixels(control.Top()), pixels(control.Width()),
                        pixels(control.Height()));
    widget->setVisible(control.Visible());
    widget->setEnabled(control.Enabled());
    if (control.Font()) {
        widget->setFont(fontFor(*control.Font()));
    } else {
        widget->setFont(QFont());  // back to the window's font
    }
}

}  // namespace

FormWindow::FormWindow(Form& form, QWidget* parent) : QWidget(parent), m_form(form) {
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (form.MinButton) flags |= Qt::WindowMinimizeButtonHint;
    if (form.MaxButton) flags |= Qt::WindowMaximizeButtonHint;
    setWindowFlags(flags);
    setWindowTitle(QString::fromStdString(form.Caption));
    setWindowIcon(quillaneIcon());
    setFont(windowFont());
    const QSize client(pixels(form.ClientWidth), pixels(form.ClientHeight));
    if (form.FixedSingleBorder) {
        setFixedSize(client);
    } else {
        resize(client);
    }

    for (Control* control : form.Controls()) {
        std::function<void()> sync;
        QWidget* widget = createWidget(*control, sync);
        if (widget == nullptr) continue;
        widget->setObjectName(objectNameOf(*control));
        sync();
        m_bindings.push_back({control, widget, control->Subscribe(sync)});
    }
    fitFontWithoutSongFace(*this);
    const std::vector<QWidget*> chain = tabChain();
    for (size_t i = 1; i < chain.size(); ++i) setTabOrder(chain[i - 1], chain[i]);
}

FormWindow::~FormWindow() {
    for (const Binding& binding : m_bindings) {
        binding.control->Unsubscribe(binding.token);
    }
}

QWidget* FormWindow::createWidget(Control& control, std::function<void()>& sync) {
    // Each kind gets its widget and a sync function that redraws it from the model; the sync
    // runs once now and again whenever the model says it changed.
    QWidget* widget = nullptr;
    switch (control.Kind()) {
        case ControlKind::Label: {
            auto& model = static_cast<Label&>(control);
            QLabel* label = model.WordWrap() ? new BlankWrapLabel(this) : new QLabel(this);
            label->setTextFormat(Qt::PlainText);  // a folder path is text, never markup
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            widget = label;
            sync = [&model, label] {
                syncCommon(model, label);
                label->setWordWrap(model.WordWrap());
                label->setText(QString::fromStdString(model.Caption()));
            };
            break;
        }
        case ControlKind::TextBox: {
            auto& model = static_cast<TextBox&>(control);
            auto* edit = new QLineEdit(this);
            connect(edit, &QLineEdit::textEdited, edit,
                    [&model](const QString& text) { model.SetText(text.toStdString()); });
            widget = edit;
            sync = [&model, edit] {
                syncCommon(model, edit);
                const QString text = QString::fromStdString(model.Text());
                if (edit->text() != text) edit->setText(text);
            };
            break;
        }
        case ControlKind::CommandButton: {
            auto& model = static_cast<CommandButton&>(control);
            auto* button = new QPushButton(this);
            // Not pressed by Enter in a field: only a click or the space bar starts it.
            button->setAutoDefault(false);
            connect(button, &QPushButton::clicked, button, [this, &model] {
                ++m_clicksRunning;
                model.Click();
                // A stop asked for by closing the window served this run alone.
                if (--m_clicksRunning == 0) ClearStopRequest();
            });
            widget = button;
            sync = [&model, button] {
                syncCommon(model, button);
                button->setDefault(model.Default);
                button->setText(QString::fromStdString(model.Caption));
            };
            break;
        }
        case ControlKind::DriveListBox: {
            auto& model = static_cast<DriveListBox&>(control);
            auto* combo = new DriveComboBox(model, this);
            widget = combo;
            sync = [&model, combo] {
                syncCommon(model, combo);
                combo->syncFromModel();
            };
            break;
        }
        case ControlKind::DirListBox: {
            auto& model = static_cast<DirListBox&>(control);
            auto* list = new FolderListWidget(model, this);
            widget = list;
            sync = [&model, list] {
                syncCommon(model, list);
                list->syncFromModel();
            };
            break;
        }
        case ControlKind::ProgressBar: {
            auto& model = static_cast<ProgressBar&>(control);
            auto* bar = new QProgressBar(this);
            bar->setTextVisible(false);  // a plain bar, no percentage
            widget = bar;
            sync = [&model, bar] {
                syncCommon(model, bar);
                bar->setRange(pixels(model.Min()), pixels(model.Max()));
                bar->setValue(pixels(model.Value()));
            };
            break;
        }
        case ControlKind::PictureBox:
            // Off-screen drawing surfaces: nobody sees them, so they get no widget.
            return nullptr;
    }
    return widget;
}

std::vector<QWidget*> FormWindow::tabChain() const {
    std::vector<const Binding*> focusable;
    for (const Binding& binding : m_bindings) {
        const Control& control = *binding.control;
        if (binding.widget != nullptr && (binding.widget->focusPolicy() & Qt::TabFocus) &&
            control.Visible() && control.Enabled()) {
            focusable.push_back(&binding);
        }
    }
    std::stable_sort(focusable.begin(), focusable.end(), [](const Binding* a, const Binding* b) {
        return a->control->TabIndex() < b->control->TabIndex();
    });
    std::vector<QWidget*> chain;
    for (const Binding* binding : focusable) chain.push_back(binding->widget);
    return chain;
}

QWidget* FormWindow::widgetFor(const Control& control) const {
    for (const Binding& binding : m_bindings) {
        if (binding.control == &control) return binding.widget;
    }
    return nullptr;
}

void FormWindow::centreOnScreen() {
    QScreen* target = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (target == nullptr) return;
    QRect frame = frameGeometry();
    frame.moveCenter(target->availableGeometry().center());
    move(frame.topLeft());
}

void FormWindow::closeEvent(QCloseEvent* event) {
    if (m_clicksRunning > 0) RequestStop();
    QWidget::closeEvent(event);
}

void FormWindow::loadAndShow() {
    m_form.Load();
    setWindowTitle(QString::fromStdString(m_form.Caption));
    if (m_form.CenterOnScreen) centreOnScreen();
    show();
    // The frame's size is known only once the window is shown; centre again with it.
    if (m_form.CenterOnScreen) centreOnScreen();
    const std::vector<QWidget*> chain = tabChain();
    if (!chain.empty()) chain.front()->setFocus(Qt::OtherFocusReason);
}

}  // namespace quillane
