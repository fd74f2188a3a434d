// The incremental plan: the walk's stream against what the index holds.
#include "host/index/index_fixture.h"
#include "index/run/plan.h"

#include <algorithm>
#include <map>
#include <memory>

namespace trellan::test {
namespace {

using namespace host::index;

TEST(IndexPlan, SortsTheWalkIntoNewChangedUnchangedAndGone)
{
    const KnownFiles known = {
        {"/m/same.mp3", {1, {100, 5}, false}},
        {"/m/bigger.mp3", {2, {100, 5}, false}},
        {"/m/touched.wma", {3, {100, 5}, false}},
        {"/m/broken.asf", {4, {100, 5}, true}},
        {"/m/gone.wmv", {5, {100, 5}, false}},
        {"/old/elsewhere.mp3", {6, {100, 5}, false}},
    };
    struct Step {
        const char* path;
        FileStamp stamp;
        Verdict verdict;
        std::int64_t knownId;
    } walk[] = {
        {"/m/same.mp3", {100, 5}, Verdict::unchanged, 1},
        {"/m/bigger.mp3", {101, 5}, Verdict::changed, 2},
        {"/m/touched.wma", {100, 6}, Verdict::changed, 3},
        {"/m/broken.asf", {100, 5}, Verdict::retried, 4},
        {"/m/new.mp3", {7, 7}, Verdict::added, 0},
        {"/m/new.mp3", {7, 7}, Verdict::repeated, 0},
        {"/m/same.mp3", {100, 5}, Verdict::repeated, 1},
        {"/m/Same.mp3", {100, 5}, Verdict::added, 0},  // names are case-sensitive
    };
    IndexPlan plan;
    for (const auto& [path, file] : known)
        plan.Know(path.substr(0, path.rfind('/')), path.substr(path.rfind('/') + 1), file);
    for (const Step& step : walk) {
        std::int64_t id = -1;
        EXPECT_EQ(plan.Classify(step.path, step.stamp, id), step.verdict) << step.path;
        EXPECT_EQ(id, step.knownId) << step.path;
    }
    std::vector<std::int64_t> unmet = plan.Unmet();
    std::sort(unmet.begin(), unmet.end());
    EXPECT_EQ(unmet, (std::vector<std::int64_t>{5, 6}));
    // Files in a folder the walk could not read stay.
    EXPECT_EQ(plan.Unmet({"/old/", "/m/go/"}), (std::vector<std::int64_t>{5}));
    // A run over some paths removes only what is under them.
    EXPECT_EQ(plan.Unmet({}, {"/old", "/m/gone.wmv/x"}), (std::vector<std::int64_t>{6}));
    EXPECT_EQ(plan.Unmet({}, {"/m/gone.wmv"}), (std::vector<std::int64_t>{5}));
}

// Read folder by folder as a depth-first walk comes to them: a folder's
// files around those of a folder within it, a folder the walk never comes
// to, one it could not read, and a reader that fails.
TEST(IndexPlan, ReadsFolderByFolderAsTheWalkGoes)
{
    struct Folder {
        std::int64_t id;
        std::vector<std::pair<std::string, KnownFile>> files;
    };
    class FakeFolders : public KnownFolders {
    public:
        std::map<std::string, Folder> folders;
        std::vector<std::string> loads;
        std::string failAt;
        Outcome Load(std::string_view folder, std::int64_t& id, const KnowFile& know) override
        {
            loads.emplace_back(folder);
            if (folder == failAt)
                return {OutcomeKind::damaged, "no such page"};
            const auto found = folders.find(std::string(folder));
            id = found == folders.end() ? 0 : found->second.id;
            if (found != folders.end())
                for (const auto& [name, file] : found->second.files) know(folder, name, file);
            return Done();
        }
        Outcome LoadOthers(const std::vector<std::string>& scope, const std::vector<std::int64_t>& skipped,
                           const KnowFile& know) override
        {
            for (const auto& [path, folder] : folders)
                if (!std::binary_search(skipped.begin(), skipped.end(), folder.id) && IsUnder(path, scope[0]))
                    for (const auto& [name, file] : folder.files) know(path, name, file);
            return Done();
        }
    };
    auto make = [] {
        auto fake = std::make_unique<FakeFolders>();
        fake->folders = {
            {"/m", {1, {{"a.mp3", {11, {1, 1}}}, {"z.mp3", {12, {1, 1}}}, {"gone.mp3", {13, {1, 1}}}}}},
            {"/m/b", {2, {{"x.mp3", {21, {1, 1}}}, {"gone.mp3", {22, {1, 1}}}}}},
            {"/m/old", {3, {{"y.mp3", {31, {1, 1}}}}}},     // never walked: gone
            {"/m/shut", {4, {{"s.mp3", {41, {1, 1}}}}}},    // could not be read: kept
        };
        return fake;
    };
    const char* const walk[] = {"/m/a.mp3", "/m/b/x.mp3", "/m/b/new.mp3", "/m/c/n.mp3", "/m/z.mp3"};
    IndexPlan plan;
    auto fake = make();
    FakeFolders& folders = *fake;
    plan.ReadFoldersFrom(std::move(fake));
    std::vector<Verdict> verdicts;
    for (const char* path : walk) {
        std::int64_t id = -1;
        verdicts.push_back(plan.Classify(path, {1, 1}, id));
    }
    EXPECT_EQ(verdicts, (std::vector<Verdict>{Verdict::unchanged, Verdict::unchanged, Verdict::added,
                                               Verdict::added, Verdict::unchanged}));
    EXPECT_EQ(folders.loads, (std::vector<std::string>{"/m", "/m/b", "/m/c"}));  // each once, /m kept open
    ASSERT_TRUE(plan.FindUnvisited({"/m"}));
    std::vector<std::int64_t> unmet = plan.Unmet({"/m/shut/"}, {"/m"});
    std::sort(unmet.begin(), unmet.end());
    EXPECT_EQ(unmet, (std::vector<std::int64_t>{13, 22, 31}));

    // A folder the reader cannot give ends the plan: nothing more is met.
    IndexPlan failing;
    auto broken = make();
    broken->failAt = "/m/b";
    failing.ReadFoldersFrom(std::move(broken));
    std::int64_t id = -1;
    EXPECT_EQ(failing.Classify("/m/a.mp3", {1, 1}, id), Verdict::unchanged);
    EXPECT_TRUE(failing.Failure());
    EXPECT_EQ(failing.Classify("/m/b/x.mp3", {1, 1}, id), Verdict::repeated);
    EXPECT_EQ(failing.Failure().kind, OutcomeKind::damaged);
    EXPECT_EQ(failing.Classify("/m/z.mp3", {1, 1}, id), Verdict::repeated);
}

}  // namespace
}  // namespace trellan::test
