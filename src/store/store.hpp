// The program-wide store: every piece of state of one run, as fixed-size
// arrays and plain values. The driver owns it for the whole run; each phase
// fills the areas named beside them and reads the others. Nothing in it is
// allocated or freed while the program runs, and every index counts from 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "store/arrays.hpp"
#include "store/regression_work.hpp"

namespace mapari {

// Capacities, each next to the areas it sizes.
// The frame layout built on the first three is in formats/map_recording.hpp.
inline constexpr int channel_count = 72;          // channels of a recording frame
inline constexpr int lead_count = 64;             // map leads, the last channels of a frame
inline constexpr int samples_per_reading = 4000;  // frames read, one per millisecond
inline constexpr int beat_slots = 200;            // beat list capacity
inline constexpr int accepted_beat_capacity = beat_slots;  // averaging accepts at most every beat
inline constexpr int averaged_rows = 1024;                 // rows of the averaged beat
inline constexpr int sequence_capacity = 200;              // template and candidate segment storage
inline constexpr int display_lead_count = 3;
inline constexpr int fiducial_count = 4;
inline constexpr int data_directory_capacity = 4096;  // bytes of the host data directory path

// Settings of one data series, asked at the series start.
struct Settings {
    Array1<std::int16_t, display_lead_count>
        lead_channel{};                     // display leads as the channels they are on
    float recognition_coefficient = 0.99f;  // correlation a beat must reach to be averaged
    std::int32_t ari_file_switch = 0;       // 0: no ARI computation and no .ari file; else both
    std::int32_t settings_answer = 0;       // 1: ARI defaults accepted; else asked at each save
};

// Names of the recording in use. Paths are program paths ("d:\data\map\..."),
// mapped to the host's data directory only when a file is opened.
struct Naming {
    TextField<6> common_part;    // asked at each series start
    TextField<6> variable_part;  // asked for each recording
    TextField<30>
        recording_path;  // "d:\data\map\" + parts + ".dat", rebuilt with each variable part
    std::int32_t display_second = 0;  // start of the stretch read, in seconds from the file start
    // Host folder that stands for "d:\data\map\", NUL-terminated; set once by main.
    Array1<char, data_directory_capacity> data_directory{};
    // Set by the batch, which flushes a recording's whole folder to the disk
    // before it names that folder: the result files are then not flushed one by one.
    bool result_files_flushed_by_caller = false;
};

// The recording stretch in use and the work areas of its reading.
struct Recording {
    // Raw recorder units; element (c, t) is channel c at sample t (milliseconds).
    Array2<std::int16_t, channel_count, samples_per_reading> samples{};
    std::int32_t samples_per_channel = samples_per_reading;  // what every later loop runs to
    // The bytes read, in file order: a sample is a 16-bit word in the file as here.
    Array1<std::uint8_t, sizeof(std::int16_t) * channel_count * samples_per_reading> file_bytes{};
};

// Traces, beat detection and display constants, rebuilt at each reading.
struct Display {
    Array1<float, samples_per_reading> time_axis_ms{};                // value i at index i
    Array2<float, samples_per_reading, display_lead_count> traces{};  // display leads as reals
    Array1<float, samples_per_reading> magnitude{};  // sum of the three traces squared
    Array1<float, samples_per_reading> slope{};      // five-point slope of the magnitude
    float potmax = 0.0f;          // largest |trace 1| over samples 100 to 1000, raw units
    float smallest_slope = 0.0f;  // smallest slope over samples 2 to 3998 before blanking
    Array1<std::int16_t, beat_slots> beat_list{};  // sample positions in the order found; 0 empty
    Array1<std::int16_t, beat_slots> sorted_beats{};  // the same, largest first, zeros last
    Array1<std::int16_t, beat_slots> work_list{};     // used up by the sort
    // Display constants, as fractions of the trace window.
    float left_edge = 0.0f;
    float right_edge = 0.6f;
    float lower_band_edge = 0.1f;
    float upper_band_edge = 0.9f;
    float centre = 0.5f;
    float marker_top = 0.1f, marker_bottom = 0.9f;          // beat and clicked-point markers
    float correction_top = 0.1f, correction_bottom = 0.9f;  // two-point correction markers
    float horizontal_scale_per_sample = 0.0f;               // window fraction per recording sample
    float vertical_scale_per_unit = 0.0f;                   // window fraction per raw unit
    std::int16_t marker_points = 2, correction_points = 2, beat_points = 1000;
    // Window positions of the polyline being drawn, rebuilt for each polyline.
    Array1<float, samples_per_reading> plot_x_fraction{};
    Array1<float, samples_per_reading> plot_y_fraction{};
};

// A beat averaging accepted: where the beat finding put it, how far it was
// moved to fit the template, and how well it fitted there.
struct AcceptedBeat {
    std::int32_t position_ms = 0;    // sample of the stretch the beat was found at
    std::int32_t shift_samples = 0;  // -10 to 10; the beat summed lies at position + shift
    float correlation = 0.0f;        // with the template at that shift
    bool operator==(const AcceptedBeat&) const = default;
};

// The working beat and the template it is aligned to.
struct Beat {
    std::int32_t selected_position = 0;  // sample of the last selected beat; lives for the run
    // Row i of column l: lead l at sample (beat position - 201 + i); the beat sits at row 201.
    Array2<float, averaged_rows, lead_count> averaged{};
    Array2<float, averaged_rows, display_lead_count> selected_traces{};  // drawn once
    Array1<std::int16_t, sequence_capacity> template_samples{};          // 51 used, beat at 26
    std::int16_t template_channel = 0;                    // 0 until the first selection
    Array1<std::int16_t, sequence_capacity> candidate{};  // 51 used
    std::int32_t averaging_count = 0;                     // beats summed over all passes
    // The beats of one pass the last averaging summed, in the order summed;
    // written by averaging alone.
    Array1<AcceptedBeat, accepted_beat_capacity> accepted_beats{};
    std::int32_t accepted_count = 0;
    float averaged_step = 0.0f;  // horizontal fraction per row of the beat drawings
    // Sample numbers of the averaged beat: stimulus artifact, Q onset, J point, T end; 0 unmarked.
    Array1<std::int32_t, fiducial_count> fiducial_marks{};
};

// Names of the result files of the last save.
struct Results {
    TextField<32> save_name;  // as typed; its stem is the part before the first blank
    TextField<32> ds_path;    // "d:\data\map\" + stem + ".ds": the working beat
    TextField<32> se_path;    // "d:\data\map\" + stem + ".se": the fiducial record
};

// The settings of the ARI computation, each with its default: taken as they
// stand when the series accepts the defaults, else asked at each save.
struct AriSettings {
    std::int32_t smoothing_half_width_samples = 20;  // h: the T wave fit spans k - h to k + h
    std::int32_t activation_offset_samples = 7;      // a: after P, where the AT search begins
    std::int32_t recovery_delay_samples = 100;       // r: after J, before which no RT is taken
    bool operator==(const AriSettings&) const = default;
};
inline constexpr AriSettings default_ari_settings{};

// The ARI computation's own storage; the slope curves persist between saves.
struct AriWork {
    AriSettings settings{};  // written by the save step before each computation
    // Element (k, l): lead l at row k of the saved beat, as a whole number of raw units.
    Array2<std::int32_t, averaged_rows, lead_count> beat_matrix{};
    std::int32_t reference_point = 0;  // P: the first value of the .se record (the Q onset)
    std::int32_t second_value = 0;     // the stimulus mark, shown only
    std::int32_t j_point = 0;          // J, row of the saved beat
    std::int32_t t_end = 0;            // E, row of the saved beat
    // S(k) of the lead in work, up to the last row the computation reads (max(J + 2, E + h)).
    Array1<std::int32_t, averaged_rows> lead_samples{};
    Array1<float, averaged_rows> abscissae{};  // x(k) = k
    Array1<float, averaged_rows> ordinates{};  // y(k) = S(k), the rows S holds
    // D(k, l): slope of the fitted cubic at row k, raw units per sample; rows J..E rewritten per
    // call.
    Array2<float, averaged_rows, lead_count> slope_curve{};
    Array1<float, lead_count> activation_ms{};  // AT(l) = activation sample - P
    Array1<float, lead_count> recovery_ms{};    // RT(l) = recovery sample - P
    TextField<33> ari_path;                     // "d:\data\map\" + stem + ".ari"
    // The regression's working store and results; a refused window keeps the last coefficients.
    RegressionWork regression{};
    RegressionResults fit{};
    // Written only by the windows fitted by the general call (see windows); the slope needs none.
    Array1<float, averaged_rows> residuals{};
    // Element k: the part of the fit of window k - h .. k + h that depends on the rows alone,
    // formed once for rows J..E and shared by the fits of all 64 leads.
    Array1<SharedAbscissae, averaged_rows> windows{};
};

// Answers shared by several questions.
struct Answers {
    std::int32_t yes_no = 0;  // the last (1/0) answer
    TextField<10> letter;     // the last menu or <y/n> answer
};

// A member added here is added to reset_store_but_recording as well.
struct Store {
    Settings settings;
    Naming naming;
    Recording recording;
    Display display;
    Beat beat;
    Results results;
    AriWork ari;
    Answers answers;

    // A store lives on the heap, in memory aligned to and asked for in huge
    // pages where the system offers them: its 2.3 MB are all written at the
    // start of a run, which in 4 KB pages costs some 550 page faults, a
    // millisecond and more of a whole session.
    static void* operator new(std::size_t size);
    static void operator delete(void* store, std::size_t size);
};

// A store on the heap with every member set by its initialiser. Every member
// has one, so default-initialisation leaves nothing undefined; std::make_unique
// would value-initialise, zeroing the 2.3 MB once more before the initialisers run.
inline std::unique_ptr<Store> new_store() {
    return std::make_unique_for_overwrite<Store>();
}

// Sets every member of a store that has been used back by its initialiser, as
// new_store() left it. A program analysing one recording after another keeps
// its stores: a fresh one's pages must each be faulted in and zeroed by the
// system first.
void reset_store(Store& store);
// The same but for the recording, which keeps what it holds: for a work area
// whose recording is written whole before it is read, where setting back its
// 1.1 MB would only be written over again.
void reset_store_but_recording(Store& store);

}  // namespace mapari
