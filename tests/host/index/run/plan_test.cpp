// The incremental plan: the walk's stream against what the index holds.
#include "host/index/index_fixture.h"
#include "index/run/plan.h"

#include <algorithm>

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

}  // namespace
}  // namespace trellan::test
