// The batch run started from the real window's button: the same messages as the model's run,
// and the widget's progress bar passing through every value.

#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <memory>

#include "app/FormMain.h"
#include "platform/MessageBox.h"
#include "platform/qtview/FormWindow.h"

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

}  // namespace
}  // namespace quillane
