// Unloading: the detach step releases the cached factory. The module's
// code is gone afterwards, so what happened is read from the heap: whether
// the factory's block was given back, and the count in a factory that a
// caller still holds (the count follows the interface pointer).
#include "heap_watch.h"
#include "support/loaded_module.h"

#include <gtest/gtest.h>
#include <win32/seams.h>

namespace trellan::test {
namespace {

LONG CountInFactory(const IClassFactory* factory)
{
    return *reinterpret_cast<const LONG*>(reinterpret_cast<const BYTE*>(factory) + sizeof(void*));
}

TEST(Unload, DetachReleasesTheCachedFactory)
{
    LoadedModule module;
    ASSERT_TRUE(module.Loaded());
    IClassFactory* factory = module.Factory();
    ASSERT_NE(factory, nullptr);
    WatchHeapBlock(factory);
    EXPECT_EQ(factory->Release(), 1u);
    EXPECT_EQ(CountInFactory(factory), 1);
    EXPECT_EQ(module.CanUnloadNow(), S_OK);

    ASSERT_TRUE(module.Unload());
    EXPECT_FALSE(ModuleIsLoaded());
    EXPECT_TRUE(HeapBlockFreed(factory)) << "the cache's reference was the last one";

    // A new load starts afresh: no lock, a new factory made on request.
    LoadedModule again;
    EXPECT_EQ(again.CanUnloadNow(), S_OK);
    long allocationsBefore = PlatformSeam_AllocationCount();
    IClassFactory* second = again.Factory();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(PlatformSeam_AllocationCount() - allocationsBefore, 1);
    second->Release();
}

TEST(Unload, FactoryHeldOutsideLivesOn)
{
    LoadedModule module;
    IClassFactory* factory = module.Factory();
    ASSERT_NE(factory, nullptr);
    WatchHeapBlock(factory);
    EXPECT_EQ(CountInFactory(factory), 2);
    EXPECT_EQ(module.CanUnloadNow(), S_FALSE);

    // A host that unloads anyway: the cache lets go, the holder's reference
    // remains, and the factory is not destroyed under it.
    ASSERT_TRUE(module.Unload());
    EXPECT_FALSE(ModuleIsLoaded());
    EXPECT_FALSE(HeapBlockFreed(factory));
    EXPECT_EQ(CountInFactory(factory), 1);

    // Its code went with the module; the test gives the memory back itself.
    HeapFree(GetProcessHeap(), 0, factory);
}

TEST(Unload, LoadsAreCounted)
{
    // Two loads: the first FreeLibrary leaves the module, with its cache,
    // in place; the second runs the detach step.
    LoadedModule module;
    HMODULE second = LoadLibraryW(ModulePath().c_str());
    ASSERT_EQ(second, module.Handle());
    IClassFactory* factory = module.Factory();
    ASSERT_NE(factory, nullptr);
    WatchHeapBlock(factory);
    EXPECT_EQ(factory->Release(), 1u);

    ASSERT_TRUE(FreeLibrary(second));
    EXPECT_TRUE(ModuleIsLoaded());
    EXPECT_FALSE(HeapBlockFreed(factory));
    IClassFactory* same = module.Factory();
    EXPECT_EQ(same, factory) << "still cached";
    same->Release();

    ASSERT_TRUE(module.Unload());
    EXPECT_FALSE(ModuleIsLoaded());
    EXPECT_TRUE(HeapBlockFreed(factory));
}

}  // namespace
}  // namespace trellan::test
