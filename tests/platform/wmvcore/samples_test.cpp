// The committed sample files give, through the filter, exactly the chunks
// that samples/README.md lists for them.
#include "filter_walk.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace trellan::test {
namespace {

const std::string samplesDir = TRELLAN_SAMPLES_DIR;

struct ExpectedChunks {
    std::u16string body, title, author, comments;
};

std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(' ');
    const size_t last = text.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// Reads the "### file" sections and their "| chunk | text |" rows.
std::map<std::string, ExpectedChunks> ReadReadme()
{
    std::map<std::string, ExpectedChunks> samples;
    std::ifstream readme(samplesDir + "/README.md");
    EXPECT_TRUE(readme) << "samples/README.md is missing";
    std::string line;
    ExpectedChunks* current = nullptr;
    while (std::getline(readme, line)) {
        if (line.rfind("### ", 0) == 0) {
            current = &samples[Trim(line.substr(4))];
            continue;
        }
        if (!current || line.size() < 2 || line[0] != '|')
            continue;
        const size_t middle = line.find('|', 1);
        const size_t end = line.rfind('|');
        if (middle == std::string::npos || end <= middle)
            continue;
        const std::string chunk = Trim(line.substr(1, middle - 1));
        const std::u16string text = Utf16(Trim(line.substr(middle + 1, end - middle - 1)));
        if (chunk == "body")
            current->body += text + u"\r\n";
        else if (chunk == "title")
            current->title = text;
        else if (chunk == "author")
            current->author = text;
        else if (chunk == "comments")
            current->comments = text;
    }
    return samples;
}

TEST(Samples, EverySampleGivesTheChunksItsReadmeLists)
{
    const auto samples = ReadReadme();
    const char* required[] = {"sample.mp3", "sample-v24.mp3", "sample-v1.mp3",
                              "sample.wma", "sample.wmv",     "sample.asf"};
    for (const char* name : required)
        EXPECT_TRUE(samples.count(name)) << name << " is not described in samples/README.md";

    for (const auto& [name, expected] : samples) {
        SCOPED_TRACE(name);
        const std::string path = samplesDir + "/" + name;
        ASSERT_TRUE(std::filesystem::is_regular_file(path));
        EXPECT_LT(std::filesystem::file_size(path), 64u * 1024);
        EXPECT_FALSE(expected.body.empty());
        const FilterOutcome outcome = FilterFile(path);
        EXPECT_EQ(outcome.initResult, S_OK);
        EXPECT_EQ(Utf8(outcome.bodyText), Utf8(expected.body));
        EXPECT_EQ(Utf8(outcome.title), Utf8(expected.title));
        EXPECT_EQ(Utf8(outcome.author), Utf8(expected.author));
        EXPECT_EQ(Utf8(outcome.comments), Utf8(expected.comments));
    }
}

}  // namespace
}  // namespace trellan::test
