// The main form's real window, offscreen: its widgets mirror the model, typing and keys drive
// it as a person would, the folder lists browse real folders; message boxes and fonts map onto
// Qt's.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFontInfo>
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
#include <QTimer>

#include "app/FormMain.h"
#include "platform/base/StopRequest.h"
#include "platform/forms/Application.h"
#include "platform/qtview/FolderWidgets.h"
#include "platform/qtview/FormWindow.h"
#include "platform/qtview/QtHost.h"
#include "support/FolderFixtures.h"
#include "support/LabelsFit.h"

namespace quillane {
namespace {

// The window of a fresh form with a fixed volume list (read when the window is built),
// message boxes recorded and a real temporary folder to browse.
class FormWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { open({{"/", "System"}}); }
    void open(std::vector<Volume> volumes) {
        m_window.reset(), m_form.reset(), m_volumes.reset();
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
    // Pictures of 50 x 40 in the temporary folder, their kind by the name's ending.
    void pictures(std::initializer_list<const char*> names) const {
        QImage picture(50, 40, QImage::Format_RGB32);
        picture.fill(QColor("orange"));
        for (const char* name : names)
            ASSERT_TRUE(picture.save(QString::fromStdString(m_temp / name))) << name;
    }
    static void sendKey(QWidget* target, int key, const QString& text = {}) {
        for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent event(type, key, Qt::NoModifier, text);
            QApplication::sendEvent(target, &event);
        }
    }

