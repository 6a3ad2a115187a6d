// What a reader of an unattended analysis must know about a lead's values:
// which are the ARI computation's defaults rather than findings, and what the
// lead's averaged beat and recording look like (beats/lead_quality.hpp).
//
//   no downstroke      AT = 0: no negative slope from P + a to J, the
//                      activation sample stayed at P;
//   no upstroke        RT = J + r − P: no rising positive slope of the smoothed
//                      T wave from J + r to E, the recovery sample stayed at J + r;
//   rt at window edge  RT = E − P (and not the default): the steepest upstroke
//                      is at the T end, where the search window ends.
//
// A true activation at P, or recovery at J + r or at E, cannot be told apart
// from the default and is flagged as well.
//
//   no signal          the lead's recording holds one value over the stretch:
//                      its values are no findings and it carries no other flag
//                      but those below.
//
// The bad leads (lead_neighbours.hpp in review/ has the spatial rules):
//
//   steps              the recording changes level by more than the beat's swing;
//   outlier            the averaged beat disagrees with every neighbour on the
//                      electrode layout while the neighbours agree;
//   marked bad         named bad by hand (mapari-batch --bad-leads);
//   marked good        named good by hand (--good-leads): its values are used
//                      as measured whatever the automatic verdict;
//   interpolated       a bad lead whose AT and RT are filled in from its good
//                      neighbours rather than measured.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "beats/lead_quality.hpp"
#include "store/store.hpp"

namespace mapari {

enum class LeadFlag : std::uint8_t {
    no_downstroke,
    no_upstroke,
    rt_at_window_edge,
    weak,
    flat,
    clipped,
    noisy,
    no_signal,
    steps,
    outlier,
    marked_bad,
    marked_good,
    interpolated,
};

// A set of flags.
class LeadFlags {
  public:
    LeadFlags() = default;
    LeadFlags(std::initializer_list<LeadFlag> flags) {
        for (LeadFlag flag : flags) add(flag);
    }
    void add(LeadFlag flag) { bits_ |= bit(flag); }
    bool has(LeadFlag flag) const { return (bits_ & bit(flag)) != 0; }
    LeadFlags operator|(LeadFlags others) const {
        others.bits_ |= bits_;
        return others;
    }
    bool operator==(const LeadFlags&) const = default;

  private:
    static constexpr std::uint16_t bit(LeadFlag flag) {
        return static_cast<std::uint16_t>(1u << static_cast<unsigned>(flag));
    }
    std::uint16_t bits_ = 0;
};

// The flags with their words in the tables and the study's records, in the
// order the tables write them: first those recordings.csv counts in the
// columns before the source, then the bad leads' flags, counted at its end.
inline constexpr std::pair<LeadFlag, const char*> lead_flag_words[] = {
    {LeadFlag::no_downstroke, "no-downstroke"},
    {LeadFlag::no_upstroke, "no-upstroke"},
    {LeadFlag::rt_at_window_edge, "rt-at-window-edge"},
    {LeadFlag::weak, "weak"},
    {LeadFlag::flat, "flat"},
    {LeadFlag::clipped, "clipped"},
    {LeadFlag::noisy, "noisy"},
    {LeadFlag::no_signal, "no-signal"},
};
inline constexpr std::pair<LeadFlag, const char*> bad_lead_flag_words[] = {
    {LeadFlag::steps, "steps"},
    {LeadFlag::outlier, "outlier"},
    {LeadFlag::marked_bad, "marked-bad"},
    {LeadFlag::marked_good, "marked-good"},
    {LeadFlag::interpolated, "interpolated"},
};

// Every flag with its word, in the order the tables write them.
std::vector<std::pair<LeadFlag, const char*>> all_lead_flag_words();

// Flags that make a lead bad: its values are no findings and are filled in
// from its neighbours where it has enough good ones.
inline constexpr LeadFlag bad_lead_reasons[] = {LeadFlag::no_signal, LeadFlag::noisy,
                                                LeadFlag::clipped,   LeadFlag::steps,
                                                LeadFlag::outlier,   LeadFlag::marked_bad};
// True when the flags hold a bad lead's reason and not marked good.
bool is_bad_lead(LeadFlags flags);

// The flag a word names; nothing for a word that names none.
std::optional<LeadFlag> lead_flag_named(std::string_view word);

// The defaults among the values of lead l (1 to 64) of the computation in `work`.
LeadFlags ari_default_flags(const AriWork& work, int lead);
// The flags of a lead's quality.
LeadFlags quality_flags(const LeadQuality& quality);
// The flags of lead l (1 to 64): no signal alone, or its defaults and its quality.
LeadFlags lead_flags(const AriWork& work, int lead, const LeadQuality& quality);

}  // namespace mapari
