// The main form: its layout, the listing of real folders, and the start button's run on them
// (fields, conversion, names, messages, the progress bar, folders full of bad files). A run that
// decodes ahead on a helper thread must be indistinguishable from one that reads every picture at
// its turn: same messages, same progress values, same bytes. The batch command runs the same way
// from a script.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImageReader>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <map>
#include <set>
#include <thread>
#include <tuple>

#include "app/FormMain.h"
#include "support/FolderFixtures.h"
#include "support/PictureFiles.h"

namespace quillane {
namespace {

using namespace ::testing;  // the matchers

using testing::MessageRecorder;
using testing::TempFolder;
using testing::TextOf;

TEST(FormMainLayout, EveryControlInPlaceWithItsText) {
    const struct {
        const char* Name;
        int Index;
        float Left, Top, Width, Height;
        int TabIndex;
        const char* Text;
    } expected[] = {
        {"DriveS", -1, 16, 16, 305, 22, 0, ""},
        {"DirS", -1, 16, 40, 305, 134, 1, ""},
        {"Label5", -1, 32, 184, 36, 12, 13, "图片数"},
        {"LabCount", -1, 88, 184, 14, 12, 14, "0"},
        {"Label3", -1, 104, 184, 12, 12, 15, "张"},
        {"Label4", -1, 176, 192, 97, 49, 16,
         "小1寸：390*260 中1寸：413*295 大1寸：567*390  2寸：413*626"},
        {"Label1", 0, 32, 208, 36, 12, 7, "像素高"},
        {"txtH", -1, 80, 205, 49, 18, 5, "220"},
        {"height", 1, 128, 208, 18, 12, 9, "pix"},
        {"Label2", -1, 32, 232, 36, 12, 8, "像素宽"},
        {"txtW", -1, 80, 229, 49, 18, 6, "176"},
        {"height", 2, 128, 232, 18, 12, 10, "pix"},
        {"tBar", -1, 16, 264, 313, 17, 11, ""},
        {"CMD_OK", -1, 120, 288, 81, 25, 2, "开始调整"},
        {"Lab1", -1, 376, 200, 18, 12, 12, "c:\\"},
        {"oPic", -1, 352, 40, 144, 148, 4, ""},
        {"sPic", -1, 408, 208, 81, 89, 3, ""},
    };
    FormMain form;
    ASSERT_EQ(form.Controls().size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const Control& c = *form.Controls()[i];
        const auto& e = expected[i];
        SCOPED_TRACE(e.Name);
        EXPECT_EQ(std::tuple(c.Name(), c.Index(), c.Left(), c.Top(), c.Width(), c.Height(),
                             c.TabIndex(), TextOf(c)),
                  std::tuple(std::string(e.Name), e.Index, e.Left, e.Top, e.Width, e.Height,
                             e.TabIndex, std::string(e.Text)));
        const bool listFont =
            c.Kind() == ControlKind::DriveListBox || c.Kind() == ControlKind::DirListBox;
        EXPECT_EQ(c.Font(), listFont ? std::optional<FontSpec>(FontSpec{"宋体", 10.5f, 134, 400})
                                     : std::nullopt);
        EXPECT_EQ(c.Visible(), i + 3 < std::size(expected));  // the last three are never seen
        EXPECT_EQ(c.Enabled(), &c != &form.Lab1);
    }
    EXPECT_EQ(form.Caption, "QuillaneV1.0");
    EXPECT_EQ(std::pair(form.ClientWidth, form.ClientHeight), std::pair(342.f, 324.f));
    EXPECT_TRUE(form.FixedSingleBorder && form.CenterOnScreen);
    EXPECT_FALSE(form.MinButton || form.MaxButton || form.CMD_OK.Default || form.CMD_OK.Cancel);
    EXPECT_EQ(form.tBar.Max(), 100);
}

// The listing takes the files directly in the folder that are not hidden and end in .jpg or
// .bmp in any case, in a stable order; stale content does not survive. Counts beyond 16 bits
// show in full.
TEST(FormMainBrowsing, ListingAndCountFollowTheFolder) {
    TempFolder temp;
    temp.Folder("pics/x.jpg");  // which kinds of entry are files at all is the folder reader's
    temp.Folder("pics/y.BMP/z.jpg");
    for (const char* name : {"c.BMP", "B.bmp", "a.JPG", "b.Jpg", "10.jpg", "9.jpg", "a.jpeg",
                             "b.png", "d.jpg.txt", "e.jpgx", "jpg", "a.j", ".jpg", ".B.BMP"})
        temp.File(std::string("pics/") + name);
    temp.File("pics/z.txt");  // the last entry is no picture
    temp.File("a.jpg");
    MessageRecorder recorder;
    FormMain form;
    const std::vector<std::string> pictures = {"10.jpg", "9.jpg", "a.JPG",
                                               "B.bmp",  "b.Jpg", "c.BMP"};
    for (const auto& [path, folder] : {std::pair{temp / "pics", true},
                                       {temp / "pics/", true},
                                       {temp / "pics/y.BMP/z.jpg", false},
                                       {temp / "missing", false},
                                       {temp / "a.jpg", false}}) {
        std::vector<std::string> list(50, "stale");
        EXPECT_EQ(form.GetDirectoryFileList(path, list), folder) << path;
        EXPECT_TRUE(!folder || list == pictures) << path;
    }
    // Opening the folder by its list entry, as a double-click does.
    form.DirS.SetPath(temp.Path());
    EXPECT_EQ(form.LabCount.Caption(), "1");
    ASSERT_EQ(form.DirS.Entries().back().Name, "pics");
    form.DirS.SetPath(form.DirS.Entries().back().FullPath);
    EXPECT_EQ(form.LabCount.Caption(), "6");
    EXPECT_EQ(form.Lab1.Caption(), temp / "pics");
    EXPECT_EQ(form.FileList(), pictures);
    // One more than a 16-bit count holds: hard links to one file, many names without the cost
    // of as many files.
    const std::string first = temp / "many/p0.jpg";
    temp.Folder("many");
    temp.File("many/p0.jpg");
    for (int i = 1; i < 32768; ++i)
        ASSERT_EQ(link(first.c_str(), (temp / ("many/p" + std::to_string(i) + ".jpg")).c_str()), 0);
    form.DirS.SetPath(temp / "many");
    EXPECT_EQ(std::tuple(form.LabCount.Caption(), form.LabCount.Left(), form.LabCount.Width()),
              std::tuple("32768", 88.f, 30.f));
    EXPECT_TRUE(recorder.Messages.empty());
}

// Shared by the batch tests: presses the start button on a real folder, records the messages,
// the progress bar and the pictures done, and audits what a run must never do to the folder,
// with outputs decoded again by libjpeg-turbo's djpeg, a decoder independent of ours.

using Bytes = std::string;
using test::Quote;
using test::Shell;

const std::string kPrefix = "处理后";

// Decodes a copy under a plain name in work, so that no odd name is ever quoted; 0 x 0 when
// djpeg fails or warns about the data, or the file is missing.
std::pair<int, int> DjpegSize(const std::filesystem::path& jpeg, const TempFolder& work) {
    std::error_code missing;
    std::filesystem::copy_file(jpeg, work / "in.jpg",
                               std::filesystem::copy_options::overwrite_existing, missing);
    if (missing ||
        !Shell("djpeg -outfile " + Quote(work / "out.ppm") + " " + Quote(work / "in.jpg")))
        return {0, 0};
    const test::RgbPicture decoded = test::ReadPpm(work / "out.ppm");
    return {decoded.Width, decoded.Height};
}

class BatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* tool : {"convert", "djpeg"}) REQUIRE_TOOL(tool);
    }

    // A picture drawn by ImageMagick from its arguments ("-size 40x30 xc:red", then "bmp3:" or
    // the like for a format other than the name's).
    static void Picture(const std::string& path, const std::string& arguments) {
        const char* gap = arguments.ends_with(":") ? "" : " ";
        ASSERT_TRUE(Shell("convert " + arguments + gap + Quote(path))) << path;
    }

    // Presses the start button on the folder.
    void Click(const std::string& where, const std::string& width, const std::string& height) {
        recorder.Messages.clear(), Progress.clear(), Done.clear();
        form.OnPictureDone = [this](std::int32_t done, std::int32_t total) {
            Done.emplace_back(done, total);
        };
        form.DirS.SetPath(where);
        form.txtW.SetText(width);
        form.txtH.SetText(height);
        const int token = form.tBar.Subscribe([this] { Progress.push_back(form.tBar.Value()); });
        form.CMD_OK.Click();
        form.tBar.Unsubscribe(token);
    }

    // Clicks, then checks that the files that were there are unchanged (those the run may
    // write over excepted), no temporary file is left and every new output is a whole JPEG of
    // the typed size.
    void Run(const std::string& where, const std::string& width, const std::string& height) {
        std::map<std::string, test::Bytes> before;
        for (const auto& entry : std::filesystem::directory_iterator(where)) {
            std::error_code ignored;  // a link loop has no status; it is no file of ours
            if (entry.is_regular_file(ignored) && !entry.is_symlink(ignored))
                before[entry.path().filename().string()] = test::ReadBytes(entry.path());
        }
        Click(where, width, height);
        const auto output = [](const std::string& name) { return name.rfind(kPrefix, 0) == 0; };
        for (const auto& [name, bytes] : before) {
            EXPECT_TRUE(output(name) || test::ReadBytes(where + "/" + name) == bytes)
                << "changed or lost: " << name;
        }
        const auto size = std::make_pair(std::atoi(width.c_str()), std::atoi(height.c_str()));
        for (const auto& entry : std::filesystem::directory_iterator(where)) {
            const std::string name = entry.path().filename().string();
            EXPECT_NE(name.rfind(".quillane-", 0), 0u) << "temporary file left: " << name;
            EXPECT_TRUE(!output(name) || before.count(name) || entry.is_directory() ||
                        DjpegSize(entry.path(), work) == size)
                << "not a whole JPEG: " << name;
        }
    }

    // The messages, each as title|prompt|style.
    std::vector<std::string> Prompts() const {
        std::vector<std::string> prompts;
        for (const auto& m : recorder.Messages)
            prompts.push_back(m.Title + "|" + m.Prompt + "|" + std::to_string(m.Style));
        return prompts;
    }

    TempFolder folder;
    TempFolder work;  // for the tools' own files, out of the audit's sight
    MessageRecorder recorder;
    FormMain form;
    std::vector<float> Progress;            // the bar's values, as they change
    std::vector<std::pair<int, int>> Done;  // pictures done, of how many
};

