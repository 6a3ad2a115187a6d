// The demo: a synthetic recording made in demo-out/data, the bundled session
// played on it headless (pictures in demo-out/pictures), and a summary.
#pragma once

#include <ostream>

namespace mapari {

inline constexpr const char* demo_folder = "demo-out";

// The bundled session script.
extern const char* const demo_script;

// Writes the demo recording into demo-out/data; false, with a message on
// errors, when it cannot be written.
bool make_demo_data(std::ostream& errors);

// A few lines on what the session found, read from its transcript.
void write_demo_summary(const std::string& transcript, std::ostream& out);

}  // namespace mapari
