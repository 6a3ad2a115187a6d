#include "support/study_fixture.hpp"

#include <sstream>

#include "app/batch_command.hpp"
#include "formats/map_recording.hpp"
#include "support/temporary_folder.hpp"
#include "synthesis/synth_model.hpp"

namespace mapari::test_support {
namespace {

namespace fs = std::filesystem;

void write_recording(const fs::path& file, std::uint32_t seed,
                     std::vector<synth::BadLead> bad_leads) {
    synth::SynthSettings settings;
    settings.seed = seed;
    settings.seconds = 4;
    const synth::SynthModel model = synth::make_model(settings, std::nullopt, std::move(bad_leads));
    write_bytes(file, encode_frames(synth::render_samples(model)));
}

}  // namespace

std::map<std::string, std::string> snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string inside = entry.path().lexically_relative(folder).string();
        if (entry.is_symlink())
            files[inside] = "-> " + fs::read_symlink(entry.path()).string();
        else if (entry.is_regular_file())
            files[inside] = read_bytes(entry.path());
    }
    return files;
}

std::vector<std::string> differences(const std::map<std::string, std::string>& now,
                                     const std::map<std::string, std::string>& before) {
    std::vector<std::string> paths;
    for (const auto& [path, bytes] : now)
        if (!before.contains(path) || before.at(path) != bytes) paths.push_back(path);
    for (const auto& [path, bytes] : before)
        if (!now.contains(path)) paths.push_back(path);
    return paths;
}

void MadeStudyTest::SetUpTestSuite() {
    sources_ = std::make_unique<TemporaryFolder>();
    made_exit_code_ = make_study(sources_->path(), made_study(), made_said_);
}

void MadeStudyTest::TearDownTestSuite() {
    sources_.reset();
}

void MadeStudyTest::SetUp() {
    ASSERT_EQ(made_exit_code_, 1) << made_said_;  // g is to be checked
    fs::copy(made_study(), study_, fs::copy_options::recursive);
}

std::vector<SpoiltStudy> spoilt_studies(const fs::path& study) {
    const std::string not_a_study = study.string() + " is no study of mapari-batch: ";
    const std::string no_header = " is no table of mapari-batch: its first line is not the header";
    return {
        {"", "", (study / "none").string() + " is no folder"},
        {"recordings.csv", "name,state\n",
         not_a_study + (study / "recordings.csv").string() + no_header},
        {"beats.csv", "", not_a_study + (study / "beats.csv").string() + no_header},
        {"results.csv", "recording,lead,AT_ms,RT_ms,ARI_ms,flags\ng,2,40,200,160,\n",
         not_a_study + "cannot read " + (study / "results.csv").string() +
             ": line 2: lead 2 of \"g\" where lead 1 belongs (leads go 1 to 64 in order)"},
    };
}

void copy_spoilt(const fs::path& made, const fs::path& study, const SpoiltStudy& spoilt) {
    fs::remove_all(study);
    fs::copy(made, study, fs::copy_options::recursive);
    if (!spoilt.file.empty()) write_bytes(study / spoilt.file, spoilt.bytes);
}

int run_batch_arguments(const std::vector<std::string>& arguments, std::string& said) {
    std::ostringstream out, errors;
    const int exit_code = run_batch_command(arguments, out, errors, false);
    said = out.str() + errors.str();
    return exit_code;
}

int make_study(const fs::path& sources, const fs::path& study, std::string& said) {
    std::vector<synth::BadLead> noisy;
    for (int lead = 1; lead <= 30; ++lead) noisy.push_back({lead, synth::BadLeadKind::noise});
    write_recording(sources / "f.dat", 5, {});
    write_recording(sources / "g.dat", 6, noisy);
    return run_batch_arguments({(sources / "f.dat").string(), (sources / "g.dat").string(), "--out",
                                study.string(), "--jobs", "1", "--settings", "30,7,200"},
                               said);
}

}  // namespace mapari::test_support
