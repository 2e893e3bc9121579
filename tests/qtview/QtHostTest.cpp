#include <gtest/gtest.h>

#include <QFontInfo>

#include "platform/forms/Application.h"
#include "platform/qtview/QtHost.h"

namespace quillane {
namespace {

// The style picks the icon; an empty title shows the program's name.
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
