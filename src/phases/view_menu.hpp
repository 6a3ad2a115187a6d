// The view menu of the trace window: the recording is drawn and the operator
// chooses selection, averaging, a fresh start on the same recording, or the
// end of work on it.
#pragma once

#include "formats/messages.hpp"
#include "phases/point.hpp"
#include "store/store.hpp"
#include "window/runtime.hpp"

namespace mapari {

inline constexpr const char* view_menu_prompt =
    translatable("波形選択(s), 加算平均(b),波形削除(d), 戻る(o), 終了(x)");

// Point D: draws the recording and dispatches the view menu's answer.
Point display_and_view_menu(Store& store, Runtime& runtime);

}  // namespace mapari
