// Without the Song face the window's layout was drawn for, another CJK face takes its place at
// a size where every label still shows its whole text. Qt reads fontconfig once, when its font
// database starts, so this program starts Qt itself, after pointing fontconfig at a folder of
// fonts without the Song face.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <cstdlib>
#include <string>

#include "app/FormMain.h"
#include "platform/qtview/FallbackFont.h"
#include "platform/qtview/FormWindow.h"
#include "support/FolderFixtures.h"
#include "support/LabelsFit.h"

namespace quillane {
namespace {

TEST(FallbackFontTest, WithoutTheSongFaceTheLabelsFitInDroidSansFallback) {
    const testing::TempFolder fonts;
    // The fallback face has no Latin letters: those come from DejaVu Sans, which Debian's
    // fontconfig always brings.
    fonts.Link("droid.ttf", "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf");
    fonts.Link("dejavu.ttf", "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    fonts.File("fonts.conf", std::string("<fontconfig><dir>")
                                 .append(fonts.Path())
                                 .append("</dir><cachedir>")
                                 .append(fonts.Path())
                                 .append("</cachedir></fontconfig>"));
    setenv("FONTCONFIG_FILE", fonts.Path("fonts.conf").c_str(), 1);
    int argc = 1;
    char name[] = "fallback_font_tests";
    char* argv[] = {name, nullptr};
    const QApplication app(argc, argv);
    ASSERT_FALSE(songFaceInstalled());

    FormMain form;
    const FormWindow window(form);
    form.LabCount.SetCaption("32767");  // the count's box grows 6 pixels a digit
    EXPECT_EQ(QFontInfo(window.font()).family().toStdString(), "Droid Sans Fallback")
        << "install fonts-droid-fallback";
    testing::ExpectLabelsFit(window);
}

}  // namespace
}  // namespace quillane
