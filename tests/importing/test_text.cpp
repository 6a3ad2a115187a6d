// Delimited text and MATLAB files: tables worked by hand for each delimiter,
// header and unit; every refusal with its message; MATLAB files written here
// through matio (level 5 plain and compressed, 7.3), and the real sock beat.
#include <gtest/gtest.h>
#include <matio.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "importing/delimited_text.hpp"
#include "importing/matlab_reader.hpp"
#include "support/real_data.hpp"
#include "support/temporary_folder.hpp"

namespace mapari::importing_tests {
namespace {

using importing::SourceRecording;
using test_support::TemporaryFolder;
using Signals = std::vector<std::vector<double>>;

constexpr std::string_view in_millivolts = "values taken as millivolts";

void expect_signals(const SourceRecording& recording, const std::vector<std::string>& labels,
                    const Signals& microvolts) {
    ASSERT_EQ(recording.signals.size(), labels.size());
    for (std::size_t k = 0; k < labels.size(); ++k) {
        EXPECT_EQ(recording.signals[k].label, labels[k]);
        ASSERT_EQ(recording.signals[k].microvolts.size(), microvolts[k].size()) << "signal " << k;
        for (std::size_t t = 0; t < microvolts[k].size(); ++t)
            EXPECT_DOUBLE_EQ(recording.signals[k].microvolts[t], microvolts[k][t]);
    }
}

// ---- delimited text ----

TEST(DelimitedText, ReadsTablesWorkedByHand) {
    struct Case {
        const char* text;
        const char* format;
        std::vector<std::string> labels;
        Signals microvolts;
        const char* unit_note;
    } cases[] = {
        {"V1,V2\n1,2\n3,-0.5\n",
         "CSV",
         {"V1", "V2"},
         {{1000, 3000}, {2000, -500}},
         "values taken as millivolts"},
        {"1;-0.5\n2e-3;12",
         "text (semicolons)",
         {"1", "2"},
         {{1000, 2}, {-500, 12000}},
         "values taken as millivolts"},
        {"a [uV]\tb [uV]\n5\t+6\n", "TSV", {"a", "b"}, {{5}, {6}}, ""},
        {"  1   2.5\n3 \t 4E2\n",
         "text (blanks)",
         {"1", "2"},
         {{1000, 3000}, {2500, 400000}},
         "values taken as millivolts"},
        {"\xEF\xBB\xBFx (mV), y (V)\r\n\r\n1, 0.001\r\n  \r\n-.5, 1e-6\r\n",
         "CSV",
         {"x", "y"},
         {{1000, -500}, {1000, 1}},
         ""},
        {"\"I\";\"II [\xC2\xB5V]\"\n1;1\n",
         "text (semicolons)",
         {"I", "II"},
         {{1000}, {1}},
         "values of columns without a unit taken as millivolts"},
        {"\n\nlead ( \xCE\xBCV ) ,\n7,8\n\n\n",
         "CSV",
         {"lead", ""},
         {{7}, {8000}},
         "values of columns without a unit taken as millivolts"},
        {"5", "text (blanks)", {"1"}, {{5000}}, "values taken as millivolts"},
        {"time  V1 (mV)  V2 [V]\n0 1 2\n",
         "text (blanks)",
         {"time", "V1", "V2"},
         {{0}, {1000}, {2000000}},
         "values of columns without a unit taken as millivolts"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        SourceRecording recording;
        std::string reason;
        ASSERT_TRUE(importing::read_delimited_text(c.text, recording, reason)) << reason;
        EXPECT_EQ(recording.format, c.format);
        EXPECT_EQ(recording.unit_note, c.unit_note);
        EXPECT_EQ(recording.rate_hz, 0.0);
        expect_signals(recording, c.labels, c.microvolts);
    }
}

TEST(DelimitedText, RefusesBadTextsNamingLineAndField) {
    struct Case {
        const char* text;
        const char* reason;
    } cases[] = {
        {"", "holds no samples"},
        {"\xEF\xBB\xBF\r\n \t\n\n", "holds no samples"},
        {"a,b\n\n", "holds no samples"},
        {"1,2\n3,abc\n", "line 2, field 2: \"abc\" is not a number"},
        {"1,2\n3,4x\n", "line 2, field 2: \"4x\" is not a number"},
        {"a,b,c\n1,,2\n", "line 2, field 2: \"\" is not a number"},
        {"1;2\n\n3;1,5\n", "line 3, field 2: \"1,5\" is not a number"},
        {"1 2\n3 0x10\n", "line 2, field 2: \"0x10\" is not a number"},
        {"1,2\n1,+-2\n", "line 2, field 2: \"+-2\" is not a number"},
        {"x,y\n1,nan\n", "line 2, field 2: \"nan\" is not a finite number"},
        {"-inf\n", "line 1, field 1: \"-inf\" is not a finite number"},
        {"1\n1e999\n", "line 2, field 1: \"1e999\" is out of range"},
        {"v [V]\n1e303\n", "line 2, field 1: \"1e303\" is out of range"},
        {"a,b\n1,2\n\n3\n", "line 4 has 1 field; line 1 has 2"},
        {"1,2\r\n3,4,5\r\n", "line 2 has 3 fields; line 1 has 2"},
        {"\n1\t2\n3\t\t4\n", "line 3 has 3 fields; line 2 has 2"},
        {"a b c\n1,2\n", "line 2 has 2 fields; line 1 has 1"},
        {"t [s],v\n0,1\n",
         "line 1, field 1: \"s\" is not a unit of voltage (mV, uV, \xC2\xB5V, V)"},
        {"v (chest)\n1\n",
         "line 1, field 1: \"chest\" is not a unit of voltage (mV, uV, \xC2\xB5V, V)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        SourceRecording recording;
        recording.format = "untouched";
        std::string reason;
        EXPECT_FALSE(importing::read_delimited_text(c.text, recording, reason));
        EXPECT_EQ(reason, c.reason);
        EXPECT_EQ(recording.format, "untouched");
        EXPECT_TRUE(recording.signals.empty());
    }
}

// ---- MATLAB files ----

struct Matrix {
    std::string name;
    matio_classes class_type;
    matio_types data_type;
    std::size_t rows, columns;
    const void* values;  // column by column, as MATLAB holds them
};

// Writes the matrices into one file of the given version; a failed write
// fails the test.
void write_mat_file(const std::string& path, mat_ft version, matio_compression compression,
                    const std::vector<Matrix>& matrices) {
    mat_t* mat = Mat_CreateVer(path.c_str(), nullptr, version);
    ASSERT_NE(mat, nullptr) << path;
    for (const Matrix& matrix : matrices) {
        std::size_t dims[2] = {matrix.rows, matrix.columns};
        matvar_t* variable =
            Mat_VarCreate(matrix.name.c_str(), matrix.class_type, matrix.data_type, 2, dims,
                          const_cast<void*>(matrix.values), MAT_F_DONT_COPY_DATA);
        ASSERT_NE(variable, nullptr) << matrix.name;
        EXPECT_EQ(Mat_VarWrite(mat, variable, compression), 0) << matrix.name;
        Mat_VarFree(variable);
    }
    Mat_Close(mat);
}

// A struct with one field, "rate", holding a scalar.
void add_struct(const std::string& path, const char* name) {
    mat_t* mat = Mat_Open(path.c_str(), MAT_ACC_RDWR);
    ASSERT_NE(mat, nullptr);
    std::size_t one[2] = {1, 1};
    const char* fields[] = {"rate"};
    matvar_t* record = Mat_VarCreateStruct(name, 2, one, fields, 1);
    double rate = 500.0;
    Mat_VarSetStructFieldByName(
        record, "rate", 0, Mat_VarCreate("rate", MAT_C_DOUBLE, MAT_T_DOUBLE, 2, one, &rate, 0));
    EXPECT_EQ(Mat_VarWrite(mat, record, MAT_COMPRESSION_NONE), 0);
    Mat_VarFree(record);
    Mat_Close(mat);
}

void add_text(const std::string& path, const char* name) {
    mat_t* mat = Mat_Open(path.c_str(), MAT_ACC_RDWR);
    ASSERT_NE(mat, nullptr);
    char text[] = "leads";
    std::size_t dims[2] = {1, 5};
    matvar_t* variable = Mat_VarCreate(name, MAT_C_CHAR, MAT_T_UINT8, 2, dims, text, 0);
    EXPECT_EQ(Mat_VarWrite(mat, variable, MAT_COMPRESSION_NONE), 0);
    Mat_VarFree(variable);
    Mat_Close(mat);
}

struct Written {
    mat_ft version;
    matio_compression compression;
    const char* version_name;
};
const Written every_kind[] = {{MAT_FT_MAT5, MAT_COMPRESSION_NONE, "MATLAB 5"},
                              {MAT_FT_MAT5, MAT_COMPRESSION_ZLIB, "MATLAB 5"},
                              {MAT_FT_MAT73, MAT_COMPRESSION_NONE, "MATLAB 7.3"}};

struct Read {
    bool read = false;
    SourceRecording recording;
    std::string reason;
};

Read read_mat(const std::string& path, const std::string& variable = "") {
    Read result;
    result.recording.format = "untouched";
    result.read = importing::read_matlab_file(path, variable, result.recording, result.reason);
    return result;
}

// Sample t of signal s, in millivolts: whole numbers, so that int16 holds them.
double millivolts_at(std::size_t s, std::size_t t) {
    return static_cast<double>((s + 1) * 100 + t % 50) - 25.0;
}

TEST(MatlabFile, SignalsRunAlongTheLongerSide) {
    constexpr std::size_t leads = 3, samples = 1000;
    std::vector<double> leads_by_samples(leads * samples);        // 3 x 1000: a row a signal
    std::vector<std::int16_t> samples_by_leads(leads * samples);  // 1000 x 3: a column a signal
    for (std::size_t s = 0; s < leads; ++s)
        for (std::size_t t = 0; t < samples; ++t) {
            leads_by_samples[s + t * leads] = millivolts_at(s, t);
            samples_by_leads[t + s * samples] = static_cast<std::int16_t>(millivolts_at(s, t));
        }
    const Matrix matrices[] = {
        {"ecg", MAT_C_DOUBLE, MAT_T_DOUBLE, leads, samples, leads_by_samples.data()},
        {"leads", MAT_C_INT16, MAT_T_INT16, samples, leads, samples_by_leads.data()}};
    TemporaryFolder folder;
    for (const Written& kind : every_kind)
        for (const Matrix& matrix : matrices) {
            SCOPED_TRACE(std::string(kind.version_name) + " " + matrix.name + " compression " +
                         std::to_string(kind.compression));
            const std::string path = folder.file("signals.mat");
            std::filesystem::remove(path);
            write_mat_file(path, kind.version, kind.compression, {matrix});
            const Read result = read_mat(path);
            ASSERT_TRUE(result.read) << result.reason;
            const SourceRecording& recording = result.recording;
            EXPECT_EQ(recording.format,
                      std::string(kind.version_name) + " (variable \"" + matrix.name + "\")");
            EXPECT_EQ(recording.unit_note, in_millivolts);
            EXPECT_EQ(recording.rate_hz, 0.0);
            ASSERT_EQ(recording.signals.size(), leads);
            ASSERT_EQ(recording.samples(), samples);
            EXPECT_EQ(recording.signals[2].label, "3");
            EXPECT_DOUBLE_EQ(recording.signals[1].microvolts[0], 175000.0);
            EXPECT_DOUBLE_EQ(recording.signals[2].microvolts[999], 324000.0);
            for (std::size_t s = 0; s < leads; ++s)
                for (std::size_t t = 0; t < samples; ++t)
                    ASSERT_EQ(recording.signals[s].microvolts[t], 1000.0 * millivolts_at(s, t))
                        << "signal " << s << " sample " << t;
        }
}

TEST(MatlabFile, SquareMatrixHasItsColumnsAsSignals) {
    const float values[] = {1.0f, 3.0f, 2.0f, -4.5f};  // [1 2; 3 -4.5]
    TemporaryFolder folder;
    write_mat_file(folder.file("square.mat"), MAT_FT_MAT5, MAT_COMPRESSION_NONE,
                   {{"m", MAT_C_SINGLE, MAT_T_SINGLE, 2, 2, values}});
    const Read result = read_mat(folder.file("square.mat"));
    ASSERT_TRUE(result.read) << result.reason;
    EXPECT_EQ(result.recording.unit_note,
              "values taken as millivolts; the matrix is square, so its columns are taken as "
              "signals");
    expect_signals(result.recording, {"1", "2"}, {{1000, 3000}, {2000, -4500}});
}

TEST(MatlabFile, VariableChoosesAmongSeveral) {
    const double a[] = {1, 2, 3, 4, 5, 6};           // 2 x 3: two signals of three samples
    const std::uint8_t b[] = {7, 8, 9, 10, 11, 12};  // 3 x 2: two signals of three samples
    struct Case {
        const char* variable;
        const char* reason;  // empty when it reads
        Signals microvolts;
    } cases[] = {
        {"", "holds 2 numeric matrices (a, b); name one with --variable", {}},
        {"a", "", {{1000, 3000, 5000}, {2000, 4000, 6000}}},
        {"b", "", {{7000, 8000, 9000}, {10000, 11000, 12000}}},
        {"c", "holds no variable \"c\" (numeric matrices: a, b)", {}},
        {"s", "variable \"s\" is a struct; only a real numeric 2-D matrix is read", {}},
        {"t", "variable \"t\" is text (a char array); only a real numeric 2-D matrix is read", {}},
    };
    TemporaryFolder folder;
    for (const Written& kind : every_kind) {
        const std::string path = folder.file("several.mat");
        std::filesystem::remove(path);
        write_mat_file(
            path, kind.version, kind.compression,
            {{"a", MAT_C_DOUBLE, MAT_T_DOUBLE, 2, 3, a}, {"b", MAT_C_UINT8, MAT_T_UINT8, 3, 2, b}});
        add_struct(path, "s");
        add_text(path, "t");
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(kind.version_name) + " variable " + c.variable);
            const Read result = read_mat(path, c.variable);
            EXPECT_EQ(result.reason, c.reason);
            ASSERT_EQ(result.read, *c.reason == '\0');
            if (!result.read) continue;
            EXPECT_EQ(result.recording.format,
                      std::string(kind.version_name) + " (variable \"" + c.variable + "\")");
            expect_signals(result.recording, {"1", "2"}, c.microvolts);
        }
    }
}

TEST(MatlabFile, RefusesFilesWithoutAReadableMatrix) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double with_nan[] = {1, 2, 3, 4, nan, 6};   // 2 x 3: signal 1 sample 3
    const double with_inf[] = {1, 2, 3, -inf, 5, 6};  // 3 x 2: signal 2 sample 1
    const std::uint8_t flags[] = {1, 0, 1, 1};
    TemporaryFolder folder;
    const std::string path = folder.file("refused.mat");
    struct Case {
        const char* what;
        std::vector<Matrix> matrices;
        void (*extra)(const std::string&, const char*);
        const char* reason;
    } cases[] = {
        {"struct", {}, add_struct, "holds no numeric matrix"},
        {"text", {}, add_text, "holds no numeric matrix"},
        {"nan",
         {{"x", MAT_C_DOUBLE, MAT_T_DOUBLE, 2, 3, with_nan}},
         nullptr,
         "signal 1, sample 3 is not a finite number"},
        {"inf",
         {{"x", MAT_C_DOUBLE, MAT_T_DOUBLE, 3, 2, with_inf}},
         nullptr,
         "signal 2, sample 1 is not a finite number"},
        {"empty",
         {{"e", MAT_C_DOUBLE, MAT_T_DOUBLE, 0, 0, nullptr}},
         nullptr,
         "variable \"e\" is empty"},
    };
    for (const Written& kind : every_kind)
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(kind.version_name) + " " + c.what);
            std::filesystem::remove(path);
            write_mat_file(path, kind.version, kind.compression, c.matrices);
            if (c.extra != nullptr) c.extra(path, "only");
            const Read result = read_mat(path);
            EXPECT_FALSE(result.read);
            EXPECT_EQ(result.reason, c.reason);
            EXPECT_EQ(result.recording.format, "untouched");
        }
    // A logical matrix is not numeric.
    mat_t* mat = Mat_CreateVer(path.c_str(), nullptr, MAT_FT_MAT5);
    std::size_t dims[2] = {2, 2};
    matvar_t* logical = Mat_VarCreate("f", MAT_C_UINT8, MAT_T_UINT8, 2, dims,
                                      const_cast<std::uint8_t*>(flags), MAT_F_LOGICAL);
    ASSERT_EQ(Mat_VarWrite(mat, logical, MAT_COMPRESSION_NONE), 0);
    Mat_VarFree(logical);
    Mat_Close(mat);
    EXPECT_EQ(read_mat(path, "f").reason,
              "variable \"f\" is a logical matrix; only a real numeric 2-D matrix is read");
}