using Layout = std::vector<std::pair<std::string, std::string>>;

class BatchRun : public BatchTest {
  protected:
    // Each entry is a picture drawn from "-size ...", else a file of the text.
    static void Lay(const TempFolder& into, const Layout& layout) {
        for (const auto& [name, what] : layout) {
            if (what.starts_with("-size"))
                Picture(into / name, what);
            else
                into.File(name, what);
        }
    }
    // Every entry with its bytes.
    static std::map<std::string, std::string> Files(const TempFolder& of) {
        std::map<std::string, std::string> files;
        for (const std::string& name : of.Entries()) files[name] = of.Read(name);
        return files;
    }
};

const std::string kPicture = "-size 64x48 gradient:red-blue";
const std::string kOdd = "\xff\xfe odd.jpg";  // no valid UTF-8: the bytes must survive

const struct {
    const char* Title;
    Layout Before;
    std::vector<Matcher<std::string>> Says;
    std::vector<float> Progress;
    std::set<std::string> After;  // the folder's entries afterwards
} kScenarios[] = {
    // The bar follows the files, stands at its maximum for the message, then returns to 0. The
    // first picture's output replaces a red picture before that one's own turn comes.
    {"pictures of either kind and any case, among other files",
     {{"photo.JPG", "-size 640x480 plasma:fractal"},
      {"处理后photo.JPG", "-size 50x50 xc:red"},
      {"Scan.BMP", "-size 40x90 xc:red -alpha on"},  // 32 bits in bit fields
      {"small.jpg", "-size 10x10 xc:green"},
      {kOdd, kPicture},
      {"notes.txt", "no picture"}},
     {"System|调整成功:5张图片！|0"},
     {1, 2, 3, 4, 5, 100, 0},
     {"photo.JPG", "Scan.BMP", "small.jpg", kOdd, "notes.txt", "处理后photo.JPG", "处理后Scan.jpg",
      "处理后small.jpg", "处理后" + kOdd, "处理后处理后photo.JPG"}},
    {"a bad picture is reported by name and the run goes on",
     {{"a.jpg", kPicture}, {"b.jpg", "this is not a picture at all"}, {"c.bmp", kPicture}},
     {AllOf(StartsWith("Quillane|"), HasSubstr("b.jpg"), EndsWith("|0")),
      "System|调整成功:3张图片！|0"},
     {1, 2, 3, 100, 0},
     {"a.jpg", "b.jpg", "c.bmp", "处理后a.jpg", "处理后c.jpg"}},
};