    testing::TempFolder m_temp;
    testing::MessageRecorder m_recorder;
    std::unique_ptr<testing::FixedVolumes> m_volumes;
    std::unique_ptr<FormMain> m_form;
    std::unique_ptr<FormWindow> m_window;
};

// Every control's widget shows the control's place, text, visibility, availability and font;
// the picture boxes have no widget.
TEST_F(FormWindowTest, EveryControlShowsItsModelInAFixedCentredWindow) {
    m_window->loadAndShow();
    for (const Control* c : m_form->Controls()) {
        SCOPED_TRACE(c->Name());
        QWidget* w = m_window->widgetFor(*c);
        ASSERT_EQ(w == nullptr, c->Kind() == ControlKind::PictureBox);
        if (w == nullptr) continue;
        const std::string index = c->Index() < 0 ? "" : "(" + std::to_string(c->Index()) + ")";
        EXPECT_EQ(w->objectName().toStdString(), c->Name() + index);
        EXPECT_EQ(w->geometry(),
                  QRect(int(c->Left()), int(c->Top()), int(c->Width()), int(c->Height())));
        EXPECT_EQ(std::pair(w->isVisible(), w->isEnabled()), std::pair(c->Visible(), c->Enabled()));
        EXPECT_EQ(w->font(), c->Font() ? fontFor(*c->Font()) : windowFont());
        // Labels, fields and the button show their text; the other widgets keep theirs.
        const std::string text = testing::TextOf(*c);
        EXPECT_EQ(text.empty() ? text : w->property("text").toString().toStdString(), text);
    }
    EXPECT_EQ(m_window->windowTitle(), "QuillaneV1.0");
    m_form->LabCount.SetCaption("1000000");  // the count label grows to the right
    EXPECT_EQ(widget<QLabel>("LabCount")->geometry(), QRect(88, 184, 42, 12));
    // With the Song face the window keeps its font, and every label's text fits its box.
    EXPECT_EQ(m_window->font(), windowFont());
    testing::ExpectLabelsFit(*m_window);

    // A fixed, centred window without minimise or maximise; tab follows the tab indexes.
    for (QSize size : {m_window->size(), m_window->minimumSize(), m_window->maximumSize()})
        EXPECT_EQ(size, QSize(342, 324));
    EXPECT_EQ(m_window->windowFlags() & (Qt::WindowMinimizeButtonHint |
                                         Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
              Qt::WindowCloseButtonHint);
    const QPoint screenCentre = m_window->screen()->availableGeometry().center();
    EXPECT_LE((m_window->frameGeometry().center() - screenCentre).manhattanLength(), 2);
    m_window->activateWindow();
    QApplication::processEvents();
    std::vector<QString> visited{m_window->focusWidget()->objectName()};
    for (int press = 0; press < 5; ++press) {
        sendKey(m_window->focusWidget(), Qt::Key_Tab);
        visited.push_back(m_window->focusWidget()->objectName());
    }
    EXPECT_EQ(visited,
              (std::vector<QString>{"DriveS", "DirS", "CMD_OK", "txtH", "txtW", "DriveS"}));
}

// The fields follow edits and keys. Enter in a field does nothing, space on the button runs
// the batch, and the message is shown while the bar stands at its maximum.
TEST_F(FormWindowTest, TypingSetsTheModelAndOnlySpaceOnTheButtonRunsTheBatch) {
    pictures({"a.jpg", "b.bmp", "c.JPG"});
    m_window->loadAndShow();
    EXPECT_EQ(m_form->DirS.Path(), AppPath());  // loading opens the program's folder
    m_form->DirS.SetPath(m_temp.Path());
    for (const auto& [field, text] : {std::pair{"txtW", "61"}, {"txtH", "47"}}) {
        widget<QLineEdit>(field)->selectAll();
        widget<QLineEdit>(field)->insert(text);
    }
    EXPECT_EQ(m_form->txtW.Text() + "x" + m_form->txtH.Text(), "61x47");
    using Bar = std::vector<std::pair<int, std::size_t>>;
    Bar bar;  // each value, with the messages shown so far
    QObject::connect(widget<QProgressBar>("tBar"), &QProgressBar::valueChanged,
                     [&](int value) { bar.emplace_back(value, m_recorder.Messages.size()); });
    for (const char* field : {"txtH", "txtW"})
        for (const int key : {Qt::Key_Return, Qt::Key_Enter})
            sendKey(widget<QLineEdit>(field), key);
    widget<QPushButton>("CMD_OK")->setFocus();
    sendKey(widget<QPushButton>("CMD_OK"), Qt::Key_Space, " ");
    ASSERT_EQ(m_recorder.Messages.size(), 1u);
    EXPECT_EQ(m_recorder.Messages[0].Title + m_recorder.Messages[0].Prompt,
              "System调整成功:3张图片！");
    EXPECT_EQ(bar, (Bar{{1, 0}, {2, 0}, {3, 0}, {100, 0}, {0, 1}}));
}

TEST_F(FormWindowTest, DrivesAndDoubleClickedFoldersOpenAndRecountPictures) {
    for (const char* folder : {"top/holiday", "top/empty"}) m_temp.Folder(folder);
    for (const char* file : {"top/a.jpg", "top/holiday/1.jpg", "top/holiday/2.BMP",
                             "top/holiday/3.png", "top/holiday/notes.txt"})
        m_temp.File(file);
    const std::string root = m_temp / "top";
    // Choosing a drive moves the folder list there.
    open({{"/", "System"}, {root, "STICK"}, {m_temp / "unplugged", "GONE"}});
    m_window->loadAndShow();
    auto* drives = widget<QComboBox>("DriveS");
    ASSERT_EQ(drives->count(), 3);
    Q_EMIT drives->activated(1);
    EXPECT_EQ(m_form->DirS.Path(), root);
    EXPECT_EQ(widget<QLabel>("LabCount")->text(), "1");

    // A double-click opens the folder, the count follows.
    auto* list = widget<QListWidget>("DirS");
    const auto row = [list](const char* name) {
        return list->findItems(name, Qt::MatchExactly).value(0);
    };
    ASSERT_NE(row("holiday"), nullptr);
    const QPoint at = list->visualItemRect(row("holiday")).center();
    QMouseEvent click(QEvent::MouseButtonDblClick, at, list->viewport()->mapToGlobal(at),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &click);
    EXPECT_EQ(m_form->DirS.Path(), root + "/holiday");
    EXPECT_EQ(widget<QLabel>("LabCount")->text(), "2");
    EXPECT_EQ(list->currentItem()->text(), "holiday");

    // Enter on the parent entry goes back up.
    list->setCurrentItem(row("top"));
    sendKey(list, Qt::Key_Return);
    EXPECT_EQ(m_form->DirS.Path(), root);
    EXPECT_TRUE(m_recorder.Messages.empty());

    // A folder removed meanwhile is reported and dropped from the list.
    ASSERT_TRUE(QDir(QString::fromStdString(root + "/empty")).removeRecursively());
    static_cast<FolderListWidget*>(list)->openRow(list->row(row("empty")));
    EXPECT_EQ(m_form->DirS.Path(), root);
    ASSERT_EQ(m_recorder.Messages.size(), 1u);
    EXPECT_EQ(m_recorder.Messages.front().Style, vbExclamation);
    EXPECT_EQ(row("empty"), nullptr);

    // A drive whose folder cannot be shown is reported; the list falls back to the drive
    // still selected.
    Q_EMIT drives->activated(2);
    ASSERT_EQ(m_recorder.Messages.size(), 2u);
    EXPECT_EQ(drives->currentIndex(), 1);
    EXPECT_EQ(m_form->DirS.Path(), root);
}

// The style picks the icon; an empty title shows the program's name.
// The desktop's close arrives while the run lets the window breathe after a picture: the run
// ends there, with every output written whole, no count message, and no stop left pending.
TEST_F(FormWindowTest, ClosingTheWindowEndsTheRunAfterThePictureBeingWritten) {
    pictures({"a.jpg", "b.jpg", "c.jpg", "d.jpg"});
    m_form->DirS.SetPath(m_temp.Path());
    m_window->show();
    m_form->OnPictureDone = [&](std::int32_t done, std::int32_t) {
        if (done == 2) QTimer::singleShot(0, m_window.get(), [&] { m_window->close(); });
    };
    {
        const QtHost host(m_window.get());        // DoEvents runs Qt's events, as in the program
        const testing::MessageRecorder recorder;  // in place of the host's dialogs
        widget<QPushButton>("CMD_OK")->click();
        EXPECT_TRUE(recorder.Messages.empty()) << recorder.Messages.front().Prompt;
    }
    EXPECT_FALSE(m_window->isVisible());
    EXPECT_FALSE(StopRequested());
    EXPECT_EQ(m_temp.Entries().size(), 6u);
    for (const char* name : {"处理后a.jpg", "处理后b.jpg"})
        EXPECT_EQ(QImageReader(QString::fromStdString(m_temp / name)).size(), QSize(176, 220));
}

TEST(QtHostTest, MessageBoxStyleAndTitleMapToTheDialog) {
    const struct {
        int style;
        const char* title;
        QMessageBox::Icon icon;
        const char* shownTitle;
    } cases[] = {{vbOKOnly, "", QMessageBox::NoIcon, "Quillane"},
                 {vbExclamation, "Warning", QMessageBox::Warning, "Warning"},
                 {16, "Error", QMessageBox::Critical, "Error"},
                 {32, "S", QMessageBox::Question, "S"},
                 {64, "System", QMessageBox::Information, "System"}};
    for (const auto& c : cases) {
        const MessageBoxLook look = messageBoxLook({"调整成功:3张图片！", c.style, c.title});
        EXPECT_EQ(std::tuple(look.icon, look.title, look.text, look.buttons),
                  std::tuple(c.icon, QString::fromUtf8(c.shownTitle),
                             QString::fromUtf8("调整成功:3张图片！"), QMessageBox::Ok))
            << c.style;
    }
}

TEST(QtHostTest, SongFaceResolvesToAnInstalledCjkFaceAtTheGivenSize) {
    const QFont list = fontFor({"宋体", 10.5f, 134, 400});
    EXPECT_EQ(std::pair(list.pointSizeF(), list.weight()), std::pair(10.5, QFont::Normal));
    const QString family = QFontInfo(list).family();
    EXPECT_TRUE(family.contains("Ming") || family.contains("Sun") || family.contains("CJK") ||
                family.contains("Sung"))
        << family.toStdString() << ": install fonts-arphic-uming";
    EXPECT_EQ(fontFor({"宋体", 9, 134, 700, true}).weight(), QFont::Bold);
    EXPECT_EQ(QFontInfo(windowFont()).pixelSize(), 12);
}

}  // namespace
}  // namespace quillane
