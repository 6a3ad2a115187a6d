#include "app/unattended_runtime.hpp"

namespace mapari {

UnattendedRuntime::UnattendedRuntime(std::ostream& transcript, std::ostream& record,
                                     const std::string& default_file_directory,
                                     std::deque<Decision> decisions)
    : inner_(script_, transcript, &record, default_file_directory),
      decisions_(std::move(decisions)) {}

void UnattendedRuntime::decide_next() {
    if (decisions_.empty()) return;
    const Decision decide = std::move(decisions_.front());
    decisions_.pop_front();
    script_ << decide() << '\n';
}

std::string UnattendedRuntime::read_line(Channel channel) {
    decide_next();
    return inner_.read_line(channel);
}

MouseEvent UnattendedRuntime::wait_mouse_event(int event_mask) {
    if (event_mask != 0) decide_next();
    return inner_.wait_mouse_event(event_mask);
}

}  // namespace mapari
