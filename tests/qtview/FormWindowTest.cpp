#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
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

TEST_F(FormWindowTest, EveryControlShowsItsTextWhereTheLayoutPutsItAndHiddenOnesStayHidden) {
    const struct {
        const char* name;
        QRect rect;
        const char* text;  // nullptr: the control shows no text of its own
    } cases[] = {
        {"DriveS", {16, 16, 305, 22}, nullptr},
        {"DirS", {16, 40, 305, 134}, nullptr},
        {"Label5", {32, 184, 36, 12}, "图片数"},
        {"Label3", {104, 184, 12, 12}, "张"},
        {"Label4",
         {176, 192, 97, 49},
         "小1寸：390*260 中1寸：413*295 大1寸：567*390  2寸：413*626"},
        {"Label1(0)", {32, 208, 36, 12}, "像素高"},
        {"txtH", {80, 205, 49, 18}, "220"},
        {"height(1)", {128, 208, 18, 12}, "pix"},
        {"Label2", {32, 232, 36, 12}, "像素宽"},
        {"txtW", {80, 229, 49, 18}, "176"},
        {"height(2)", {128, 232, 18, 12}, "pix"},
        {"tBar", {16, 264, 313, 17}, nullptr},
        {"CMD_OK", {120, 288, 81, 25}, "开始调整"},
    };
    for (const auto& c : cases) {  // labels, fields and the button all have a text property
        if (c.text) {
            EXPECT_EQ(widget<QWidget>(c.name)->property("text").toString(),
                      QString::fromUtf8(c.text))
                << c.name;
        }
    }
    EXPECT_EQ(m_window->windowTitle(), "QuillaneV1.0");
    EXPECT_EQ(widget<QProgressBar>("tBar")->value(), 0);

    m_window->loadAndShow();
    for (const auto& c : cases) {
        QWidget* w = widget<QWidget>(c.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->geometry(), c.rect) << c.name;
        EXPECT_TRUE(w->isVisible()) << c.name;
    }
    // The picture boxes have no widget; the folder path label stays hidden whatever it says.
    EXPECT_EQ(m_window->widgetFor(m_form->oPic), nullptr);
    EXPECT_EQ(m_window->widgetFor(m_form->sPic), nullptr);
    QWidget* path = m_window->widgetFor(m_form->Lab1);
    ASSERT_NE(path, nullptr);
    m_form->Lab1.SetCaption("/a/much/longer/folder/path");
    EXPECT_FALSE(path->isVisible());
}

TEST_F(FormWindowTest, WithTheSongFaceTheWindowKeepsItsFontAndEveryLabelFits) {
    EXPECT_EQ(m_window->font(), windowFont());
    testing::ExpectLabelsFit(*m_window);
}

TEST_F(FormWindowTest, WindowHasFixedCentredClientAreaAndNoMinimiseOrMaximise) {
    m_window->loadAndShow();
    for (QSize size : {m_window->size(), m_window->minimumSize(), m_window->maximumSize()}) {
        EXPECT_EQ(size, QSize(342, 324));
    }
    const Qt::WindowFlags buttons = Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                                    Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint;
    EXPECT_EQ(m_window->windowFlags() & buttons,
              Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint);
    const QPoint screenCentre = m_window->screen()->availableGeometry().center();
    EXPECT_LE((m_window->frameGeometry().center() - screenCentre).manhattanLength(), 2);
}

