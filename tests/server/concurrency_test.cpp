// Many threads at once: the race for the first DllGetClassObject, then
// filters made, queried, initialised, walked and released, with LockServer
// in pairs and DllCanUnloadNow asked along the way. Run under
// ThreadSanitizer by scripts/run_tsan.sh.
#include "support/loaded_module.h"
#include "shared_editor.h"

#include "com_ptr.h"

#include <gtest/gtest.h>
#include <win32/seams.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace trellan::test {
namespace {

constexpr int threadCount = 8;
constexpr int roundsPerThread = 40;

// Holds every thread until all are ready, then lets them go together.
class StartLine {
public:
    explicit StartLine(int threads) : waiting(threads) {}
    void Arrive()
    {
        waiting.fetch_sub(1);
        while (waiting.load() > 0)
            std::this_thread::yield();
    }

private:
    std::atomic<int> waiting;
};

// An outer object for one thread's aggregates.
class CountingOuter final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        *out = nullptr;
        if (IsEqualGUID(iid, IID_IUnknown)) {
            *out = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }

    std::atomic<ULONG> references{1};
    IUnknown* inner = nullptr;
};

std::u16string ValueText(PROPVARIANT* value)
{
    std::u16string text = value && value->vt == VT_LPWSTR && value->pwszVal ? value->pwszVal : u"<not a string>";
    if (value) {
        PropVariantClear(value);
        CoTaskMemFree(value);
    }
    return text;
}

// One round of a host's work on one file; counts what went wrong.
int FilterOneFile(IFilter* filter, IPersistFile* file)
{
    int faults = 0;
    faults += file->Load(u"/media/concurrent.mp3", 0) != S_OK;
    ULONG flags = 1;
    faults += filter->Init(0, 0, nullptr, &flags) != S_OK;
    faults += flags != 0;

    STAT_CHUNK chunk{};
    faults += filter->GetChunk(&chunk) != S_OK || chunk.idChunk != 1;
    WCHAR buffer[7];
    for (;;) {
        ULONG units = static_cast<ULONG>(std::size(buffer));
        HRESULT result = filter->GetText(&units, buffer);
        if (result == FILTER_S_LAST_TEXT || result == FILTER_E_NO_MORE_TEXT)
            break;
        if (result != S_OK) {
            ++faults;
            break;
        }
    }
    const std::u16string expected[] = {sharedEditorTitle, sharedEditorAuthor, u""};
    for (const std::u16string& value : expected) {
        faults += filter->GetChunk(&chunk) != S_OK;
        PROPVARIANT* delivered = nullptr;
        faults += filter->GetValue(&delivered) != S_OK;
        faults += ValueText(delivered) != value;
    }
    faults += filter->GetChunk(&chunk) != FILTER_E_END_OF_CHUNKS;
    return faults;
}

int WorkOnFilters(const LoadedModule& module, IClassFactory* factory, int round)
{
    int faults = 0;
    faults += factory->LockServer(TRUE) != S_OK;

    ComPtr<IUnknown> object;
    faults += factory->CreateInstance(nullptr, round % 2 ? IID_IUnknown : IID_IFilter, object.ReceiveVoid()) != S_OK;
    ComPtr<IFilter> filter;
    ComPtr<IPersistFile> file;
    if (object) {
        faults += object->QueryInterface(IID_IFilter, filter.ReceiveVoid()) != S_OK;
        faults += object->QueryInterface(IID_IPersistFile, file.ReceiveVoid()) != S_OK;
    }
    if (filter && file)
        faults += FilterOneFile(filter.Get(), file.Get());

    // Now and then an aggregate as well.
    if (round % 4 == 0) {
        CountingOuter outer;
        faults += factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)) != S_OK;
        if (outer.inner) {
            ComPtr<IFilter> contained;
            faults += outer.QueryInterface(IID_IFilter, contained.ReceiveVoid()) != S_OK;
            ComPtr<IPersistFile> containedFile;
            if (contained)
                faults += contained->QueryInterface(IID_IPersistFile, containedFile.ReceiveVoid()) != S_OK;
            if (contained && containedFile)
                faults += FilterOneFile(contained.Get(), containedFile.Get());
            contained.Reset();
            containedFile.Reset();
            faults += outer.inner->Release() != 0;
        }
    }

    // A host asks now and then; the answer depends on the other threads.
    HRESULT canUnload = module.CanUnloadNow();
    faults += canUnload != S_OK && canUnload != S_FALSE;
    faults += factory->LockServer(FALSE) != S_OK;
    return faults;
}

TEST(Concurrency, RaceForTheFactoryThenFilterTogether)
{
    SharedEditor editor;
    LoadedModule module;
    ASSERT_TRUE(module.Loaded());

    // Every thread asks for the class object at the same moment.
    StartLine start(threadCount);
    std::vector<IClassFactory*> factories(threadCount, nullptr);
    std::vector<HRESULT> results(threadCount, E_FAIL);
    std::vector<std::thread> threads;
    long allocationsBefore = PlatformSeam_AllocationCount();
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&, t] {
            start.Arrive();
            results[t] = module.GetClassObject(CLSID_WMFilter, IID_IClassFactory,
                                               reinterpret_cast<void**>(&factories[t]));
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    threads.clear();
    EXPECT_EQ(PlatformSeam_AllocationCount() - allocationsBefore, 1) << "exactly one factory was made";
    for (int t = 0; t < threadCount; ++t) {
        EXPECT_EQ(results[t], S_OK);
        EXPECT_EQ(factories[t], factories[0]);
    }
    ASSERT_NE(factories[0], nullptr);
    EXPECT_EQ(factories[0]->AddRef(), static_cast<ULONG>(threadCount + 2)) << "cache and every thread";
    factories[0]->Release();

    // Then they all work, each through its own factory reference.
    std::vector<int> faults(threadCount, 0);
    StartLine work(threadCount);
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&, t] {
            work.Arrive();
            for (int round = 0; round < roundsPerThread; ++round) {
                faults[t] += WorkOnFilters(module, factories[t], round);
                // A second request for the class object, released at once.
                IClassFactory* again = nullptr;
                faults[t] += module.GetClassObject(CLSID_WMFilter, IID_IUnknown, reinterpret_cast<void**>(&again)) != S_OK;
                faults[t] += again != factories[t];
                if (again)
                    again->Release();
            }
            factories[t]->Release();
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < threadCount; ++t)
        EXPECT_EQ(faults[t], 0) << "thread " << t;

    EXPECT_EQ(module.CanUnloadNow(), S_OK);
    EXPECT_EQ(SharedEditor::LiveEditors(), 0);
}

}  // namespace
}  // namespace trellan::test
