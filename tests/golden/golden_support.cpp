#include "golden_support.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numeric>
#include <sstream>

#include "app/session.hpp"
#include "formats/map_recording.hpp"
#include "recording/recording.hpp"
#include "support/real_data.hpp"

namespace mapari::golden_tests {

// ---- real recordings ----

std::filesystem::path real_data_dir() {
    return test_support::real_data_folder();
}

std::optional<std::filesystem::path> real_recording(const std::string& file_name) {
    std::error_code ignored;
    const std::filesystem::path file = real_data_dir() / file_name;
    if (!std::filesystem::is_regular_file(file, ignored)) return std::nullopt;
    return file;
}

RecordingFile::RecordingFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    frames_ = static_cast<int>(bytes.size() / bytes_per_frame);
    samples_.reserve(static_cast<std::size_t>(frames_) * channel_count);
    for (int t = 1; t <= frames_; ++t)
        for (int c = 1; c <= channel_count; ++c) samples_.push_back(frame_sample(bytes, t, c));
}

RecordingFile::RecordingFile(std::vector<std::int16_t> samples) : samples_(std::move(samples)) {
    frames_ = static_cast<int>(samples_.size() / channel_count);
}

int RecordingFile::lead(int lead_number, int frame) const {
    const std::size_t at = static_cast<std::size_t>(frame - 1) * channel_count +
                           static_cast<std::size_t>(channel_of_lead(lead_number) - 1);
    return samples_.at(at);
}

// ---- geometry of clicks ----

namespace {

int cut_position(int column, float step) {
    const float x = static_cast<float>(column) * 0.001f;
    return static_cast<int>((x - 0.0f) / step);
}

int column_nearest(int wanted, int (*position_of)(int)) {
    int best = 0;
    for (int column = 1; column < 1000; ++column)
        if (std::abs(position_of(column) - wanted) < std::abs(position_of(best) - wanted))
            best = column;
    return best;
}

}  // namespace

int sample_of_column(int column) {
    return cut_position(column, (0.6f - 0.0f) / 4000.0f);
}

int row_of_column(int column) {
    return cut_position(column, (0.6f - 0.0f) / 1000.0f);
}

int column_nearest_sample(int sample) {
    return column_nearest(sample, sample_of_column);
}

int column_nearest_row(int row) {
    return column_nearest(row, row_of_column);
}

// ---- beat finding and correlation ----

std::vector<int> find_beats(const Stretch& stretch, const std::array<int, 3>& leads,
                            int last_candidate) {
    // Reals of 32 bits, in the order of the definition: the magnitude is the
    // sum of the three squares from the first lead on, the slope the
    // five-point difference 2 m(i+1) + m(i+2) − 2 m(i−1) − m(i−2).
    std::vector<float> magnitude(stretch_samples + 1, 0.0f), slope(stretch_samples + 1, 0.0f);
    for (int i = 1; i <= stretch_samples; ++i) {
        const auto t1 = static_cast<float>(stretch(leads[0], i));
        const auto t2 = static_cast<float>(stretch(leads[1], i));
        const auto t3 = static_cast<float>(stretch(leads[2], i));
        magnitude[i] = t1 * t1 + t2 * t2 + t3 * t3;
    }
    for (int i = 3; i <= stretch_samples - 3; ++i)
        slope[i] =
            2.0f * magnitude[i + 1] + magnitude[i + 2] - 2.0f * magnitude[i - 1] - magnitude[i - 2];
    float smallest = 9999.0f;
    for (int i = 2; i <= stretch_samples - 2; ++i) smallest = std::min(smallest, slope[i]);

    std::vector<int> found;
    float minimum = smallest;
    while (found.size() < 199 && 0.6f * smallest > minimum) {
        minimum = 9999.0f;
        int position = 0;
        for (int i = 100; i <= last_candidate; ++i) {
            if (slope[i] < minimum) {
                minimum = slope[i];
                position = i;
            }
        }
        if (position == 0) break;  // nothing left below 9999: no further position
        found.push_back(position);
        for (int i = std::max(1, position - 100); i <= std::min(stretch_samples, position + 200);
             ++i)
            slope[i] = 0.0f;
    }
    return found;
}

double pearson(const std::vector<double>& a, const std::vector<double>& b) {
    const auto n = static_cast<double>(a.size());
    const double ma = std::accumulate(a.begin(), a.end(), 0.0) / n;
    const double mb = std::accumulate(b.begin(), b.end(), 0.0) / n;
    double sab = 0.0, saa = 0.0, sbb = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        sab += (a[i] - ma) * (b[i] - mb);
        saa += (a[i] - ma) * (a[i] - ma);
        sbb += (b[i] - mb) * (b[i] - mb);
    }
    if (saa == 0.0 || sbb == 0.0) return 0.0;
    return sab / std::sqrt(saa * sbb);
}

