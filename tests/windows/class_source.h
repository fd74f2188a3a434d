// Where the Windows tests get the filter's class object from: the module
// loaded by path with LoadLibraryW and asked through DllGetClassObject
// ("--route=loaded"), or the COM runtime, which finds the module through
// the registry's InprocServer32 key ("--route=registered"). The same tests
// run over both routes.
#pragma once

#include "trellan_ids.h"
#include "winapi.h"

#include <string>

namespace trellan::windows_test {

enum class Route { Loaded, Registered };

struct ClassSourceOptions {
    Route route = Route::Loaded;
    std::basic_string<WCHAR> modulePath;  // the module's full Windows path
};

class ClassSource {
public:
    // Parses --route= and --module= from what GoogleTest left of the
    // command line; reports a usage problem in `problem`.
    static bool ParseOptions(int argc, char** argv, ClassSourceOptions& options, std::string& problem);

    explicit ClassSource(const ClassSourceOptions& options) : options(options) {}
    ClassSource(const ClassSource&) = delete;
    ClassSource& operator=(const ClassSource&) = delete;
    ~ClassSource();

    // Loads the module (Loaded) or starts COM in the multithreaded
    // apartment (Registered).
    HRESULT Start();

    Route GetRoute() const { return options.route; }
    const std::basic_string<WCHAR>& ModulePath() const { return options.modulePath; }

    // The class object of `clsid` through this source's route.
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const;
    // A new filter object through this source's route.
    HRESULT CreateFilter(REFIID iid, void** out) const;

    // The module as loaded in the process (null when not loaded), and its
    // DllCanUnloadNow answer.
    HMODULE LoadedModule() const;
    // Frees the module that the Loaded route loaded.
    void Unload();
    HRESULT CanUnloadNow() const;

private:
    ClassSourceOptions options;
    HMODULE module = nullptr;  // held by the Loaded route
    bool comStarted = false;
};

// The source of the running test program, set by its main.
ClassSource& Source();
void SetSource(ClassSource* source);

}  // namespace trellan::windows_test
