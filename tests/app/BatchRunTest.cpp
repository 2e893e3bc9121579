// The start button's run on real folders: fields, listing, conversion, names, messages and the
// progress bar, with every output decoded again by Qt's reader.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QImage>
#include <QImageReader>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/FormMain.h"
#include "support/FolderFixtures.h"

namespace quillane {
namespace {

using testing::MessageRecorder;
using testing::TempFolder;

// Makes a picture with ImageMagick; the tests that need one are skipped without it.
bool MakePicture(const std::string& path, const std::string& size = "64x48",
                 const std::string& content = "gradient:red-blue") {
    const std::string command =
        "convert -size " + size + " " + content + " '" + path + "' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

bool HaveImageMagick() {
    return std::system("command -v convert >/dev/null 2>&1") == 0;
}

QImage Decode(const std::string& path) {
    QImageReader reader(QString::fromStdString(path));
    reader.setAutoTransform(false);
    return reader.read();
}

std::vector<std::string> Names(const std::vector<MessageBoxRequest>& messages) {
    std::vector<std::string> texts;
    for (const auto& message : messages) texts.push_back(message.Title + "|" + message.Prompt);
    return texts;
}

class BatchRun : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick's convert is needed to make pictures";
    }
    // Runs the start button on the folder with the two fields as typed.
    void Run(const std::string& width, const std::string& height) {
        form.DirS.SetPath(folder.Path());
        form.txtW.SetText(width);
        form.txtH.SetText(height);
        progress.clear();
        const int token = form.tBar.Subscribe([this] { progress.push_back(form.tBar.Value()); });
        form.CMD_OK.Click();
        form.tBar.Unsubscribe(token);
    }

    TempFolder folder;
    MessageRecorder recorder;
    FormMain form;
    std::vector<float> progress;
};

TEST_F(BatchRun, EveryPictureBecomesAJpegOfTheTypedSize) {
    ASSERT_TRUE(MakePicture(folder / "photo.JPG", "300x200"));
    ASSERT_TRUE(MakePicture(folder / "scan.BMP", "40x90"));
    ASSERT_TRUE(MakePicture(folder / "small.jpg", "10x10", "xc:green"));
    folder.File("notes.txt", "not a picture");

    Run(" 176 ", " 220 ");

    ASSERT_EQ(Names(recorder.Messages), std::vector<std::string>{"System|调整成功:3张图片！"});
    EXPECT_EQ(recorder.Messages[0].Style, 0);
    for (const char* name : {"处理后photo.JPG", "处理后scan.jpg", "处理后small.jpg"}) {
        const QImage image = Decode(folder / name);
        ASSERT_FALSE(image.isNull()) << name;
        EXPECT_EQ(image.width(), 176) << name;
        EXPECT_EQ(image.height(), 220) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "处理后notes.txt"));
    // The bar follows the files, stands at its maximum for the message, then returns to 0.
    EXPECT_EQ(progress, (std::vector<float>{1, 2, 3, 100, 0}));
}

TEST_F(BatchRun, ContentKeepsItsColoursAndOrientation) {
    // Left half red, right half blue; top half of the blue side turned green.
    ASSERT_TRUE(MakePicture(folder / "marks.bmp", "200x100",
                            "xc:red -fill blue -draw 'rectangle 100,0 199,99' "
                            "-fill lime -draw 'rectangle 100,0 199,49'"));
    Run("50", "40");
    const QImage image = Decode(folder / "处理后marks.jpg");
    ASSERT_EQ(image.size(), QSize(50, 40));
    const auto near = [](QRgb pixel, int r, int g, int b) {
        return std::abs(qRed(pixel) - r) < 40 && std::abs(qGreen(pixel) - g) < 40 &&
               std::abs(qBlue(pixel) - b) < 40;
    };
    EXPECT_TRUE(near(image.pixel(5, 20), 255, 0, 0));
    EXPECT_TRUE(near(image.pixel(45, 5), 0, 255, 0));
    EXPECT_TRUE(near(image.pixel(45, 35), 0, 0, 255));
}

TEST_F(BatchRun, FieldsRoundHalfToEven) {
    ASSERT_TRUE(MakePicture(folder / "a.jpg"));
    Run("176.5", "177.5");
    const QImage image = Decode(folder / "处理后a.jpg");
    EXPECT_EQ(image.size(), QSize(176, 178));
}

