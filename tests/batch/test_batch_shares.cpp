// How mapari-batch divides its list: the shares of --shard K/N, and the names
// that recordings of the same file name get.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/batch_command.hpp"
#include "batch_support.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::batch_tests {
namespace {

namespace fs = std::filesystem;
using test_support::read_bytes;
using test_support::TemporaryFolder;

// The first column of every row of a table, in order, the header left out.
std::vector<std::string> first_column(const std::string& table) {
    std::istringstream lines(table);
    std::string line;
    std::getline(lines, line);
    std::vector<std::string> names;
    while (std::getline(lines, line)) names.push_back(line.substr(0, line.find(',')));
    return names;
}

// r001, r002, ...: the stems of recordings that are not there, each a failed row.
std::vector<std::string> numbered_stems(int count) {
    std::vector<std::string> stems;
    for (int k = 1; k <= count; ++k) {
        char stem[16];
        std::snprintf(stem, sizeof stem, "r%03d", k);
        stems.emplace_back(stem);
    }
    return stems;
}

// The recordings of a folder by stem, their share of the list, one at a time.
std::vector<std::string> share_command(const fs::path& folder,
                                       const std::vector<std::string>& stems,
                                       const std::string& shard) {
    std::vector<std::string> arguments;
    for (const std::string& stem : stems) arguments.push_back((folder / (stem + ".dat")).string());
    arguments.insert(arguments.end(),
                     {"--out", (folder / "out").string(), "--shard", shard, "--jobs", "1"});
    return arguments;
}

// The recordings table of share K of N.
std::string share_table(int k, int shares) {
    if (shares == 1) return "recordings.csv";
    return "recordings-" + std::to_string(k) + "-of-" + std::to_string(shares) + ".csv";
}

// Share K of N holds recordings floor((K - 1) C / N) + 1 to floor(K C / N) of
// C: shares differ by one at most, the larger ones where K C / N passes a
// whole number. E.g. 100 in 7: floor(100 K / 7) = 14, 28, 42, 57, 71, 85, 100.
TEST(BatchShards, EveryRecordingInExactlyOneShareInOrder) {
    struct Case {
        int recordings, shares;
        std::vector<int> sizes;
    } cases[] = {
        {1, 1, {1}},
        {2, 1, {2}},
        {100, 1, {100}},
        {1, 2, {0, 1}},
        {2, 2, {1, 1}},
        {3, 2, {1, 2}},
        {100, 2, {50, 50}},
        {1, 3, {0, 0, 1}},
        {2, 3, {0, 1, 1}},
        {3, 3, {1, 1, 1}},
        {4, 3, {1, 1, 2}},
        {100, 3, {33, 33, 34}},
        {1, 7, {0, 0, 0, 0, 0, 0, 1}},
        {6, 7, {0, 1, 1, 1, 1, 1, 1}},
        {7, 7, {1, 1, 1, 1, 1, 1, 1}},
        {8, 7, {1, 1, 1, 1, 1, 1, 2}},
        {100, 7, {14, 14, 14, 15, 14, 14, 15}},
    };
    for (const Case& c : cases) {
        TemporaryFolder folder;
        const std::vector<std::string> all = numbered_stems(c.recordings);
        std::vector<std::string> in_turn;
        for (int k = 1; k <= c.shares; ++k) {
            const std::string shard = std::to_string(k) + "/" + std::to_string(c.shares);
            SCOPED_TRACE(std::to_string(c.recordings) + " recordings, share " + shard);
            const CommandRun run = run_batch(share_command(folder.path(), all, shard));
            const int size = c.sizes[static_cast<std::size_t>(k - 1)];
            EXPECT_EQ(run.exit_code, size == 0 ? 0 : 1) << run.errors;
            const std::string count = std::to_string(size);
            EXPECT_TRUE(run.out.starts_with(
                "analysed " + count + " recordings: 0 ok, 0 to check, " + count + " failed\n"))
                << run.out;
            const std::vector<std::string> share =
                first_column(read_bytes(folder.path() / "out" / share_table(k, c.shares)));
            EXPECT_EQ(share.size(), static_cast<std::size_t>(size));
            in_turn.insert(in_turn.end(), share.begin(), share.end());
        }
        EXPECT_EQ(in_turn, all) << c.recordings << " recordings in " << c.shares << " shares";
    }
}

// An empty list is refused whatever the share asked for.
TEST(BatchShards, NoRecordingsIsAUsageError) {
    TemporaryFolder folder;
    for (const char* shard : {"1/1", "1/2", "2/2", "3/7"}) {
        const CommandRun run = run_batch(share_command(folder.path(), {}, shard));
        EXPECT_EQ(run.exit_code, 2) << shard;
        EXPECT_EQ(run.errors,
                  "mapari-batch: name the recordings to analyse\n" + std::string(batch_usage_text));
        EXPECT_FALSE(fs::exists(folder.path() / "out"));
    }
}

// Recordings named alike in different folders: the first on the command line
// keeps its name, the later ones get _2, _3, ... for their folders and rows.
TEST(BatchNames, RecordingsOfTheSameNameAreNumberedInTurn) {
    TemporaryFolder folder;
    write_synthetic(folder.folder("a") / "x.dat", 3, 10.0, 75.0);
    write_synthetic(folder.folder("b") / "x.dat", 7, 20.0, 90.0);
    const fs::path out = folder.path() / "out";
    const CommandRun run = run_batch(
        {(folder.path() / "a" / "x.dat").string(), (folder.path() / "b" / "x.dat").string(),
         (folder.path() / "c" / "x.dat").string(), "--out", out.string(), "--jobs", "2"});
    EXPECT_EQ(run.exit_code, 1) << run.errors;
    const std::string recordings = read_bytes(out / "recordings.csv");
    EXPECT_EQ(first_column(recordings), (std::vector<std::string>{"x", "x_2", "x_3"}));
    EXPECT_NE(recordings.find("\nx_3,failed,cannot be read: No such file or directory"),
              std::string::npos)
        << recordings;
    std::vector<std::string> rows_expected(64, "x");
    rows_expected.resize(128, "x_2");
    EXPECT_EQ(first_column(read_bytes(out / "results.csv")), rows_expected);
    // Each folder holds its own recording under the name it had.
    EXPECT_EQ(read_bytes(out / "x" / "x.dat"), read_bytes(folder.path() / "a" / "x.dat"));
    EXPECT_EQ(read_bytes(out / "x_2" / "x.dat"), read_bytes(folder.path() / "b" / "x.dat"));
    EXPECT_TRUE(fs::exists(out / "x_2" / "x.ari"));
    EXPECT_FALSE(fs::exists(out / "x_3"));
}

}  // namespace
}  // namespace mapari::batch_tests
