#include "beat_support.hpp"

#include <cstdio>
#include <fstream>

#include "formats/map_recording.hpp"

namespace mapari::beats_tests {

std::unique_ptr<Store> make_store() {
    auto store = std::make_unique<Store>();
    for (int k = 1; k <= display_lead_count; ++k)
        store->settings.lead_channel(k) =
            static_cast<std::int16_t>(channel_of_lead(display_leads[k - 1]));
    store->settings.recognition_coefficient = 0.99f;
    return store;
}

void load_model(Store& store, const synth::SynthModel& model) {
    const std::vector<std::int16_t> samples = synth::render_samples(model);
    for (int t = 1; t <= samples_per_reading; ++t)
        for (int c = 1; c <= channel_count; ++c)
            store.recording.samples(c, t) =
                samples[static_cast<std::size_t>((t - 1) * channel_count + c - 1)];
}

ScriptedRuntime::ScriptedRuntime(const std::string& script, const std::filesystem::path& dir)
    : script_(script), runtime_(script_, transcript_, nullptr, dir.string()) {}

Lines ScriptedRuntime::transcript() const {
    Lines lines;
    std::istringstream in(transcript_.str());
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

Lines lines_from(const Lines& all, std::size_t from) {
    if (from >= all.size()) return {};
    return Lines(all.begin() + static_cast<std::ptrdiff_t>(from), all.end());
}

std::size_t find_line(const Lines& all, const std::string& line, std::size_t from) {
    for (std::size_t i = from; i < all.size(); ++i)
        if (all[i] == line) return i;
    return all.size();
}

std::string int12(int value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%12d", value);
    return buffer;
}

int column_of(float fraction) {
    return static_cast<int>(static_cast<double>(fraction) * 1000.0);
}

int row_of(float fraction) {
    return static_cast<int>(static_cast<double>(fraction) * 300.0);
}

int sample_of_column(int column) {
    const float x = static_cast<float>(column) * 0.001f;
    const float per_sample = (0.6f - 0.0f) / 4000.0f;
    return static_cast<int>((x - 0.0f) / per_sample);
}

float drawn_fraction(float value, float potmax) {
    const float scale = (0.9f - 0.1f) / (potmax * 2.0f);
    float y = scale * value + 0.5f;
    if (y <= 0.0f) y = 0.001f;
    if (y >= 1.0f) y = 0.999f;
    return y;
}

std::vector<Polyline> polylines_in(const WindowContent& window, std::uint32_t colour) {
    std::vector<Polyline> found;
    for (const Polyline& line : window.drawing)
        if (line.colour == colour) found.push_back(line);
    return found;
}

void set_samples(Store& store, int channel, int from, int to, std::int16_t value) {
    for (int t = from; t <= to; ++t) store.recording.samples(channel, t) = value;
}

std::int16_t varied_value(int channel, int sample) {
    return static_cast<std::int16_t>((37 * channel + 13 * sample) % 2001 - 1000);
}

void fill_varied(Store& store) {
    for (int c = 1; c <= channel_count; ++c)
        for (int t = 1; t <= samples_per_reading; ++t)
            store.recording.samples(c, t) = varied_value(c, t);
}

namespace {

// The display beat at offset d from its position, for height h.
int qrs(int d, int h) {
    if (d >= -30 && d < -10) return h * (d + 30) / 20;
    if (d >= -10 && d <= 0) return h;
    return 0;
}

int t_wave(int d, int h) {
    if (d >= 250 && d <= 300) return (h / 4) * (d - 250) / 50;
    if (d > 300 && d <= 350) return (h / 4) * (350 - d) / 50;
    return 0;
}

int floor_div(int a, int b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

}  // namespace

void plant_qrs(Store& store, int p, int h) {
    for (int d = -30; d <= 0; ++d) {
        const int v = qrs(d, h);
        store.recording.samples(channel_of_lead(13), p + d) = static_cast<std::int16_t>(v);
        store.recording.samples(channel_of_lead(23), p + d) = static_cast<std::int16_t>(v / 2);
        store.recording.samples(channel_of_lead(37), p + d) = static_cast<std::int16_t>(-v / 2);
    }
}

std::int16_t BeatTrain::value(int lead, int sample) const {
    static constexpr int heights[5] = {1000, 1120, 1040, 1160, 1080};
    const int k = floor_div(sample - first + period / 2, period);
    const int d = sample - (first + k * period);
    const int h = vary ? heights[((k % 5) + 5) % 5] : 1000;
    const int display = qrs(d, h) + t_wave(d, h);
    if (lead == 13) return static_cast<std::int16_t>(display);
    if (lead == 23) return static_cast<std::int16_t>(display / 2);
    if (lead == 37) return static_cast<std::int16_t>(-display / 2);
    int v = 11 * lead - 300;
    const int centre = lead - 32;
    if (d > centre - 15 && d < centre + 15)
        v += (40 * lead - 1300) * (15 - std::abs(d - centre)) / 15;
    const int t_centre = 280 + lead;
    if (d > t_centre - 40 && d < t_centre + 40) v += 3 * lead * (40 - std::abs(d - t_centre)) / 40;
    if (vary && d >= 100 && d <= 200) v += (((k + 7) * lead) % 23 + 23) % 23;
    return static_cast<std::int16_t>(v);
}

std::vector<int> BeatTrain::positions(int n) const {
    std::vector<int> found;
    for (int p = first; p <= n; p += period) found.push_back(p);
    return found;
}

namespace {

// The train's value on a channel: its lead's value, 0 on an auxiliary channel.
std::int16_t channel_value(const BeatTrain& train, int channel, int sample) {
    const int lead = lead_of_channel(channel);
    return lead >= 1 ? train.value(lead, sample) : std::int16_t{0};
}

}  // namespace

void BeatTrain::fill(Store& store) const {
    for (int c = 1; c <= channel_count; ++c)
        for (int t = 1; t <= samples_per_reading; ++t)
            store.recording.samples(c, t) = channel_value(*this, c, t);
}

void BeatTrain::write(const std::filesystem::path& file, int frames) const {
    std::vector<std::int16_t> samples;
    samples.reserve(static_cast<std::size_t>(frames) * channel_count);
    for (int t = 1; t <= frames; ++t)
        for (int c = 1; c <= channel_count; ++c) samples.push_back(channel_value(*this, c, t));
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << encode_frames(samples);
}

bool load_recording(Store& store, const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    in.read(reinterpret_cast<char*>(store.recording.file_bytes.data()), bytes_per_reading);
    if (in.gcount() != bytes_per_reading) return false;
    decode_recording(store.recording);
    return true;
}

}  // namespace mapari::beats_tests