TEST_F(BatchRun, ScenariosGiveTheirMessagesProgressAndFilesWhetherDecodingAheadOrNot) {
    for (const auto& s : kScenarios) {
        SCOPED_TRACE(s.Title);
        TempFolder original;
        Lay(original, s.Before);
        ASSERT_FALSE(HasFatalFailure());
        std::map<std::string, std::string> oneByOne;
        // Round 0 reads each picture at its turn; timing differs from run to run, the outcome
        // must not.
        for (int round = 0; round < 4; ++round) {
            SCOPED_TRACE("round " + std::to_string(round));
            TempFolder copy;
            std::filesystem::copy(original.Path(), copy.Path(),
                                  std::filesystem::copy_options::recursive);
            form.DecodeAheadEnabled = round > 0;
            Run(copy.Path(), " 176 ", " 220 ");
            EXPECT_THAT(Prompts(), ElementsAreArray(s.Says));
            EXPECT_EQ(Progress, s.Progress);
            const auto files = Files(copy);
            EXPECT_EQ(files.size(), s.After.size());
            for (const std::string& name : s.After) EXPECT_EQ(files.count(name), 1u) << name;
            if (round == 0) oneByOne = files;
            EXPECT_TRUE(files == oneByOne) << "decoding ahead changed a file";
        }
    }
}

