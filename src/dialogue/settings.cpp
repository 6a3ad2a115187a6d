#include "dialogue/settings.hpp"

#include <string>

#include "dialogue/ask.hpp"
#include "formats/free_form.hpp"
#include "formats/map_recording.hpp"
#include "formats/messages.hpp"

namespace mapari {
namespace {

constexpr int lead_field_width = 3;
constexpr int coefficient_field_width = 4;
constexpr int coefficient_implied_decimals = 2;

// A lead number from 1 to 64; anything else is said and asked again, since
// every later step indexes the channel store with it.
std::int32_t ask_lead(Runtime& runtime, const std::string& prompt) {
    for (;;) {
        std::int32_t lead = ask_integer_field(runtime, Channel::text, prompt, lead_field_width);
        if (lead >= 1 && lead <= lead_count) return lead;
        runtime.write_line(Channel::text,
                           message("Lead {1} does not exist; leads are numbered 1 to 64.",
                                   {std::to_string(lead)}));
    }
}

void ask_display_leads(Store& store, Runtime& runtime) {
    for (int k = 1; k <= display_lead_count; ++k)
        store.settings.lead_channel(k) = default_lead_channels[k - 1];
    runtime.write_line(Channel::text, message("表示する誘導は13, 23, 37です。"));
    store.answers.yes_no = ask_free_integer(
        runtime, Channel::text, message("表示する誘導はこれでいいですか？ y or n  (1/0)"));
    if (is_yes_one(store.answers.yes_no)) return;
    const char* prompts[display_lead_count] = {translatable("enter first_lead  :"),
                                               translatable("enter second_lead  :"),
                                               translatable("enter third_lead  :")};
    std::int32_t leads[display_lead_count];
    for (int k = 0; k < display_lead_count; ++k) leads[k] = ask_lead(runtime, message(prompts[k]));
    for (int k = 1; k <= display_lead_count; ++k)
        store.settings.lead_channel(k) = static_cast<std::int16_t>(channel_of_lead(leads[k - 1]));
}

void ask_recognition_coefficient(Store& store, Runtime& runtime) {
    store.settings.recognition_coefficient = default_recognition_coefficient;
    store.answers.yes_no = ask_free_integer(runtime, Channel::text,
                                            message("波形認識係数0.99でいいですか? y or n  (1/0)"));
    if (is_yes_one(store.answers.yes_no)) return;
    store.settings.recognition_coefficient =
        ask_real_field(runtime, Channel::text, message("係数を入れてください (0.0 - 1.0)  :"),
                       coefficient_field_width, coefficient_implied_decimals);
    runtime.write_line(Channel::text,
                       message("係数 :{1}", {free_form(store.settings.recognition_coefficient)}));
}

}  // namespace

void ask_settings(Store& store, Runtime& runtime) {
    ask_display_leads(store, runtime);
    ask_recognition_coefficient(store, runtime);
    store.settings.ari_file_switch = ask_free_integer(
        runtime, Channel::text, message("ari ファイルを同時作成しますか？、 yes or no (1/0)  :"));
    runtime.write_line(Channel::text,
                       message("設定は平滑化T波20点、QRS７点、J後不応期100msecでいいですか？ "));
    store.settings.settings_answer =
        ask_free_integer(runtime, Channel::text, message(" yes or no (1/0)  :"));
    if (!is_yes_one(store.settings.settings_answer))
        runtime.write_line(Channel::text, message("設定はあとで入力します。"));
}

}  // namespace mapari
