// The module lock count through objects, outside factory references and
// LockServer, with DllCanUnloadNow after every step.
#include "support/loaded_module.h"

#include "com_ptr.h"

#include <gtest/gtest.h>

#include <vector>

namespace trellan::test {
namespace {

TEST(LockCount, ObjectsHoldOneUnitEach)
{
    LoadedModule module;
    IClassFactory* factory = module.Factory();
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(module.CanUnloadNow(), S_FALSE) << "a factory held outside";
    EXPECT_EQ(MeasureLockCount(module, factory), 1);

    std::vector<IFilter*> filters;
    for (LONG live = 1; live <= 3; ++live) {
        IFilter* filter = nullptr;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IFilter, reinterpret_cast<void**>(&filter)), S_OK);
        filters.push_back(filter);
        EXPECT_EQ(MeasureLockCount(module, factory), 1 + live);
    }
    // More references on one object do not count again.
    IFilter* first = filters.front();
    EXPECT_EQ(first->AddRef(), 2u);
    EXPECT_EQ(MeasureLockCount(module, factory), 4);
    EXPECT_EQ(first->Release(), 1u);

    // The factory goes first; the objects keep the module in use.
    EXPECT_EQ(factory->Release(), 1u);
    EXPECT_EQ(module.CanUnloadNow(), S_FALSE);
    while (!filters.empty()) {
        EXPECT_EQ(filters.back()->Release(), 0u);
        filters.pop_back();
        EXPECT_EQ(module.CanUnloadNow(), filters.empty() ? S_OK : S_FALSE);
    }
}

TEST(LockCount, OutsideFactoryReferences)
{
    LoadedModule module;
    EXPECT_EQ(module.CanUnloadNow(), S_OK);

    // Two outside references from two requests and two AddRefs: one unit.
    IClassFactory* factory = module.Factory();
    EXPECT_EQ(module.CanUnloadNow(), S_FALSE);
    IClassFactory* second = module.Factory();
    ASSERT_EQ(second, factory);
    EXPECT_EQ(MeasureLockCount(module, factory), 1);
    factory->AddRef();
    factory->AddRef();
    EXPECT_EQ(MeasureLockCount(module, factory), 1);

    const ULONG expectedCounts[] = {4, 3, 2};
    for (ULONG expected : expectedCounts) {
        EXPECT_EQ(factory->Release(), expected);
        EXPECT_EQ(module.CanUnloadNow(), S_FALSE);
    }
    EXPECT_EQ(factory->Release(), 1u);
    EXPECT_EQ(module.CanUnloadNow(), S_OK) << "only the cache holds it";

    // Held and released twice more: back where it was before.
    for (int round = 0; round < 2; ++round) {
        IClassFactory* again = module.Factory();
        EXPECT_EQ(module.CanUnloadNow(), S_FALSE);
        EXPECT_EQ(again->Release(), 1u);
        EXPECT_EQ(module.CanUnloadNow(), S_OK);
    }
}

TEST(LockCount, LockServerBothWaysAndBelowZero)
{
    LoadedModule module;
    IClassFactory* factory = module.Factory();
    ASSERT_NE(factory, nullptr);

    // Each step: the call and the count afterwards, the held factory's unit
    // included (1 is the factory alone).
    struct Step {
        BOOL lock;
        LONG countAfter;
    };
    const Step steps[] = {
        {TRUE, 2}, {TRUE, 3}, {FALSE, 2}, {FALSE, 1}, {FALSE, 0}, {FALSE, -1}, {FALSE, -2}, {TRUE, -1}, {TRUE, 0},
        {TRUE, 1}, {7, 2},  // any non-zero value locks
        {FALSE, 1},
    };
    for (const Step& step : steps) {
        EXPECT_EQ(factory->LockServer(step.lock), S_OK);
        EXPECT_EQ(module.CanUnloadNow(), step.countAfter == 0 ? S_OK : S_FALSE) << "count " << step.countAfter;
        EXPECT_EQ(MeasureLockCount(module, factory), step.countAfter);
    }

    // Without the factory's unit: a lock taken before the release keeps
    // the module in use; an unlock without a lock leaves it below zero.
    factory->LockServer(TRUE);
    EXPECT_EQ(factory->Release(), 1u);
    EXPECT_EQ(module.CanUnloadNow(), S_FALSE);
    IClassFactory* again = module.Factory();
    again->LockServer(FALSE);
    again->LockServer(FALSE);
    EXPECT_EQ(again->Release(), 1u);
    EXPECT_EQ(module.CanUnloadNow(), S_FALSE) << "negative counts do not allow unloading";
    again = module.Factory();
    again->LockServer(TRUE);
    EXPECT_EQ(again->Release(), 1u);
    EXPECT_EQ(module.CanUnloadNow(), S_OK);
}

TEST(LockCount, ObjectsThatFailTheirFirstQueryGiveTheirUnitBack)
{
    LoadedModule module;
    IClassFactory* factory = module.Factory();
    ASSERT_NE(factory, nullptr);
    for (int attempt = 0; attempt < 3; ++attempt) {
        void* out = nullptr;
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPersist, &out), E_NOINTERFACE);
        EXPECT_EQ(MeasureLockCount(module, factory), 1);
    }
    EXPECT_EQ(factory->Release(), 1u);
    EXPECT_EQ(module.CanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace trellan::test
