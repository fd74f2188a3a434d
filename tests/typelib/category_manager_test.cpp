// The component-categories manager: creation through CoCreateInstance and
// the category keys that ICatRegister writes and removes.
#include "typelib_test_support.h"

#include <algorithm>
#include <iterator>

namespace trellan::test {
namespace {

const GUID someClass = {0x5469E55E, 0xCBFD, 0x4CDD, {0xBF, 0x6D, 0xE2, 0x9E, 0x3B, 0xE3, 0xE6, 0x2D}};
const GUID categoryA = {0x40FC6ED4, 0x2438, 0x11CF, {0xA3, 0xDB, 0x08, 0x00, 0x36, 0xF1, 0x25, 0x02}};
const GUID categoryB = {0x40FC6ED5, 0x2438, 0x11CF, {0xA3, 0xDB, 0x08, 0x00, 0x36, 0xF1, 0x25, 0x02}};
const std::u16string classKey = u"CLSID\\{5469E55E-CBFD-4CDD-BF6D-E29E3BE3E62D}";

class CategoryManager : public FreshRegistry {
protected:
    Owned<ICatRegister> Create()
    {
        ICatRegister* manager = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                                   reinterpret_cast<void**>(&manager)),
                  S_OK);
        return Owned<ICatRegister>(manager);
    }
};

TEST_F(CategoryManager, CreationAnswersOnlyTheManager)
{
    const GUID otherClass = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    // Any live object will do as the would-be outer object.
    Owned<ICatRegister> other = Create();
    ASSERT_TRUE(other);
    IUnknown* outer = other.get();
    struct Case {
        const GUID* clsid;
        IUnknown* outer;
        DWORD context;
        const IID* iid;
        HRESULT expected;
    } cases[] = {
        {&CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, &IID_ICatRegister, S_OK},
        {&CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, &IID_IUnknown, S_OK},
        {&CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, &IID_IClassFactory, E_NOINTERFACE},
        {&CLSID_StdComponentCategoriesMgr, outer, CLSCTX_INPROC_SERVER, &IID_IUnknown, CLASS_E_NOAGGREGATION},
        {&CLSID_StdComponentCategoriesMgr, nullptr, 0x4, &IID_ICatRegister, REGDB_E_CLASSNOTREG},
        {&otherClass, nullptr, CLSCTX_INPROC_SERVER, &IID_IUnknown, REGDB_E_CLASSNOTREG},
    };
    for (const Case& row : cases) {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(CoCreateInstance(*row.clsid, row.outer, row.context, *row.iid, &object), row.expected);
        if (SUCCEEDED(row.expected)) {
            ASSERT_NE(object, nullptr);
            static_cast<IUnknown*>(object)->Release();
        } else {
            EXPECT_EQ(object, nullptr);
        }
    }
    EXPECT_EQ(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                               nullptr),
              E_INVALIDARG);
}

TEST_F(CategoryManager, ClassCategoriesComeAndGo)
{
    Owned<ICatRegister> manager = Create();
    ASSERT_TRUE(manager);
    const std::vector<std::string> before = RegistrySnapshot(HKEY_CLASSES_ROOT);
    CATID both[] = {categoryA, categoryB};
    CATID onlyA[] = {categoryA};
    CATID onlyB[] = {categoryB};
    ASSERT_EQ(manager->RegisterClassImplCategories(someClass, 2, both), S_OK);
    ASSERT_EQ(manager->RegisterClassReqCategories(someClass, 1, onlyB), S_OK);
    const std::u16string implemented = classKey + u"\\Implemented Categories\\";
    const std::u16string required = classKey + u"\\Required Categories\\";
    const std::u16string a = u"{40FC6ED4-2438-11CF-A3DB-080036F12502}";
    const std::u16string b = u"{40FC6ED5-2438-11CF-A3DB-080036F12502}";
    EXPECT_TRUE(KeyExists(implemented + a));
    EXPECT_TRUE(KeyExists(implemented + b));
    EXPECT_TRUE(KeyExists(required + b));
    EXPECT_FALSE(KeyExists(required + a));

    // Removing one category keeps the list; removing the last removes it.
    ASSERT_EQ(manager->UnRegisterClassImplCategories(someClass, 1, onlyA), S_OK);
    EXPECT_FALSE(KeyExists(implemented + a));
    EXPECT_TRUE(KeyExists(implemented + b));
    ASSERT_EQ(manager->UnRegisterClassImplCategories(someClass, 1, onlyB), S_OK);
    EXPECT_FALSE(KeyExists(classKey + u"\\Implemented Categories"));
    ASSERT_EQ(manager->UnRegisterClassReqCategories(someClass, 1, onlyB), S_OK);
    EXPECT_FALSE(KeyExists(classKey + u"\\Required Categories"));
    // Removing what is not there is no error.
    EXPECT_EQ(manager->UnRegisterClassReqCategories(someClass, 1, onlyA), S_OK);
    // The class key itself is the class's, not the manager's.
    EXPECT_TRUE(KeyExists(classKey));

    EXPECT_EQ(manager->RegisterClassImplCategories(someClass, 1, nullptr), E_INVALIDARG);
    EXPECT_EQ(manager->RegisterClassImplCategories(someClass, 0, nullptr), S_OK);
    PlatformSeam_FailRegistryCall("RegCreateKeyExW", ERROR_ACCESS_DENIED, 0, 1);
    EXPECT_EQ(manager->RegisterClassReqCategories(someClass, 1, onlyA), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    PlatformSeam_ClearRegistryFailures();
    EXPECT_FALSE(KeyExists(required + a));

    ASSERT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, classKey.c_str()), 0);
    ASSERT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"CLSID"), 0);
    EXPECT_EQ(RegistrySnapshot(HKEY_CLASSES_ROOT), before);
}

TEST_F(CategoryManager, CategoriesWithDescriptions)
{
    Owned<ICatRegister> manager = Create();
    ASSERT_TRUE(manager);
    CATEGORYINFO info[2] = {};
    info[0].catid = categoryA;
    info[0].lcid = 0x409;
    std::u16string description = u"Controls that are safely scriptable";
    description.copy(info[0].szDescription, description.size());
    info[1].catid = categoryB;
    info[1].lcid = 0x407;
    // A description that fills all 128 units, without a NUL.
    std::fill(std::begin(info[1].szDescription), std::end(info[1].szDescription), u'x');
    ASSERT_EQ(manager->RegisterCategories(2, info), S_OK);

    const std::u16string keyA = u"Component Categories\\{40FC6ED4-2438-11CF-A3DB-080036F12502}";
    const std::u16string keyB = u"Component Categories\\{40FC6ED5-2438-11CF-A3DB-080036F12502}";
    std::vector<std::string> lines = RegistrySnapshot(HKEY_CLASSES_ROOT);
    auto has = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
    EXPECT_TRUE(has(Utf8(keyA) + "|409|1|Controls that are safely scriptable"));
    EXPECT_TRUE(has(Utf8(keyB) + "|407|1|" + std::string(128, 'x')));

    CATID onlyA[] = {categoryA};
    ASSERT_EQ(manager->UnRegisterCategories(1, onlyA), S_OK);
    EXPECT_FALSE(KeyExists(keyA));
    EXPECT_TRUE(KeyExists(keyB));
    EXPECT_EQ(manager->UnRegisterCategories(1, onlyA), S_OK);
    EXPECT_EQ(manager->RegisterCategories(1, nullptr), E_INVALIDARG);
}

}  // namespace
}  // namespace trellan::test
