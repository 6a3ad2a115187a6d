#include <gtest/gtest.h>

#include "store/store.hpp"

namespace mapari {
namespace {

// A store used for one recording and set back holds what a fresh store holds,
// in each kind of area: settings with initialisers other than zero, samples,
// the averaged beat, the ARI's settings and results, and text fields; set
// back but for the recording, it keeps the recording's samples as they were.
TEST(ResetStore, SetsEveryAreaBackAsNewStoreLeavesIt) {
    const struct {
        void (*reset)(Store&);
        std::int16_t sample;
        const char* what;
    } cases[] = {{reset_store, 0, "whole"}, {reset_store_but_recording, -7, "but the recording"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::unique_ptr<Store> fresh = new_store();
        const std::unique_ptr<Store> used = new_store();
        used->settings.recognition_coefficient = 0.5f;
        used->naming.result_files_flushed_by_caller = true;
        used->recording.samples(9, 4000) = -7;
        used->display.beat_list(3) = 1200;
        used->beat.averaged(1024, 64) = 3.5f;
        used->beat.averaging_count = 40;
        used->ari.settings.smoothing_half_width_samples = 3;
        used->ari.activation_ms(64) = 12.0f;
        used->results.save_name.assign("syn1");
        c.reset(*used);
        EXPECT_EQ(used->settings.recognition_coefficient, 0.99f);
        EXPECT_EQ(used->settings.recognition_coefficient, fresh->settings.recognition_coefficient);
        EXPECT_FALSE(used->naming.result_files_flushed_by_caller);
        EXPECT_EQ(used->recording.samples(9, 4000), c.sample);
        EXPECT_EQ(used->display.beat_list(3), 0);
        EXPECT_EQ(used->beat.averaged(1024, 64), 0.0f);
        EXPECT_EQ(used->beat.averaging_count, 0);
        EXPECT_EQ(used->ari.settings, fresh->ari.settings);
        EXPECT_EQ(used->ari.settings.smoothing_half_width_samples, 20);
        EXPECT_EQ(used->ari.activation_ms(64), 0.0f);
        EXPECT_EQ(used->results.save_name.view(), fresh->results.save_name.view());
    }
}

}  // namespace
}  // namespace mapari
