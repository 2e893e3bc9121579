// The view tests need one QApplication for the whole program, from the first test to the last
// (offscreen, as the shared main sets it).

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace {

int g_argc = 1;
char g_name[] = "view_tests";
char* g_argv[] = {g_name, nullptr};

struct QtApplicationEnvironment : testing::Environment {
    void SetUp() override { app = std::make_unique<QApplication>(g_argc, g_argv); }
    void TearDown() override { app.reset(); }
    std::unique_ptr<QApplication> app;
};

[[maybe_unused]] testing::Environment* const g_environment =
    testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