TEST_F(FormWindowTest, FocusStartsOnDriveListAndTabCyclesInTabIndexOrder) {
    m_window->loadAndShow();
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

TEST_F(FormWindowTest, CountLabelGrowsToTheRightAndTheBarShowsTheModelsValue) {
    auto* count = widget<QLabel>("LabCount");
    EXPECT_EQ(count->text(), "0");
    for (const char* caption : {"12", "32767", "1000000"}) {
        m_form->LabCount.SetCaption(caption);
        EXPECT_EQ(count->text(), caption);
        EXPECT_EQ(count->pos(), QPoint(88, 184)) << caption;
        EXPECT_EQ(count->width(), static_cast<int>(6 * std::string(caption).size())) << caption;
        EXPECT_LE(count->fontMetrics().horizontalAdvance(count->text()), count->width()) << caption;
    }
    // The bar shows the model's value, already brought into its range.
    m_form->tBar.SetValue(250);
    EXPECT_EQ(widget<QProgressBar>("tBar")->value(), 100);
}

TEST_F(FormWindowTest, TypingSetsTheModelAndOnlySpaceOnTheButtonPressesStart) {
    int clicks = 0;
    m_form->CMD_OK.OnClick = [&clicks] { ++clicks; };
    m_window->loadAndShow();
    auto* width = widget<QLineEdit>("txtW");
    width->setFocus();
    width->end(false);
    sendKey(width, Qt::Key_9, "9");
    EXPECT_EQ(m_form->txtW.Text(), "1769");
    for (const char* field : {"txtH", "txtW"}) {
        auto* edit = widget<QLineEdit>(field);
        edit->setFocus();
        sendKey(edit, Qt::Key_Return);
        sendKey(edit, Qt::Key_Enter);
    }
    EXPECT_EQ(clicks, 0);
    auto* start = widget<QPushButton>("CMD_OK");
    start->setFocus();
    sendKey(start, Qt::Key_Space, " ");
    EXPECT_EQ(clicks, 1);
}

TEST_F(FormWindowTest, DoubleClickOnAFolderOpensItAndRecountsPictures) {
    for (const char* folder : {"top/holiday", "top/empty"}) m_temp.Folder(folder);
    for (const char* file : {"top/a.jpg", "top/holiday/1.jpg", "top/holiday/2.BMP",
                             "top/holiday/3.png", "top/holiday/notes.txt"}) {
        m_temp.File(file);
    }
    const std::string root = m_temp / "top";
    m_window->loadAndShow();
    m_form->DirS.SetPath(root);
    EXPECT_EQ(m_form->LabCount.Caption(), "1");

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
}

TEST_F(FormWindowTest, OpeningAFolderRemovedMeanwhileIsReportedAndDropped) {
    m_temp.Folder("top/gone");
    m_form->DirS.SetPath(m_temp / "top");
    auto* list = widget<QListWidget>("DirS");
    ASSERT_EQ(list->findItems("gone", Qt::MatchExactly).size(), 1);
    ASSERT_TRUE(QDir(QString::fromStdString(m_temp / "top/gone")).removeRecursively());

    static_cast<FolderListWidget*>(list)->openRow(
        list->row(list->findItems("gone", Qt::MatchExactly).front()));

    EXPECT_EQ(m_form->DirS.Path(), m_temp / "top");
    ASSERT_EQ(m_recorder.Messages.size(), 1u);
    EXPECT_EQ(m_recorder.Messages.front().Style, vbExclamation);
    EXPECT_TRUE(list->findItems("gone", Qt::MatchExactly).isEmpty());
}

TEST_F(FormWindowTest, ChoosingADriveMovesTheFolderListOrFallsBack) {
    for (const char* file : {"x.jpg", "y.jpg", "z.bmp"}) m_temp.File(file);
    open({{"/", "System"}, {m_temp.Path(), "STICK"}, {m_temp / "unplugged", "GONE"}});
    m_window->loadAndShow();
    auto* drives = widget<QComboBox>("DriveS");
    ASSERT_EQ(drives->count(), 3);

    Q_EMIT drives->activated(1);
    EXPECT_EQ(m_form->DirS.Path(), m_temp.Path());
    EXPECT_EQ(widget<QLabel>("LabCount")->text(), "3");
    EXPECT_TRUE(m_recorder.Messages.empty());

    Q_EMIT drives->activated(2);
    ASSERT_EQ(m_recorder.Messages.size(), 1u);
    EXPECT_EQ(drives->currentIndex(), 1) << "the list falls back to the drive still selected";
    EXPECT_EQ(m_form->DirS.Path(), m_temp.Path());
}

}  // namespace
}  // namespace quillane
