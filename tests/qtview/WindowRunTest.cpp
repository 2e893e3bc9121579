// A batch run started from the real window and ended by closing it.

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
