// The inks and text sizes of the review picture, shared by every writer of it
// (Qt's painter for PNG, PDF and the window; the SVG writer), so that the
// pictures they make look the same. Sizes are pixels of the picture at 100 %,
// chosen to read on a screen.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "review/colour_scale.hpp"

namespace mapari::review::style {

inline constexpr int heading_pixels = 20;
inline constexpr int title_pixels = 15;
inline constexpr int body_pixels = 13;
inline constexpr int value_pixels = 14;
inline constexpr int small_pixels = 11;

inline constexpr Rgb ink{30, 30, 30};
inline constexpr Rgb muted{95, 95, 95};
inline constexpr Rgb white{255, 255, 255};
inline constexpr Rgb hatch_ink{110, 110, 110};
inline constexpr Rgb flagged_fill{205, 205, 205};
inline constexpr Rgb fiducial_ink{150, 150, 150};
inline constexpr Rgb activation_ink{20, 90, 220};
inline constexpr Rgb recovery_ink{215, 40, 40};
inline constexpr Rgb flag_tag_ink{170, 80, 0};
inline constexpr Rgb flagged_panel_fill{255, 243, 228};
inline constexpr Rgb panel_frame{215, 215, 215};

inline constexpr double outline_pixels = 3.0;  // a bad lead's outline
// The stops of a colour bar's ramp: enough that no step shows.
inline constexpr int colour_bar_stops = 32;

// The ink of curve k of a beat plot of `curves`: the leads in three inks, the
// mean (the last curve) in ink.
inline Rgb curve_ink(int k, std::size_t curves) {
    constexpr std::array<Rgb, 3> leads = {activation_ink, recovery_ink, flag_tag_ink};
    if (static_cast<std::size_t>(k) + 1 == curves) return ink;
    return leads[static_cast<std::size_t>(k) % leads.size()];
}

// What the sheet's legend shows, left to right: a sample of each mark, then its text.
struct LegendEntry {
    Rgb colour;
    bool dashed = false;
    std::string_view text;
};
inline constexpr std::array<LegendEntry, 4> sheet_legend = {{
    {fiducial_ink, false, "P, J and T end"},
    {activation_ink, false, "activation P + AT"},
    {recovery_ink, false, "recovery P + RT"},
    {muted, true, "dashed, hollow: a default, not a finding"},
}};

inline constexpr std::string_view hatching_legend_prefix = "Hatched grey: ";
inline constexpr std::string_view empty_bar_note = "no findings";

}  // namespace mapari::review::style
