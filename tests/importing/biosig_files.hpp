// EDF, EDF+, BDF and GDF files written for the tests and benchmarks of the
// import: signals of known physical values in 1-s data records, each signal's
// physical range spread over the whole digital range of its sample type.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace mapari::importing_tests {

struct TestSignal {
    std::string label;
    std::string unit;            // as the file states it: "uV", "mV", "degC"; may be empty
    std::vector<double> values;  // physical values, in `unit`
    double rate_hz = 0.0;        // the signal's own rate; 0: the file's
};

// How a signal's values become digital samples and back: the physical range
// of its values (widened to 8-character EDF numbers) over the whole digital
// range of a sample of `bits` bits.
struct Calibration {
    double physical_minimum = 0.0;
    double physical_maximum = 0.0;
    double digital_minimum = 0.0;
    double digital_maximum = 0.0;
    // The physical value of one digital step.
    double step() const;
    long digital_value(double physical) const;
};

// The calibration the writers give these values in samples of 16 (EDF, GDF)
// or 24 (BDF) bits; none when a value does not fit 8 characters.
std::optional<Calibration> calibration_for(const std::vector<double>& values, int bits);

// Each writes the signals at rate_hz (a whole number) in 1-s data records; all
// signals must last the same whole seconds. False, with the reason, when they
// do not or the file cannot be written.
bool write_edf(const std::filesystem::path& file, double rate_hz,
               const std::vector<TestSignal>& signals, std::string& reason);
// EDF+ (continuous): the signals and, last, an "EDF Annotations" channel that
// holds each record's time-keeping annotation and a "mark" half a second in.
bool write_edf_plus(const std::filesystem::path& file, double rate_hz,
                    const std::vector<TestSignal>& signals, std::string& reason);
bool write_bdf(const std::filesystem::path& file, double rate_hz,
               const std::vector<TestSignal>& signals, std::string& reason);
// GDF through the BioSig library's own writer (of the newest GDF version it
// writes), 16-bit samples.
bool write_gdf(const std::filesystem::path& file, double rate_hz,
               const std::vector<TestSignal>& signals, std::string& reason);

// A beat train in microvolts: a triangular spike of `peak_microvolts`, 20 ms
// wide at its base, every `period_ms` from `first_ms` on (one spike when
// period_ms is not positive), at rate_hz for `seconds`; zero between spikes.
std::vector<double> beat_train(double rate_hz, double seconds, double first_ms, double period_ms,
                               double peak_microvolts);

// A straight line from `first` to `last` over `seconds` at rate_hz.
std::vector<double> ramp(double rate_hz, double seconds, double first, double last);

}  // namespace mapari::importing_tests
