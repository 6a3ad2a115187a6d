// The heart's intervals of an averaged beat: the RR interval from the beats
// averaging accepted, and the QT interval corrected for the heart rate.
//
// RR is the median interval between consecutive accepted beats, each at its
// aligned position (position + shift), in time order. Averaging keeps no list
// of the beats it refused or left outside the averaged span, so two accepted
// beats with a refused one between them cannot be told from neighbours by
// what is kept: an interval longer than 1.5 times the smallest is taken for
// such a gap (one beat missed makes it about twice the RR) and left out. The
// limit holds while the rhythm varies by less than half from beat to beat,
// which an averaged recording's regular beats do.
//
// QTc by Bazett: QT / sqrt(RR in s); by Fridericia: QT / cbrt(RR in s). Check:
// QT 400 ms at RR 640 ms gives 400 / 0.8 = 500 ms and 400 / 0.8618 = 464.2 ms.
#pragma once

#include <optional>
#include <vector>

#include "store/store.hpp"

namespace mapari {

// An interval longer than this many times the smallest spans a beat not accepted.
inline constexpr double longest_neighbour_interval_fraction = 1.5;

// The median; the mean of the middle two for an even count. The values are
// taken by value because they are sorted.
double median(std::vector<double> values);

// The median RR interval in samples of the stretch; none for fewer than two
// accepted beats.
std::optional<double> median_rr_samples(const std::vector<AcceptedBeat>& accepted);

double qtc_bazett_ms(double qt_ms, double rr_ms);
double qtc_fridericia_ms(double qt_ms, double rr_ms);

}  // namespace mapari
