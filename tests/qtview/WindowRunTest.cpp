// The batch run started from the real window's button: the same messages as the model's run,
// and the widget's progress bar passing through every value.

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QImageReader>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

#include "app/FormMain.h"
#include "platform/MessageBox.h"
#include "platform/StopRequest.h"
#include "platform/qtview/FormWindow.h"
#include "platform/qtview/QtHost.h"

namespace quillane {
namespace {

TEST(WindowRun, ButtonRunsTheBatchWithTheBarFollowing) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const std::string folder = temp.path().toStdString();
    QImage picture(50, 40, QImage::Format_RGB32);
    picture.fill(QColor("orange"));
    for (const char* name : {"a.jpg", "b.bmp", "c.JPG"}) {
        ASSERT_TRUE(picture.save(temp.filePath(name))) << name;  // kind by the name's ending
    }

    std::vector<MessageBoxRequest> messages;
    std::vector<int> barValues;
    auto form = std::make_unique<FormMain>();
    auto window = std::make_unique<FormWindow>(*form);
    auto* bar = window->findChild<QProgressBar*>("tBar");
    ASSERT_NE(bar, nullptr);
    // The message box is shown while the bar stands at its maximum.
    const MessageBoxPresenter previous =
        SetMessageBoxPresenter([&](const MessageBoxRequest& request) {
            messages.push_back(request);
            barValues.push_back(-bar->value());
        });
    QObject::connect(bar, &QProgressBar::valueChanged,
                     [&](int value) { barValues.push_back(value); });

    form->DirS.SetPath(folder);
    // Typed as a person would: the fields follow edits, not programmatic text.
    for (const auto& [name, text] : {std::pair{"txtW", "61"}, std::pair{"txtH", "47"}}) {
        auto* field = window->findChild<QLineEdit*>(name);
        ASSERT_NE(field, nullptr) << name;
        field->selectAll();
        field->insert(text);
    }
    window->findChild<QPushButton*>("CMD_OK")->click();
    SetMessageBoxPresenter(previous);

    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].Prompt, "调整成功:3张图片！");
    EXPECT_EQ(messages[0].Title, "System");
    // 1, 2, 3 after each picture, 100 for the message (recorded as -100), then back to 0.
    EXPECT_EQ(barValues, (std::vector<int>{1, 2, 3, 100, -100, 0}));
    for (const char* name : {"处理后a.jpg", "处理后b.jpg", "处理后c.JPG"}) {
        EXPECT_EQ(QImageReader(QString::fromStdString(folder + "/" + name)).size(), QSize(61, 47))
            << name;
    }
}

// The desktop's close arrives while the run lets the window breathe after a picture: the run
// ends there, with every output written whole, no count message, and no stop left pending.
TEST(WindowRun, ClosingTheWindowEndsTheRunAfterThePictureBeingWritten) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    QImage picture(50, 40, QImage::Format_RGB32);
    picture.fill(QColor("teal"));
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) {
        ASSERT_TRUE(picture.save(temp.filePath(name))) << name;
    }
    auto form = std::make_unique<FormMain>();
    auto window = std::make_unique<FormWindow>(*form);
    const QtHost host(window.get());  // DoEvents runs Qt's events, as in the program
    std::vector<MessageBoxRequest> messages;
    const MessageBoxPresenter previous = SetMessageBoxPresenter(
        [&](const MessageBoxRequest& request) { messages.push_back(request); });
    form->DirS.SetPath(temp.path().toStdString());
    window->show();
    form->OnPictureDone = [&](std::int32_t done, std::int32_t) {
        if (done == 2) QTimer::singleShot(0, window.get(), [&] { window->close(); });
    };
    window->findChild<QPushButton*>("CMD_OK")->click();
    SetMessageBoxPresenter(previous);

    EXPECT_TRUE(messages.empty()) << messages.front().Prompt;
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(StopRequested());
    const QStringList outputs = QDir(temp.path()).entryList({"处理后*"}, QDir::Files);
    EXPECT_EQ(outputs.size(), 2);
    for (const QString& name : outputs) {
        EXPECT_EQ(QImageReader(temp.filePath(name)).size(), QSize(176, 220)) << name.toStdString();
    }
    EXPECT_EQ(
        QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
        6);
}

}  // namespace
}  // namespace quillane
