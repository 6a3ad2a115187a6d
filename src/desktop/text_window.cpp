#include "desktop/text_window.hpp"

#include <QFontDatabase>
#include <QMouseEvent>
#include <QVBoxLayout>

#include "desktop/mouse_events.hpp"

namespace mapari::qt {

QFont text_window_font(Language language) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    // Latin text in the fixed-width font; kana and kanji from a Japanese font.
    QStringList families{font.family(), QStringLiteral("IPAGothic"),
                         QStringLiteral("Noto Sans Mono CJK JP")};
    if (language == Language::english) families.prepend(QStringLiteral("DejaVu Sans Mono"));
    font.setFamilies(families);
    return font;
}

TextWindow::TextWindow(QWidget* parent)
    : QWidget(parent), view_(new QPlainTextEdit(this)), input_(new QLineEdit(this)) {
    view_->setReadOnly(true);
    view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    use_font(text_window_font(Language::japanese));
    view_->setFocusPolicy(Qt::ClickFocus);
    view_->viewport()->installEventFilter(this);
    view_->viewport()->setMouseTracking(true);
    input_->setPlaceholderText(QStringLiteral("Answer, then Enter"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(view_, 1);
    layout->addWidget(input_);
    setFocusProxy(input_);
    connect(input_, &QLineEdit::returnPressed, this, [this] {
        if (on_answer) on_answer(input_->text());
    });
}

void TextWindow::show_lines(const WindowsSnapshot& snapshot) {
    // The snapshot starts anywhere but after the lines shown only when the window was cleared.
    if (snapshot.first_text_line != lines_shown_) {
        view_->clear();
        lines_shown_ = 0;
    }
    clears_shown_ = snapshot.text_clears;
    for (const std::string& line : snapshot.text_lines)
        view_->appendPlainText(QString::fromStdString(line));
    lines_shown_ += snapshot.text_lines.size();
}

void TextWindow::use_font(const QFont& font) {
    view_->setFont(font);
    input_->setFont(font);
}

void TextWindow::set_cross_cursor(bool cross) {
    view_->viewport()->setCursor(cross ? Qt::CrossCursor : Qt::IBeamCursor);
}

bool TextWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_->viewport() && on_mouse) {
        if (auto* mouse = dynamic_cast<QMouseEvent*>(event)) {
            if (auto runtime_event = mouse_event_of(*mouse, widget_position_of(*mouse)))
                on_mouse(*runtime_event);
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace mapari::qt
