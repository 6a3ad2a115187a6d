#include "desktop/desktop_program.hpp"

#include <xcb/xcb.h>

#include <QApplication>
#include <QFont>
#include <QTemporaryDir>

#include "app/command_line.hpp"
#include "app/driver.hpp"
#include "desktop/language_choice.hpp"
#include "recording/recording.hpp"
#include "store/store.hpp"

namespace mapari::qt {
namespace {

// Why the windows cannot be shown, or nothing when they can. Qt ends the
// process when the X display it is given does not answer, so an X display is
// asked first; another platform, or Wayland, is left to Qt.
std::string display_problem() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const QByteArray display = qgetenv("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (platform.isEmpty() ? wayland : !platform.startsWith("xcb")) return {};
    if (display.isEmpty()) return "no display for the desktop program (DISPLAY is not set)";
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const bool answered = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    if (answered) return {};
    return "cannot open the display \"" + display.toStdString() + "\" for the desktop program";
}

// The language given, else the Language menu's remembered choice, put in use
// before the program's first line; a problem with either is said and the
// texts stand as written.
std::optional<Language> session_language(std::optional<Language> given, std::ostream& errors) {
    if (given) return given;
    std::string problem;
    std::optional<Language> remembered = remembered_language(problem);
    if (!problem.empty()) errors << "mapari: " << problem << '\n';
    if (remembered && !use_language(*remembered, problem)) {
        errors << "mapari: " << problem << "; the dialogue stays as written\n";
        return std::nullopt;
    }
    return remembered;
}

}  // namespace

Program analysis_program(const std::string& data_directory) {
    return [data_directory](Runtime& runtime) {
        auto store = new_store();
        std::string reason;
        if (!set_data_directory(store->naming, data_directory, reason))
            throw SessionEnded(reason, exit_usage);
        run_program(*store, runtime);
    };
}

DesktopSession::DesktopSession(Program program, const DesktopOptions& options)
    : program_(std::move(program)),
      options_(options),
      windows_(std::make_unique<SharedWindows>(options.default_file_directory)),
      frame_(std::make_unique<FrameWindow>(*windows_, QString::fromStdString(options.version))) {
    windows_->on_change([frame = frame_.get()] { frame->request_refresh(); });
    frame_->on_close = [this] { end_program(); };
    frame_->set_data_directory(QString::fromStdString(options.data_directory));
    frame_->set_session_language(options.language.value_or(Language::japanese));
    if (!options_.script.empty())
        new ScriptedInput(*frame_, options_.script, options_.script_pace_milliseconds);
}

DesktopSession::~DesktopSession() {
    end_program();
}

bool DesktopSession::start(std::string& error) {
    if (!options_.record_path.empty()) {
        record_.open(options_.record_path, std::ios::out | std::ios::trunc);
        if (!record_) {
            error = "cannot write the record file " + options_.record_path;
            return false;
        }
    }
    runtime_ = std::make_unique<DesktopRuntime>(*windows_, record_.is_open() ? &record_ : nullptr);
    frame_->show();
    frame_->refresh();
    thread_ = std::thread([this] { run_program_thread(); });
    return true;
}

void DesktopSession::run_program_thread() {
    int code = exit_normal;
    std::string message;
    try {
        program_(*runtime_);
    } catch (const SessionEnded& ended) {
        code = ended.exit_code();
        message = ended.what();
    } catch (const std::exception& failure) {
        code = exit_failure;
        message = failure.what();
    }
    exit_code_ = code;
    end_message_ = message;
    windows_->finish(code, message);
}

void DesktopSession::end_program() {
    windows_->end_session();
    if (thread_.joinable()) thread_.join();
}

void use_dialogue_font(Language language) {
    QFont font = QApplication::font();
    QStringList families{font.family(), QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic"),
                         QStringLiteral("Noto Sans CJK JP")};
    if (language == Language::english) families.prepend(QStringLiteral("DejaVu Sans"));
    font.setFamilies(families);
    QApplication::setFont(font);
}

int run_desktop_program(const DesktopOptions& options, std::ostream& errors) {
    if (const std::string problem = display_problem(); !problem.empty()) {
        errors << "mapari: " << problem << "; run a session headless with --script FILE\n";
        return exit_failure;
    }
    int argc = 1;
    char name[] = "mapari";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("mapari"));
    QApplication::setApplicationName(QStringLiteral("mapari"));
    DesktopOptions session_options = options;
    session_options.language = session_language(options.language, errors);
    use_dialogue_font(session_options.language.value_or(Language::japanese));
    DesktopSession session(analysis_program(options.data_directory), session_options);
    std::string error;
    if (!session.start(error)) {
        errors << "mapari: " << error << '\n';
        return exit_failure;
    }
    QApplication::exec();
    session.end_program();
    // Closing the frame is a normal end; any other end says why.
    if (session.exit_code() != exit_normal) errors << "mapari: " << session.end_message() << '\n';
    return session.exit_code();
}

}  // namespace mapari::qt
