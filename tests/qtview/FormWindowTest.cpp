#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextLayout>
#include <memory>
#include <string>
#include <vector>

#include "app/FormMain.h"
#include "platform/MessageBox.h"
#include "platform/forms/Volumes.h"
#include "platform/qtview/FolderWidgets.h"
#include "platform/qtview/FormWindow.h"

namespace quillane {
namespace {

// Records message boxes instead of showing them, and gives a fixed volume list.
class FormWindowTest : public testing::Test {
  protected:
    void SetUp() override {
        m_previousPresenter = SetMessageBoxPresenter(
            [this](const MessageBoxRequest& request) { m_messages.push_back(request); });
        ASSERT_TRUE(m_temp.isValid());
        m_previousVolumes = SetVolumeProvider([this] { return m_volumes; });
        m_form = std::make_unique<FormMain>();
        m_window = std::make_unique<FormWindow>(*m_form);
    }
    void TearDown() override {
        m_window.reset();
        m_form.reset();
        SetVolumeProvider(std::move(m_previousVolumes));
        SetMessageBoxPresenter(std::move(m_previousPresenter));
    }

    template <class W>
    W* widget(const char* name) const {
        auto* found = m_window->findChild<W*>(QString::fromUtf8(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    std::string makeFolder(const std::string& relative, const std::vector<std::string>& files) {
        const QString folder = m_temp.filePath(QString::fromStdString(relative));
        EXPECT_TRUE(QDir().mkpath(folder));
        for (const std::string& name : files) {
            QFile file(folder + "/" + QString::fromStdString(name));
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        }
        return folder.toStdString();
    }

    QTemporaryDir m_temp;
    std::vector<Volume> m_volumes = {{"/", "System"}};
    std::vector<MessageBoxRequest> m_messages;
    std::unique_ptr<FormMain> m_form;
    std::unique_ptr<FormWindow> m_window;

  private:
    MessageBoxPresenter m_previousPresenter;
    VolumeProvider m_previousVolumes;
};

void sendKey(QWidget* target, int key, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &release);
}

void sendMouse(QWidget* target, QEvent::Type type, QPoint at) {
    QMouseEvent event(type, at, target->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void doubleClick(QWidget* target, QPoint at) {
    sendMouse(target, QEvent::MouseButtonPress, at);
    sendMouse(target, QEvent::MouseButtonRelease, at);
    sendMouse(target, QEvent::MouseButtonDblClick, at);
    sendMouse(target, QEvent::MouseButtonRelease, at);
}

TEST_F(FormWindowTest, EveryVisibleControlStandsWhereTheLayoutPutsIt) {
    struct Case {
        const char* name;
        QRect rect;
    };
    const Case cases[] = {
        {"DriveS", {16, 16, 305, 22}},     {"DirS", {16, 40, 305, 134}},
        {"Label5", {32, 184, 36, 12}},     {"Label3", {104, 184, 12, 12}},
        {"Label4", {176, 192, 97, 49}},    {"Label1(0)", {32, 208, 36, 12}},
        {"txtH", {80, 205, 49, 18}},       {"height(1)", {128, 208, 18, 12}},
        {"Label2", {32, 232, 36, 12}},     {"txtW", {80, 229, 49, 18}},
        {"height(2)", {128, 232, 18, 12}}, {"tBar", {16, 264, 313, 17}},
        {"CMD_OK", {120, 288, 81, 25}},
    };
    m_window->loadAndShow();
    for (const Case& c : cases) {
        QWidget* w = widget<QWidget>(c.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->geometry(), c.rect) << c.name;
        EXPECT_TRUE(w->isVisible()) << c.name;
    }
    // The count label keeps its place; its width follows its text.
    EXPECT_EQ(widget<QLabel>("LabCount")->pos(), QPoint(88, 184));
}

TEST_F(FormWindowTest, CaptionsAndTextsAreShownExactly) {
    struct Case {
        const char* name;
        const char* text;
    };
    const Case labels[] = {
        {"Label5", "图片数"},
        {"Label3", "张"},
        {"Label4", "小1寸：390*260 中1寸：413*295 大1寸：567*390  2寸：413*626"},
        {"Label1(0)", "像素高"},
        {"height(1)", "pix"},
        {"Label2", "像素宽"},
        {"height(2)", "pix"},
        {"LabCount", "0"},
    };
    for (const Case& c : labels) {
        EXPECT_EQ(widget<QLabel>(c.name)->text(), QString::fromUtf8(c.text)) << c.name;
    }
    EXPECT_EQ(widget<QLineEdit>("txtH")->text(), "220");
    EXPECT_EQ(widget<QLineEdit>("txtW")->text(), "176");
    EXPECT_EQ(widget<QPushButton>("CMD_OK")->text(), QString::fromUtf8("开始调整"));
    EXPECT_EQ(m_window->windowTitle(), "QuillaneV1.0");
    EXPECT_EQ(widget<QProgressBar>("tBar")->value(), 0);
    EXPECT_EQ(widget<QProgressBar>("tBar")->maximum(), 100);
}

TEST_F(FormWindowTest, SizeHintBreaksIntoFourLinesAndShortLabelsAreNotClipped) {
    // Break the caption as the label does (word wrap at the label's width, its font).
    auto* hint = widget<QLabel>("Label4");
    QTextLayout layout(hint->text(), hint->font());
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    std::vector<QString> lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(hint->width());
        lines.push_back(hint->text().mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    EXPECT_EQ(lines, (std::vector<QString>{
                         QString::fromUtf8("小1寸：390*260"), QString::fromUtf8("中1寸：413*295"),
                         QString::fromUtf8("大1寸：567*390"), QString::fromUtf8("2寸：413*626")}))
        << "window font: " << QFontInfo(hint->font()).family().toStdString();
    EXPECT_LE(hint->heightForWidth(hint->width()), hint->height()) << "four lines fit the box";
    for (const char* name : {"Label5", "Label3", "Label1(0)", "height(1)", "Label2"}) {
        auto* label = widget<QLabel>(name);
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width()) << name;
    }
}

TEST_F(FormWindowTest, WindowHasFixedClientAreaAndNoMinimiseOrMaximise) {
    m_window->loadAndShow();
    EXPECT_EQ(m_window->size(), QSize(342, 324));
    EXPECT_EQ(m_window->minimumSize(), QSize(342, 324));
    EXPECT_EQ(m_window->maximumSize(), QSize(342, 324));
    const Qt::WindowFlags flags = m_window->windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    const QPoint screenCentre = m_window->screen()->availableGeometry().center();
    EXPECT_LE((m_window->frameGeometry().center() - screenCentre).manhattanLength(), 2);
}

TEST_F(FormWindowTest, HiddenControlsHaveNoVisibleWidget) {
    m_window->loadAndShow();
    EXPECT_EQ(m_window->widgetFor(m_form->oPic), nullptr);
    EXPECT_EQ(m_window->widgetFor(m_form->sPic), nullptr);
    QWidget* path = m_window->widgetFor(m_form->Lab1);
    ASSERT_NE(path, nullptr);
    EXPECT_FALSE(path->isVisible());
    m_form->Lab1.SetCaption("/a/much/longer/folder/path");
    EXPECT_FALSE(path->isVisible());
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

TEST_F(FormWindowTest, CountLabelGrowsToTheRightAndShowsItsWholeText) {
    auto* count = widget<QLabel>("LabCount");
    for (const char* caption : {"12", "32767", "1000000"}) {
        m_form->LabCount.SetCaption(caption);
        EXPECT_EQ(count->text(), caption);
        EXPECT_EQ(count->pos(), QPoint(88, 184)) << caption;
        EXPECT_EQ(count->width(), static_cast<int>(6 * std::string(caption).size())) << caption;
        EXPECT_LE(count->fontMetrics().horizontalAdvance(count->text()), count->width()) << caption;
    }
}

TEST_F(FormWindowTest, EnterInASizeFieldDoesNotPressStartButSpaceOnTheButtonDoes) {
    int clicks = 0;
    m_form->CMD_OK.OnClick = [&clicks] { ++clicks; };
    m_window->loadAndShow();
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

TEST_F(FormWindowTest, TypingInAFieldSetsTheModelAndTheModelUpdatesTheWidgets) {
    auto* width = widget<QLineEdit>("txtW");
    width->setFocus();
    width->end(false);
    sendKey(width, Qt::Key_9, "9");
    EXPECT_EQ(m_form->txtW.Text(), "1769");
    m_form->tBar.SetValue(250);
    EXPECT_EQ(widget<QProgressBar>("tBar")->value(), 100);
    m_form->tBar.SetValue(42);
    EXPECT_EQ(widget<QProgressBar>("tBar")->value(), 42);
}

TEST_F(FormWindowTest, DoubleClickOnAFolderOpensItAndRecountsPictures) {
    const std::string root = makeFolder("top", {"a.jpg"});
    makeFolder("top/holiday", {"1.jpg", "2.BMP", "3.png", "notes.txt"});
    makeFolder("top/empty", {});
    m_window->loadAndShow();
    m_form->DirS.SetPath(root);
    EXPECT_EQ(m_form->LabCount.Caption(), "1");

    auto* list = widget<QListWidget>("DirS");
    const QList<QListWidgetItem*> hits = list->findItems("holiday", Qt::MatchExactly);
    ASSERT_EQ(hits.size(), 1);
    const QPoint at = list->visualItemRect(hits.front()).center();
    doubleClick(list->viewport(), at);

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
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(FormWindowTest, OpeningAFolderRemovedMeanwhileIsReportedAndDropped) {
    const std::string root = makeFolder("top", {});
    makeFolder("top/gone", {});
    m_form->DirS.SetPath(root);
    auto* list = widget<QListWidget>("DirS");
    ASSERT_EQ(list->findItems("gone", Qt::MatchExactly).size(), 1);
    ASSERT_TRUE(QDir(QString::fromStdString(root + "/gone")).removeRecursively());

    static_cast<FolderListWidget*>(list)->openRow(
        list->row(list->findItems("gone", Qt::MatchExactly).front()));

    EXPECT_EQ(m_form->DirS.Path(), root);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages.front().Style, vbExclamation);
    EXPECT_TRUE(list->findItems("gone", Qt::MatchExactly).isEmpty());
}

TEST_F(FormWindowTest, ChoosingADriveMovesTheFolderListOrFallsBack) {
    const std::string stick = makeFolder("stick", {"x.jpg", "y.jpg", "z.bmp"});
    m_volumes = {{"/", "System"}, {stick, "STICK"}, {stick + "/unplugged", "GONE"}};
    m_window.reset();
    m_form = std::make_unique<FormMain>();
    m_window = std::make_unique<FormWindow>(*m_form);
    m_window->loadAndShow();
    auto* drives = widget<QComboBox>("DriveS");
    ASSERT_EQ(drives->count(), 3);

    Q_EMIT drives->activated(1);
    EXPECT_EQ(m_form->DirS.Path(), stick);
    EXPECT_EQ(widget<QLabel>("LabCount")->text(), "3");
    EXPECT_TRUE(m_messages.empty());

    Q_EMIT drives->activated(2);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(drives->currentIndex(), 1) << "the list falls back to the drive still selected";
    EXPECT_EQ(m_form->DirS.Path(), stick);
}

}  // namespace
}  // namespace quillane
