#include <gtest/gtest.h>

#include <climits>
#include <set>

#include "imaging/cDIBSection.h"
#include "jpeg/mJPEGLibrary.h"
#include "platform/ijl/IjlTesting.h"
#include "support/FolderFixtures.h"

namespace quillane {
namespace {

// Every failed save shows one message and leaves the folder as it was, an earlier file under
// the name keeping every byte (the library's own test goes through each way a write fails); an
// overflow in the picture's size passes to the caller instead.
TEST(WriteJPG, FailedSavesAreReportedAndLeaveTheFolderAsItWas) {
    testing::TempFolder temp;
    testing::MessageRecorder messages;
    const std::string old(5000, 'o'), target = temp / "target.jpg";
    temp.File("target.jpg", old);
    const struct {
        const char* What;
        std::string Name;
        bool Create;  // make the picture memory (else it stays Empty)
        IjlFaults Faults;
        std::string Message = "Failed to save to JPG";
    } cases[] = {
        {"name with a zero byte", target + std::string(1, '\0') + "x", true, {}},
        {"Empty picture memory", target, false, {}},
        {"disk full mid-file", target, true, {.WriteBytesBeforeFailure = 300}},
        {"no ijlInit", target, true, {-1}, "Failed to initialise the IJL library: -1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        messages.Messages.clear();
        cDIBSection dib;
        ASSERT_TRUE(!c.Create || dib.Create(64, 40));
        IjlSetFaultsForTesting(c.Faults);
        EXPECT_FALSE(WriteJPG(dib, c.Name));
        IjlSetFaultsForTesting(IjlFaults{});
        ASSERT_EQ(messages.Messages.size(), 1u) << "one message, and nothing else";
        const MessageBoxRequest& m = messages.Messages[0];
        EXPECT_EQ(std::tuple(m.Prompt, m.Style, m.Title),
                  std::tuple(c.Message, int(vbExclamation), std::string("Quillane")));
        EXPECT_EQ(temp.Entries(), std::set<std::string>{"target.jpg"});
        EXPECT_EQ(temp.Read("target.jpg"), old);
    }
    // A failed Create keeps the size asked for, so the height cannot be negated in 32 bits.
    messages.Messages.clear();
    cDIBSection dib;
    (void)testing::ErrorOf([&] { dib.Create(1, INT_MIN); });
    ASSERT_EQ(dib.height(), INT_MIN);
    EXPECT_EQ(testing::ErrorOf([&] { WriteJPG(dib, temp / "out.jpg"); }), 6);
    EXPECT_TRUE(messages.Messages.empty());
    EXPECT_EQ(temp.Entries(), std::set<std::string>{"target.jpg"});
}

}  // namespace
}  // namespace quillane