TEST_F(BatchRun, FieldsAreCheckedBeforeAnythingIsConverted) {
    Picture(folder / "a.bmp", "-size 3x2 xc:red bmp3:");
    const struct {
        const char *Width, *Height;
        std::vector<std::string> Says;
        std::pair<int, int> Output;  // 0 x 0: nothing may be written
    } cases[] = {
        {"abc", "220", {"Warning|must Number|48"}, {}},
        {"176", "", {"Warning|must Number|48"}, {}},
        {"40000", "220", {"System|Error|48"}, {}},
        {"-5", "220", {"System|Error|48"}, {}},
        {"176", "0", {"System|Error|48"}, {}},
        {"32768", "1", {"System|Error|48"}, {}},
        {"32767", "32767", {"System|Error|48"}, {}},  // 3 GB of canvas: refused, not attempted
        {"32767", "1", {"System|调整成功:1张图片！|0"}, {32767, 1}},
        {"1", "32767", {"System|调整成功:1张图片！|0"}, {1, 32767}},
        {"176.5", "177.5", {"System|调整成功:1张图片！|0"}, {176, 178}},  // halves to even
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Width) + " x " + c.Height);
        std::filesystem::remove(folder / "处理后a.jpg");
        Click(folder.Path(), c.Width, c.Height);
        EXPECT_EQ(Prompts(), c.Says);
        EXPECT_EQ(DjpegSize(folder / "处理后a.jpg", work), c.Output);
    }
}

// Whatever lies in the folder, the run never crashes or hangs, reports each bad file by name
// and goes on, writes only whole JPEGs, leaves no temporary file and changes no file it did not
// write; the loaders' own tests go through each kind of damage in detail.
// What the run must make of a file: an output, a message naming it, or a failed save.
enum Fate { kConverted, kReported, kUnsaved };

