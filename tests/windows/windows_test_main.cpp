// The Windows test program: the COM server and the filter inside the real
// trellan.dll, reached through the route that the command line names.
// After the last test, every object and lock the tests took is gone, so
// the module must be ready to unload.
#include "class_source.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace trellan::windows_test {
namespace {

class ModuleEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        HRESULT started = Source().Start();
        ASSERT_EQ(started, S_OK) << "cannot start the class source";
        // The module was loaded by path (Loaded) or is not loaded until the
        // first request (Registered).
        if (Source().GetRoute() == Route::Loaded) {
            ASSERT_NE(Source().LoadedModule(), nullptr);
        }
    }
    void TearDown() override
    {
        ASSERT_NE(Source().LoadedModule(), nullptr) << "the module was never loaded";
        EXPECT_EQ(Source().CanUnloadNow(), S_OK) << "objects or locks outlived the tests";
    }
};

}  // namespace
}  // namespace trellan::windows_test

int main(int argc, char** argv)
{
    using namespace trellan::windows_test;
    ::testing::InitGoogleTest(&argc, argv);
    ClassSourceOptions options;
    std::string problem;
    if (!ClassSource::ParseOptions(argc, argv, options, problem)) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 2;
    }
    ClassSource source(options);
    SetSource(&source);
    std::printf("route: %s\n", options.route == Route::Loaded ? "LoadLibrary + DllGetClassObject"
                                                              : "CoCreateInstance through the registry");
    ::testing::AddGlobalTestEnvironment(new ModuleEnvironment);
    int result = RUN_ALL_TESTS();
    // The media-format runtime, which the harvest loads on first use, stays
    // when the module goes: a library may not be freed from the module's
    // entry point, and the module frees it nowhere else.
    if (options.route == Route::Loaded && result == 0 && GetModuleHandleW(OLESTR("wmvcore.dll"))) {
        source.Unload();
        if (source.LoadedModule() || !GetModuleHandleW(OLESTR("wmvcore.dll"))) {
            std::fprintf(stderr, "FAILED: trellan.dll is still loaded, or freed wmvcore.dll as it went\n");
            result = 1;
        } else {
            std::printf("trellan.dll was freed; wmvcore.dll stays loaded\n");
        }
    }
    SetSource(nullptr);
    return result;
}