namespace {

std::vector<double> ranks(const std::vector<double>& values) {
    std::vector<std::size_t> order(values.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&values](std::size_t x, std::size_t y) { return values[x] < values[y]; });
    std::vector<double> rank(values.size());
    for (std::size_t first = 0; first < order.size();) {
        std::size_t last = first;
        while (last + 1 < order.size() && values[order[last + 1]] == values[order[first]]) ++last;
        const double mean_rank = (static_cast<double>(first + last) / 2.0) + 1.0;
        for (std::size_t k = first; k <= last; ++k) rank[order[k]] = mean_rank;
        first = last + 1;
    }
    return rank;
}

}  // namespace

double spearman(const std::vector<double>& a, const std::vector<double>& b) {
    return pearson(ranks(a), ranks(b));
}

std::vector<double> segment51(const Stretch& stretch, int lead_number, int centre) {
    std::vector<double> values;
    for (int i = centre - 25; i <= centre + 25; ++i) values.push_back(stretch(lead_number, i));
    return values;
}

Alignment align(const Stretch& stretch, int lead_number, const std::vector<double>& templ,
                int position) {
    Alignment best;
    for (int shift = -10; shift <= 10; ++shift) {
        const double r = pearson(templ, segment51(stretch, lead_number, position + shift));
        if (r > best.coefficient) best = {shift, r};
    }
    return best;
}

// ---- sessions ----

void place_recording(const std::filesystem::path& source, const std::filesystem::path& data) {
    const std::filesystem::path target = data / source.filename();
    std::error_code failed;
    std::filesystem::create_symlink(std::filesystem::absolute(source), target, failed);
    if (failed) std::filesystem::copy_file(source, target);
}

SessionRun run_session(const std::string& script, const ScratchFolder& folder) {
    std::istringstream in(script);
    std::ostringstream transcript, errors;
    SessionRun run;
    run.exit_code = run_headless_session(
        in, transcript, errors,
        SessionFiles{folder.data().string(), folder.work().string(), std::string(), {}});
    std::istringstream lines(transcript.str());
    for (std::string line; std::getline(lines, line);) run.transcript.push_back(line);
    run.errors = errors.str();
    return run;
}

std::string session_start(const std::string& common, const std::string& variable, int second) {
    // Leads 13, 23, 37; coefficient 0.99; ARI file made; ARI defaults kept.
    return "1\n1\n1\n1\n" + common + "\n" + variable + "\n" + std::to_string(second) + "\n";
}

std::optional<int> value_after(const Lines& transcript, const std::string& label) {
    std::optional<int> value;
    for (const std::string& line : transcript) {
        if (line.rfind(label, 0) != 0) continue;
        const std::string rest = line.substr(label.size());
        char* end = nullptr;
        const long number = std::strtol(rest.c_str(), &end, 10);
        if (end != rest.c_str()) value = static_cast<int>(number);
    }
    return value;
}

std::string joined(const Lines& transcript) {
    std::string text;
    for (const std::string& line : transcript) text += line + '\n';
    return text;
}

// ---- result files ----

std::vector<double> read_numbers(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<double> numbers;
    for (std::string word; in >> word;) {
        char* end = nullptr;
        const double value = std::strtod(word.c_str(), &end);
        if (end == word.c_str() || *end != '\0') {
            ADD_FAILURE() << file << " holds '" << word << "', which is no number";
            return {};
        }
        numbers.push_back(value);
    }
    return numbers;
}

std::optional<AriFile> read_ari(const std::filesystem::path& file) {
    if (!std::filesystem::exists(file)) {
        ADD_FAILURE() << file << " was not written";
        return std::nullopt;
    }
    const std::vector<double> numbers = read_numbers(file);
    if (numbers.size() != 4 + 2 * map_leads) {
        ADD_FAILURE() << file << " holds " << numbers.size() << " numbers, not "
                      << 4 + 2 * map_leads;
        return std::nullopt;
    }
    AriFile ari;
    ari.p = static_cast<int>(numbers[0]);
    ari.j = static_cast<int>(numbers[1]);
    ari.e = static_cast<int>(numbers[2]);
    ari.h = static_cast<int>(numbers[3]);
    ari.at.assign(numbers.begin() + 4, numbers.begin() + 4 + map_leads);
    ari.rt.assign(numbers.begin() + 4 + map_leads, numbers.end());
    return ari;
}

}  // namespace mapari::golden_tests