// One run over garbage, pictures in disguise, truncations, inputs
// that once broke the loader, entries that are no files and odd names.
TEST_F(BatchRun, BadFilesAreReportedOnceByNameAndGoodOnesConverted) {
    std::map<std::string, Fate> fates;
    for (const auto& [name, content] : {std::pair<const char*, Bytes>{"text.jpg", "a list\n"},
                                        {"jpegstart.jpg", "\xFF\xD8\xFF\xE0garbage after it"},
                                        {"bmpstart.bmp", "BM" + Bytes(60, '\x7F')}})
        folder.File(name, content), fates[name] = kReported;
    for (const auto& [name, format] :
         {std::pair{"png.jpg", "png:"}, {"gif.bmp", "gif:"}, {"bmp.jpg", "bmp3:"}}) {
        Picture(folder / name, std::string("-size 40x30 gradient:red-blue ") + format);
        fates[name] = kConverted;  // content decides, not the name
    }
    // Noise pictures of each kind, so that every byte matters, cut from 0 bytes to 47/48.
    for (const auto& [source, format] :
         {std::pair{"p.jpg", "-interlace JPEG"}, {"r.bmp", "-colors 16 -compress RLE bmp3:"}}) {
        Picture(work / source, std::string("-size 48x40 xc: +noise Random ") + format);
        const Bytes whole = work.Read(source);
        for (int step = 0; step < 48; ++step) {
            const std::string name = "cut" + std::to_string(step) + "_" + source;
            folder.File(name, whole.substr(0, whole.size() * step / 48));
            fates[name] = kReported;
        }
    }
    // The committed ones: a kilobyte of run-length codes that claims 16777240 x 9 pixels, and a
    // damaged GIF (screen 44312 x 16, frame 24 x 16) once written out as a blank picture.
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(QUILLANE_TEST_DATA) + "/malformed")) {
        std::filesystem::copy_file(entry.path(), folder / entry.path().filename());
        fates[entry.path().filename().string()] = kReported;
    }
    // Entries that are no files are never opened (a FIFO that were would wait forever) nor
    // listed; a link to a picture is one.
    folder.Fifo("x.jpg");
    folder.Socket("y.jpg");
    folder.Link("loop.jpg", "loop.jpg");
    folder.Link("alias.jpg", "png.jpg");
    fates["alias.jpg"] = kConverted;
    // Odd names keep their bytes; a name of 250 bytes is legal, but not with the 9-byte
    // prefix, so that file alone cannot be saved.
    for (const std::string name : {"new\nline.jpg", "照片 一.JPG", "\xC3\x28 not utf-8 \xFF.bmp",
                                   "-dash.jpg", "q'and\"d.jpg", "*?[glob].jpg"})
        folder.File(name, folder.Read("png.jpg")), fates[name] = kConverted;
    const std::string longName = std::string(246, 'n') + ".jpg";
    folder.File(longName, folder.Read("png.jpg"));
    fates[longName] = kUnsaved;

    Run(folder.Path(), "8", "8");
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "alias.jpg"));
    // Refused files are named by exactly one message and have no output (a bitmap's is named
    // .jpg); then one message for the failed save and the count.
    const auto prompts = Prompts();
    const auto saying = [&](const std::string& text) {
        return std::count_if(prompts.begin(), prompts.end(), [&](const std::string& prompt) {
            return prompt.find(text) != std::string::npos;
        });
    };
    std::size_t reported = 0;
    for (const auto& [name, fate] : fates) {
        reported += fate == kReported;
        const std::string output =
            kPrefix + (name.ends_with(".bmp") ? name.substr(0, name.size() - 4) + ".jpg" : name);
        std::error_code tooLong;
        EXPECT_EQ(
            std::pair(std::filesystem::exists(folder / output, tooLong), saying("'" + name + "'")),
            std::pair(fate == kConverted, std::ptrdiff_t(fate == kReported)))
            << name;
    }
    const int total = static_cast<int>(fates.size());
    EXPECT_EQ(saying("Quillane|Failed to save to JPG|48"), 1);
    EXPECT_EQ(prompts.size(), reported + 2);
    EXPECT_EQ(prompts.back(), "System|调整成功:" + std::to_string(total) + "张图片！|0");
    // More pictures than the bar's maximum: it follows them up to 100 and stays there.
    std::vector<float> progress;
    std::vector<std::pair<int, int>> done;
    for (int i = 1; i <= total; ++i) {
        done.emplace_back(i, total);
        if (i <= 100) progress.push_back(float(i));
    }
    progress.push_back(0);
    EXPECT_EQ(Progress, progress);
    EXPECT_EQ(Done, done);
}

// quillane-batch run as a separate program with no display at all, the way a script runs it.
std::size_t Outputs(const TempFolder& folder) {
    std::size_t count = 0;
    for (const std::string& name : folder.Entries()) count += name.starts_with("处理后");
    return count;
}

