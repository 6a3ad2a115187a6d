// The correction menu: the working beat is marked, corrected and saved.
#pragma once

#include "formats/messages.hpp"
#include "phases/point.hpp"
#include "store/store.hpp"
#include "window/runtime.hpp"

namespace mapari {

inline constexpr const char* correction_menu_prompt =
    translatable("保存処理(d), 区分点(s),一点補正(z),二点補正(t),戻る(x)");

// Point P: shows the menu and runs the chosen step.
Point correction_menu(Store& store, Runtime& runtime);

}  // namespace mapari