TEST(MatlabFile, RefusesWhatMatioCannotRead) {
    TemporaryFolder folder;
    std::string garbage;
    for (int k = 0; k < 600; ++k) garbage.push_back(static_cast<char>(k * 37 % 256));
    test_support::write_bytes(folder.file("garbage.mat"), garbage);
    test_support::write_bytes(folder.file("short.mat"), "MATLAB 5.0 MAT-file");
    for (const char* name : {"garbage.mat", "short.mat"}) {
        SCOPED_TRACE(name);
        const Read result = read_mat(folder.file(name));
        EXPECT_FALSE(result.read);
        EXPECT_EQ(result.reason, "is not a MATLAB file matio can read");
    }
    EXPECT_EQ(read_mat(folder.file("absent.mat")).reason,
              "cannot be opened: No such file or directory");
}

// A name typed miUINT8, as some programs other than MATLAB write it, reads
// with its name and values.
TEST(MatlabFile, ReadsNamesTypedAsUnsignedBytes) {
    const double values[] = {1, -2, 3, -4, 5, -6};  // 2 x 3
    TemporaryFolder folder;
    const std::string path = folder.file("unsigned_name.mat");
    write_mat_file(path, MAT_FT_MAT5, MAT_COMPRESSION_NONE,
                   {{"electrograms", MAT_C_DOUBLE, MAT_T_DOUBLE, 2, 3, values}});
    std::string bytes = test_support::read_bytes(path);
    // Header, matrix tag, array flags, dimensions: the name tag follows.
    constexpr std::size_t name_tag = 128 + 8 + 16 + 16;
    ASSERT_EQ(bytes.substr(name_tag, 8), std::string("\x01\0\0\0\x0c\0\0\0", 8));
    bytes[name_tag] = '\x02';
    test_support::write_bytes(path, bytes);
    const Read result = read_mat(path);
    ASSERT_TRUE(result.read) << result.reason;
    EXPECT_EQ(result.recording.format, "MATLAB 5 (variable \"electrograms\")");
    expect_signals(result.recording, {"1", "2"}, {{1000, 3000, 5000}, {-2000, -4000, -6000}});
    EXPECT_EQ(test_support::read_bytes(path), bytes);  // the file itself is left as it was
}

// One beat of a capped sock: 328 electrodes by 383 samples, its name typed miUINT8.
TEST(MatlabFile, RealSockBeat) {
    const auto path = test_support::real_data_folder() / "source" / "Run0001-cappedsock.mat";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " is absent";
    const Read result = read_mat(path.string());
    ASSERT_TRUE(result.read) << result.reason;
    EXPECT_EQ(result.recording.format, "MATLAB 5 (variable \"scirunmatrix\")");
    EXPECT_EQ(result.recording.unit_note, in_millivolts);
    ASSERT_EQ(result.recording.signals.size(), 328u);
    ASSERT_EQ(result.recording.samples(), 383u);
    // The file's first two doubles, read from its bytes: electrodes 1 and 2 at sample 1.
    EXPECT_DOUBLE_EQ(result.recording.signals[0].microvolts[0], -46.86339890126809);
    EXPECT_DOUBLE_EQ(result.recording.signals[1].microvolts[0], -51.61508801052544);
    EXPECT_EQ(read_mat(path.string(), "scirunmatrix").recording.format,
              "MATLAB 5 (variable \"scirunmatrix\")");
}

}  // namespace
}  // namespace mapari::importing_tests
