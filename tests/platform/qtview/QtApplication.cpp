// The view tests need one QApplication for the whole program, from the first test to the last
// (offscreen, as the shared main sets it).

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace {

struct QtApplicationEnvironment : testing::Environment {
    void SetUp() override { app = std::make_unique<QApplication>(argc, argv); }
    void TearDown() override { app.reset(); }
    int argc = 1;
    char name[11] = "view_tests";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QApplication> app;
};

[[maybe_unused]] testing::Environment* const g_environment =
    testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
