// The frame's Language menu, which chooses the dialogue's language for the
// next start of the program, and the Help menu with the user guide in the
// language of the running session.
#include <QActionGroup>
#include <QMenuBar>
#include <QStatusBar>

#include "desktop/frame_window.hpp"
#include "desktop/language_choice.hpp"
#include "desktop/user_guide.hpp"

namespace mapari::qt {
namespace {

constexpr QSize user_guide_size(760, 620);

}  // namespace

void FrameWindow::create_language_menu() {
    QMenu* menu = menuBar()->addMenu(QStringLiteral("&Language"));
    auto* choices = new QActionGroup(this);
    japanese_action_ = menu->addAction(QStringLiteral("日本語"), this,
                                       [this] { choose_language(Language::japanese); });
    english_action_ = menu->addAction(QStringLiteral("English"), this,
                                      [this] { choose_language(Language::english); });
    for (QAction* action : {japanese_action_, english_action_}) {
        action->setCheckable(true);
        choices->addAction(action);
    }
    set_session_language(session_language_);
}

void FrameWindow::create_help_menu() {
    QMenu* menu = menuBar()->addMenu(QStringLiteral("&Help"));
    menu->addAction(QStringLiteral("&User Guide"), QKeySequence::HelpContents, this,
                    [this] { open_user_guide(); });
    menu->addAction(QStringLiteral("&About mapari"), this, [this] { show_about(); });
}

void FrameWindow::set_session_language(Language language) {
    session_language_ = language;
    text_->use_font(text_window_font(language));
    if (trace_ != nullptr) trace_->use_font(text_window_font(language));
    (language == Language::english ? english_action_ : japanese_action_)->setChecked(true);
}

void FrameWindow::choose_language(Language language) {
    remember_language(language);
    (language == Language::english ? english_action_ : japanese_action_)->setChecked(true);
    statusBar()->showMessage(next_start_notice(language));
}

void FrameWindow::open_user_guide() {
    if (guide_sub_ == nullptr) {
        guide_sub_ = mdi_->addSubWindow(new UserGuideWindow(session_language_));
        guide_sub_->setAttribute(Qt::WA_DeleteOnClose);
        guide_sub_->setWindowTitle(user_guide_title(session_language_));
        guide_sub_->resize(user_guide_size);
    }
    guide_sub_->show();
    mdi_->setActiveSubWindow(guide_sub_);
}

QTextBrowser* FrameWindow::user_guide() const {
    return guide_sub_ == nullptr ? nullptr : qobject_cast<QTextBrowser*>(guide_sub_->widget());
}

}  // namespace mapari::qt