TEST_F(BatchTest, CommandExitStatusMessagesAndOutputs) {
    TempFolder empty, other;
    for (const auto& [path, size] : {std::pair{folder / "a.jpg", "400x300"},
                                     {folder / "b.bmp", "30x60"},
                                     {other / "a.jpg", "40x30"}})
        ASSERT_TRUE(test::Shell("convert -size " + std::string(size) + " gradient:white-black " +
                                Quote(path)));
    other.File("broken.bmp", "BM not really");
    const struct {
        std::string Arguments;
        int Status;
        std::vector<const char*> Says;
        std::vector<std::pair<std::string, QSize>> Outputs;  // after this run
    } cases[] = {
        {"--width abc " + Quote(folder.Path()), 2, {"must Number"}, {}},
        {"--height 40000 " + Quote(folder.Path()), 2, {"Error"}, {}},
        {Quote(empty.Path()), 2, {"文件夹没有jpg和bmp图片"}, {}},
        {Quote(folder / "missing"), 2, {"Path not found"}, {}},
        {"--bogus " + Quote(folder.Path()), 2, {"unknown option"}, {}},
        {"", 2, {"no folder given"}, {}},
        {"--help", 0, {"Usage: quillane-batch", "Exit status"}, {}},
        {Quote(folder.Path()),
         0,
         {"调整成功:2张图片！"},  // the default size
         {{folder / "处理后a.jpg", {176, 220}}, {folder / "处理后b.jpg", {176, 220}}}},
        {"--width 33 --height=44 " + Quote(other.Path()),
         1,
         {"broken.bmp", "调整成功:2张图片！"},
         {{other / "处理后a.jpg", {33, 44}}}},
    };
    std::size_t written = 0;  // no refused run writes anything
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Arguments);
        // No display nor Qt platform in its environment; standard output and error together.
        const int status = std::system(("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                                        Quote(QUILLANE_BATCH_PROGRAM) + " " + c.Arguments + " >" +
                                        Quote(work / "said") + " 2>&1")
                                           .c_str());
        const std::string said = work.Read("said");
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.Status) << said;
        for (const char* says : c.Says) EXPECT_NE(said.find(says), std::string::npos) << said;
        EXPECT_EQ(Outputs(folder) + Outputs(other), written += c.Outputs.size());
        for (const auto& [path, size] : c.Outputs) {
            const QImageReader reader(QString::fromStdString(path));
            EXPECT_EQ(std::pair(reader.size(), reader.format()),
                      std::pair(size, QByteArray("jpeg")));
        }
    }
}

// A run signalled mid-way: SIGINT and SIGTERM let the picture being written finish, say how
// many were done and leave only whole outputs and the originals.
TEST_F(BatchTest, ASignalledCommandLeavesOnlyWholeOutputsAndTheOriginals) {
    const std::string source = work / "source.jpg";
    ASSERT_TRUE(test::Shell("convert -size 3000x2000 gradient:white-black " + Quote(source)));
    const test::Bytes original = test::ReadBytes(source);
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, {SIGTERM, 143}}) {
        SCOPED_TRACE(strsignal(signal));
        TempFolder run;
        for (int i = 0; i < 24; ++i)
            test::WriteBytes(run / ("p" + std::to_string(i) + ".jpg"), original);
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(open((work / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
            execl(QUILLANE_BATCH_PROGRAM, QUILLANE_BATCH_PROGRAM, "--width=1200", "--height=900",
                  run.Path().c_str(), nullptr);
            _exit(127);
        }
        ASSERT_GT(pid, 0);
        // Until the first output is in place (bounded: a minute), then at once.
        for (int wait = 0; wait < 60000 && Outputs(run) == 0; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        kill(pid, signal);
        int wstatus = 0;
        ASSERT_EQ(waitpid(pid, &wstatus, 0), pid);
        const std::size_t done = Outputs(run);
        const std::string said = work.Read("stderr");
        EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == status) << said;
        EXPECT_NE(said.find(std::string("stopped by SIG") + sigabbrev_np(signal) + ": " +
                            std::to_string(done) + " of 24 pictures done"),
                  std::string::npos)
            << said;
        EXPECT_TRUE(done > 0 && done < 24) << done << " done: the signal came too late";
        for (const std::string& name : run.Entries()) {
            EXPECT_TRUE(name.starts_with("处理后")
                            ? DjpegSize(run / name, work) == std::pair(1200, 900)
                            : name[0] == 'p' && test::ReadBytes(run / name) == original)
                << name << ": changed, cut short or left behind";
        }
    }
}

}  // namespace
}  // namespace quillane
