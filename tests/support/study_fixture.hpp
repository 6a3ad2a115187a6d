// A study of mapari-batch made by a test: two synthetic recordings of 4 s
// at 75 a minute analysed with the ARI settings 30, 7, 200. f (seed 5) is
// fine; g (seed 6) has leads 1 to 30 spoilt by noise, so that one beat a
// pass is accepted and it is to be checked. The batch marks g at rows 135
// (stimulus), 141 (Q onset), 226 (J point) and 576 (T end), from its good
// leads 31 to 64.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/temporary_folder.hpp"

namespace mapari::test_support {

// The recordings f.dat and g.dat written into `sources` and analysed into
// `study`; the batch's exit code (1: g is to be checked) and what it said.
int make_study(const std::filesystem::path& sources, const std::filesystem::path& study,
               std::string& said);

// A test on a copy of its own, study_, of the study made once for its suite.
class MadeStudyTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    // The study as the batch made it.
    static std::filesystem::path made_study() { return sources_->path() / "study"; }

    static inline std::unique_ptr<TemporaryFolder> sources_;
    static inline int made_exit_code_ = -1;
    static inline std::string made_said_;
    TemporaryFolder folder_;
    const std::filesystem::path study_ = folder_.path() / "study";
};

// A study spoilt in one of its files, and what refusing it says: `file`
// (inside the study) written with `bytes`; empty for the folder "none" in
// the study, which is not there.
struct SpoiltStudy {
    std::string file, bytes, said;
};
std::vector<SpoiltStudy> spoilt_studies(const std::filesystem::path& study);
// The study `made` copied afresh to `study` and spoilt there.
void copy_spoilt(const std::filesystem::path& made, const std::filesystem::path& study,
                 const SpoiltStudy& spoilt);

// Every file under a folder by its path inside it, with its bytes (a link: its target).
std::map<std::string, std::string> snapshot(const std::filesystem::path& folder);

// The paths inside whose files differ between two snapshots, or are in one only.
std::vector<std::string> differences(const std::map<std::string, std::string>& now,
                                     const std::map<std::string, std::string>& before);

// mapari-batch run on the arguments; its exit code and what it wrote.
int run_batch_arguments(const std::vector<std::string>& arguments, std::string& said);

}  // namespace mapari::test_support