TEST_F(BatchRun, RefusedRunsConvertNothing) {
    ASSERT_TRUE(MakePicture(folder / "a.jpg"));
    const struct {
        const char* width;
        const char* height;
        const char* expected;
    } cases[] = {
        {"abc", "220", "Warning|must Number"}, {"176", "", "Warning|must Number"},
        {"40000", "220", "System|Error"},      {"-5", "220", "System|Error"},
        {"176", "0", "System|Error"},
    };
    for (const auto& c : cases) {
        recorder.Messages.clear();
        Run(c.width, c.height);
        EXPECT_EQ(Names(recorder.Messages), std::vector<std::string>{c.expected})
            << c.width << " x " << c.height;
        EXPECT_FALSE(std::filesystem::exists(folder / "处理后a.jpg"))
            << c.width << " x " << c.height;
    }
    EXPECT_EQ(recorder.Messages[0].Style, 48);
}

TEST_F(BatchRun, FolderWithoutPicturesIsReported) {
    folder.File("readme.txt");
    Run("176", "220");
    EXPECT_EQ(Names(recorder.Messages), std::vector<std::string>{"Warning|文件夹没有jpg和bmp图片"});
}

TEST_F(BatchRun, BadPictureIsReportedByNameAndTheRunGoesOn) {
    ASSERT_TRUE(MakePicture(folder / "a.jpg"));
    folder.File("b.jpg", "this is not a picture at all");
    ASSERT_TRUE(MakePicture(folder / "c.bmp"));

    Run("176", "220");

    ASSERT_EQ(recorder.Messages.size(), 2u);
    EXPECT_EQ(recorder.Messages[0].Title, "Quillane");
    EXPECT_EQ(recorder.Messages[0].Style, 0);
    EXPECT_NE(recorder.Messages[0].Prompt.find("b.jpg"), std::string::npos)
        << recorder.Messages[0].Prompt;
    EXPECT_EQ(recorder.Messages[1].Prompt, "调整成功:3张图片！");
    EXPECT_TRUE(std::filesystem::exists(folder / "处理后a.jpg"));
    EXPECT_FALSE(std::filesystem::exists(folder / "处理后b.jpg"));
    EXPECT_TRUE(std::filesystem::exists(folder / "处理后c.jpg"));
}

TEST_F(BatchRun, BitmapAndJpegOfOneNameShareTheOutputWrittenByTheLaterEntry) {
    ASSERT_TRUE(MakePicture(folder / "a.bmp", "64x48", "xc:red"));
    ASSERT_TRUE(MakePicture(folder / "a.jpg", "64x48", "xc:blue"));
    Run("20", "20");
    // The listing puts a.bmp before a.jpg, so the blue picture is the one that stays.
    const QImage image = Decode(folder / "处理后a.jpg");
    ASSERT_FALSE(image.isNull());
    EXPECT_GT(qBlue(image.pixel(10, 10)), 200);
    EXPECT_LT(qRed(image.pixel(10, 10)), 50);
}

TEST_F(BatchRun, ASecondRunConvertsTheFirstRunsOutput) {
    ASSERT_TRUE(MakePicture(folder / "a.jpg"));
    Run("30", "30");
    Run("30", "30");
    EXPECT_EQ(recorder.Messages.back().Prompt, "调整成功:2张图片！");
    EXPECT_TRUE(std::filesystem::exists(folder / "处理后处理后a.jpg"));
}

TEST_F(BatchRun, UpperCaseBitmapGetsJpgAndOddBytesSurvive) {
    ASSERT_TRUE(MakePicture(folder / "x.bmp"));
    std::filesystem::rename(folder / "x.bmp", folder / "Z.bmp");
    const std::string odd = "\xff\xfe odd.jpg";
    ASSERT_TRUE(MakePicture(folder / "y.jpg"));
    std::filesystem::rename(folder / "y.jpg", folder / odd);
    Run("16", "16");
    EXPECT_TRUE(std::filesystem::exists(folder / "处理后Z.jpg"));
    EXPECT_TRUE(std::filesystem::exists(folder / ("处理后" + odd)));
}

TEST_F(BatchRun, AFailedWriteLeavesTheExistingFileAndTheRunGoesOn) {
    ASSERT_TRUE(MakePicture(folder / "a.jpg"));
    // The output name is taken by a folder: the write cannot replace it.
    folder.Folder("处理后a.jpg");
    Run("30", "30");
    ASSERT_EQ(Names(recorder.Messages), (std::vector<std::string>{"Quillane|Failed to save to JPG",
                                                                  "System|调整成功:1张图片！"}));
    EXPECT_TRUE(std::filesystem::is_directory(folder / "处理后a.jpg"));
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        EXPECT_NE(entry.path().filename().string()[0], '.') << "temporary file left behind";
    }
}

}  // namespace
}  // namespace quillane
