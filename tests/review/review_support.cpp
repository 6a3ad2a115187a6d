#include "review_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

namespace mapari::review_tests {
namespace {

// Five values a line, 15 characters each, as the free-form writer lays them out.
std::string five_a_line(const std::vector<std::string>& values) {
    std::string text;
    for (std::size_t k = 0; k < values.size(); ++k) {
        char field[32];
        std::snprintf(field, sizeof field, "%15s", values[k].c_str());
        text += field;
        if (k % 5 == 4 || k + 1 == values.size()) text += '\n';
    }
    return text;
}

template <typename Fill>
std::string rows_of(const std::string& name, const std::map<int, std::string>& given, Fill fill) {
    std::string text;
    for (int l = 1; l <= 64; ++l) {
        const auto row = given.find(l);
        text += name + "," + std::to_string(l) + "," +
                (row != given.end() ? row->second : fill(l)) + "\n";
    }
    return text;
}

}  // namespace

std::string hand_made_ari_text() {
    std::vector<std::string> values = {"150", "250", "600", "20"};
    std::vector<std::string> at(64, "40.00000"), rt(64, "300.0000");
    at[0] = "0.000000";
    rt[1] = "200.0000";
    at[2] = "0.000000";
    rt[2] = "200.0000";
    at[7] = "12.50000";
    rt[7] = "287.2500";
    rt[8] = "201.0000";
    at[63] = "61.00000";
    rt[63] = "199.0000";
    values.insert(values.end(), at.begin(), at.end());
    values.insert(values.end(), rt.begin(), rt.end());
    return five_a_line(values);
}

review::ReviewData hand_made_review() {
    review::ReviewData data;
    data.title = "s1.ari";
    std::string reason;
    AriRecord record;
    EXPECT_TRUE(parse_ari_text(hand_made_ari_text(), record, reason)) << reason;
    data.record = record;
    data.leads = review::lead_values(record, default_ari_settings.recovery_delay_samples);
    data.layout = review::grid_layout();
    return data;
}

review::BeatTraces stepped_beat() {
    review::BeatTraces beat;
    for (int l = 1; l <= lead_count; ++l)
        for (int k = 1; k <= averaged_rows; ++k)
            beat.values.push_back(l + (k >= 400 ? (l == 1 ? 100 : 50) : 0));
    return beat;
}

std::string results_rows(const std::string& name, const std::map<int, std::string>& given) {
    return rows_of(name, given, [](int lead) {
        return std::to_string(lead) + "," + std::to_string(2 * lead + 100) + "," +
               std::to_string(lead + 100) + ",";
    });
}

std::string failed_results_rows(const std::string& name, const std::map<int, std::string>& given) {
    return rows_of(name, given, [](int) { return std::string(",,,"); });
}

std::string indexed_ds_text() {
    return cut_ds_text(1024 * 64);
}

std::string cut_ds_text(int numbers) {
    std::string text;
    int written = 0;
    for (int k = 1; k <= 1024 && written < numbers; ++k) {
        std::vector<std::string> record;
        for (int l = 1; l <= 64 && written < numbers; ++l, ++written)
            record.push_back(std::to_string(k + 1000 * l) + ".000");
        text += five_a_line(record);
    }
    return text;
}

std::string ds_text_with_still_leads(const std::vector<int>& still) {
    std::string text;
    for (int k = 1; k <= 1024; ++k) {
        std::vector<std::string> record;
        for (int l = 1; l <= 64; ++l)
            record.push_back(std::find(still.begin(), still.end(), l) != still.end()
                                 ? std::string("7.000")
                                 : std::to_string(k + 1000 * l) + ".000");
        text += five_a_line(record);
    }
    return text;
}

}  // namespace mapari::review_tests
