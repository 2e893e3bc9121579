#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <memory>
#include <string>
#include <vector>

#include "app/FormMain.h"
#include "platform/qtview/FolderWidgets.h"
#include "platform/qtview/FormWindow.h"
#include "platform/qtview/QtHost.h"
#include "support/FolderFixtures.h"
#include "support/LabelsFit.h"

namespace quillane {
namespace {

// The main form's window with a fixed volume list, message boxes recorded and a real
// temporary folder to browse.
class FormWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { open({{"/", "System"}}); }

    // The drive list reads the volumes when the window is built.
    void open(std::vector<Volume> volumes) {
        m_window.reset();
        m_form.reset();
        m_volumes.reset();
        m_volumes = std::make_unique<testing::FixedVolumes>(std::move(volumes));
        m_form = std::make_unique<FormMain>();
        m_window = std::make_unique<FormWindow>(*m_form);
    }

    template <class W>
    W* widget(const char* name) const {
        auto* found = m_window->findChild<W*>(QString::fromUtf8(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    testing::TempFolder m_temp;
    testing::MessageRecorder m_recorder;
    std::unique_ptr<testing::FixedVolumes> m_volumes;
    std::unique_ptr<FormMain> m_form;
    std::unique_ptr<FormWindow> m_window;
};

void sendKey(QWidget* target, int key, const QString& text = {}) {
    for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent event(type, key, Qt::NoModifier, text);
        QApplication::sendEvent(target, &event);
    }
}

void doubleClick(QWidget* target, QPoint at) {
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        const bool release = type == QEvent::MouseButtonRelease;
        QMouseEvent event(type, at, target->mapToGlobal(at), Qt::LeftButton,
                          release ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }
}

// Every control's widget shows the control's place, text, visibility and availability; the
// picture boxes have no widget.
TEST_F(FormWindowTest, EveryControlShowsItsModelInAFixedCentredWindow) {
    m_window->loadAndShow();
    for (const Control* c : m_form->Controls()) {
        SCOPED_TRACE(c->Name());
        QWidget* w = m_window->widgetFor(*c);
        if (c->Kind() == ControlKind::PictureBox) {
            EXPECT_EQ(w, nullptr);
            continue;
        }
        ASSERT_NE(w, nullptr);
        const std::string index = c->Index() < 0 ? "" : "(" + std::to_string(c->Index()) + ")";
        EXPECT_EQ(w->objectName().toStdString(), c->Name() + index);
        EXPECT_EQ(w->geometry(),
                  QRect(int(c->Left()), int(c->Top()), int(c->Width()), int(c->Height())));
        EXPECT_EQ(std::pair(w->isVisible(), w->isEnabled()), std::pair(c->Visible(), c->Enabled()));
        EXPECT_EQ(w->font(), c->Font() ? fontFor(*c->Font()) : windowFont());
        // Labels, fields and the button have a text property; the other widgets keep theirs.
        const std::string shown = w->property("text").toString().toStdString();
        const auto kind = c->Kind();
        EXPECT_EQ(shown, kind == ControlKind::Label     ? static_cast<const Label*>(c)->Caption()
                         : kind == ControlKind::TextBox ? static_cast<const TextBox*>(c)->Text()
                         : kind == ControlKind::CommandButton
                             ? static_cast<const CommandButton*>(c)->Caption
                             : shown);
    }
    EXPECT_EQ(m_window->windowTitle(), "QuillaneV1.0");
    EXPECT_EQ(widget<QProgressBar>("tBar")->value(), 0);
    m_form->Lab1.SetCaption("/a/much/longer/folder/path");
    EXPECT_FALSE(m_window->widgetFor(m_form->Lab1)->isVisible());
    // The count label grows to the right; the bar shows the model's value, already in range.
    auto* count = widget<QLabel>("LabCount");
    for (const std::string caption : {"12", "32767", "1000000"}) {
        m_form->LabCount.SetCaption(caption);
        EXPECT_EQ(std::pair(count->text().toStdString(), count->geometry()),
                  std::pair(caption, QRect(88, 184, 6 * int(caption.size()), 12)));
        EXPECT_LE(count->fontMetrics().horizontalAdvance(count->text()), count->width()) << caption;
    }
    m_form->tBar.SetValue(250);
    EXPECT_EQ(widget<QProgressBar>("tBar")->value(), 100);

    // With the Song face the window keeps its font, and every label's text fits its box.
    EXPECT_EQ(m_window->font(), windowFont());
    testing::ExpectLabelsFit(*m_window);

    // A fixed, centred window without minimise or maximise; tab follows the tab indexes.
    for (QSize size : {m_window->size(), m_window->minimumSize(), m_window->maximumSize()})
        EXPECT_EQ(size, QSize(342, 324));
    const Qt::WindowFlags buttons = Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                                    Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint;
    EXPECT_EQ(m_window->windowFlags() & buttons,
              Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint);
    const QPoint screenCentre = m_window->screen()->availableGeometry().center();
    EXPECT_LE((m_window->frameGeometry().center() - screenCentre).manhattanLength(), 2);

    m_window->activateWindow();
    QApplication::processEvents();
    ASSERT_EQ(m_window->focusWidget(), widget<QWidget>("DriveS"));
    std::vector<QString> visited;
    for (int press = 0; press < 5; ++press) {
        sendKey(m_window->focusWidget(), Qt::Key_Tab);
        visited.push_back(m_window->focusWidget()->objectName());
    }
    EXPECT_EQ(visited, (std::vector<QString>{"DirS", "CMD_OK", "txtH", "txtW", "DriveS"}));
}

// Typed as a person would: the fields follow edits. Enter in a field does nothing, space on the
// button runs the batch with the bar following.
TEST_F(FormWindowTest, TypingSetsTheModelAndOnlySpaceOnTheButtonRunsTheBatch) {
    QImage picture(50, 40, QImage::Format_RGB32);
    picture.fill(QColor("orange"));
    for (const char* name : {"a.jpg", "b.bmp", "c.JPG"})  // kind by the name's ending
        ASSERT_TRUE(picture.save(QString::fromStdString(m_temp / name))) << name;
    m_window->loadAndShow();  // loading opens the program's folder
    m_form->DirS.SetPath(m_temp.Path());
    auto* width = widget<QLineEdit>("txtW");
    width->selectAll();
    width->insert("6");
    width->setFocus();
    sendKey(width, Qt::Key_1, "1");
    widget<QLineEdit>("txtH")->selectAll();
    widget<QLineEdit>("txtH")->insert("47");
    EXPECT_EQ(std::pair(m_form->txtW.Text(), m_form->txtH.Text()),
              (std::pair<std::string, std::string>("61", "47")));
    using Bar = std::vector<std::pair<int, std::size_t>>;
    Bar bar;  // each value, with the messages shown so far
    QObject::connect(widget<QProgressBar>("tBar"), &QProgressBar::valueChanged,
                     [&](int value) { bar.emplace_back(value, m_recorder.Messages.size()); });
    for (const char* field : {"txtH", "txtW"}) {
        auto* edit = widget<QLineEdit>(field);
        edit->setFocus();
        sendKey(edit, Qt::Key_Return);
        sendKey(edit, Qt::Key_Enter);
    }
    EXPECT_TRUE(m_recorder.Messages.empty());
    auto* start = widget<QPushButton>("CMD_OK");
    start->setFocus();
    sendKey(start, Qt::Key_Space, " ");
    ASSERT_EQ(m_recorder.Messages.size(), 1u);
    EXPECT_EQ(m_recorder.Messages[0].Prompt, "调整成功:3张图片！");
    EXPECT_EQ(m_recorder.Messages[0].Title, "System");
    // The message is shown while the bar stands at its maximum.
    EXPECT_EQ(bar, (Bar{{1, 0}, {2, 0}, {3, 0}, {100, 0}, {0, 1}}));
    for (const char* name : {"处理后a.jpg", "处理后b.jpg", "处理后c.JPG"})
        EXPECT_EQ(QImageReader(QString::fromStdString(m_temp / name)).size(), QSize(61, 47))
            << name;
}

TEST_F(FormWindowTest, DrivesAndDoubleClickedFoldersOpenAndRecountPictures) {
    for (const char* folder : {"top/holiday", "top/empty"}) m_temp.Folder(folder);
    for (const char* file : {"top/a.jpg", "top/holiday/1.jpg", "top/holiday/2.BMP",
                             "top/holiday/3.png", "top/holiday/notes.txt"}) {
        m_temp.File(file);
    }
    const std::string root = m_temp / "top";
    // Choosing a drive moves the folder list there.
    open({{"/", "System"}, {root, "STICK"}, {m_temp / "unplugged", "GONE"}});
    m_window->loadAndShow();
    auto* drives = widget<QComboBox>("DriveS");
    ASSERT_EQ(drives->count(), 3);
    Q_EMIT drives->activated(1);
    EXPECT_EQ(m_form->DirS.Path(), root);
    EXPECT_EQ(widget<QLabel>("LabCount")->text(), "1");

    auto* list = widget<QListWidget>("DirS");
    const QList<QListWidgetItem*> hits = list->findItems("holiday", Qt::MatchExactly);
    ASSERT_EQ(hits.size(), 1);
    doubleClick(list->viewport(), list->visualItemRect(hits.front()).center());

    EXPECT_EQ(m_form->DirS.Path(), root + "/holiday");
    EXPECT_EQ(m_form->LabCount.Caption(), "2");
    EXPECT_EQ(widget<QLabel>("LabCount")->text(), "2");
    EXPECT_EQ(list->currentItem()->text(), "holiday");

    // Enter on the parent entry goes back up.
    const QList<QListWidgetItem*> parent = list->findItems("top", Qt::MatchExactly);
    ASSERT_EQ(parent.size(), 1);
    list->setCurrentItem(parent.front());
    sendKey(list, Qt::Key_Return);
    EXPECT_EQ(m_form->DirS.Path(), root);
    EXPECT_TRUE(m_recorder.Messages.empty());

    // A folder removed meanwhile is reported and dropped from the list.
    ASSERT_TRUE(QDir(QString::fromStdString(root + "/empty")).removeRecursively());
    static_cast<FolderListWidget*>(list)->openRow(
        list->row(list->findItems("empty", Qt::MatchExactly).front()));
    EXPECT_EQ(m_form->DirS.Path(), root);
    ASSERT_EQ(m_recorder.Messages.size(), 1u);
    EXPECT_EQ(m_recorder.Messages.front().Style, vbExclamation);
    EXPECT_TRUE(list->findItems("empty", Qt::MatchExactly).isEmpty());

    // A drive whose folder cannot be shown is reported; the list falls back to the drive
    // still selected.
    Q_EMIT drives->activated(2);
    ASSERT_EQ(m_recorder.Messages.size(), 2u);
    EXPECT_EQ(drives->currentIndex(), 1);
    EXPECT_EQ(m_form->DirS.Path(), root);
}

}  // namespace
}  // namespace quillane
