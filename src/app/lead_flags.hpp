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
//                      its values are no findings and it carries no other flag.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <utility>

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
    static constexpr std::uint8_t bit(LeadFlag flag) {
        return static_cast<std::uint8_t>(1u << static_cast<unsigned>(flag));
    }
    std::uint8_t bits_ = 0;
};

// Every flag with its word in the tables and the study's records, in the
// order the tables write them.
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

// The flag a word names; nothing for a word that names none.
std::optional<LeadFlag> lead_flag_named(std::string_view word);

// The defaults among the values of lead l (1 to 64) of the computation in `work`.
LeadFlags ari_default_flags(const AriWork& work, int lead);
// The flags of a lead's quality.
LeadFlags quality_flags(const LeadQuality& quality);
// The flags of lead l (1 to 64): no signal alone, or its defaults and its quality.
LeadFlags lead_flags(const AriWork& work, int lead, const LeadQuality& quality);

}  // namespace mapari
