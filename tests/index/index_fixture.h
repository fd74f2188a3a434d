// An index in a temporary folder, and entries to store in it.
#pragma once

#include "index/database.h"
#include "index/search.h"
#include "support/media_writer.h"

#include <gtest/gtest.h>

namespace trellan::test {

using KnownFiles = std::unordered_map<std::string, host::index::KnownFile>;

inline host::index::IndexEntry TextEntry(const std::string& path, const std::string& title,
                                         const std::string& author = "", const std::string& comments = "",
                                         const std::string& body = "", host::index::FileStamp stamp = {1, 1})
{
    host::index::IndexEntry entry;
    entry.path = path;
    entry.stamp = stamp;
    entry.status = "S_OK";
    entry.title = title;
    entry.author = author;
    entry.comments = comments;
    entry.body = body;
    return entry;
}

inline host::index::IndexEntry FailedEntry(const std::string& path, const std::string& cause,
                                           host::index::FileStamp stamp = {1, 1})
{
    host::index::IndexEntry entry = TextEntry(path, "", "", "", "", stamp);
    entry.status = "FILTER_E_ACCESS";
    entry.failed = true;
    entry.cause = cause;
    return entry;
}

class IndexFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(database.Open(DatabasePath(), true, error)) << error;
    }
    std::string DatabasePath() const { return folder.PathOf("index.sqlite"); }

    // Stores each entry as a new file, in one transaction.
    void StoreAll(const std::vector<host::index::IndexEntry>& entries)
    {
        host::index::Transaction transaction(database.Database());
        for (const auto& entry : entries)
            ASSERT_TRUE(database.Store(entry, 0)) << database.LastError();
        ASSERT_TRUE(transaction.Commit());
    }

    // The file names that `query` finds, best first.
    std::vector<std::string> Found(const std::string& query)
    {
        std::vector<host::index::SearchHit> hits;
        std::string error;
        EXPECT_EQ(Search(database, query, 10000, {}, hits, error), host::index::SearchStatus::found)
            << query << ": " << error;
        std::vector<std::string> names;
        for (const host::index::SearchHit& hit : hits)
            names.push_back(hit.path.substr(hit.path.rfind('/') + 1));
        return names;
    }

    TempDir folder;
    host::index::IndexDatabase database;
};

}  // namespace trellan::test
