// The text window: the program's prompts and the answers scroll in a view, and
// the operator types an answer in the input line under it and presses Enter.
#pragma once

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWidget>
#include <functional>

#include "desktop/shared_windows.hpp"
#include "formats/messages.hpp"

namespace mapari::qt {

class TextWindow : public QWidget {
  public:
    explicit TextWindow(QWidget* parent = nullptr);

    // Shows the snapshot's lines: appended to those shown, or in their place
    // when the window was cleared since.
    void show_lines(const WindowsSnapshot& snapshot);
    std::size_t lines_shown() const { return lines_shown_; }
    std::uint64_t clears_shown() const { return clears_shown_; }
    // The lines as shown, one a line.
    QString text() const { return view_->toPlainText(); }
    void set_cross_cursor(bool cross);
    void use_font(const QFont& font);

    QPlainTextEdit* view() const { return view_; }
    QLineEdit* input() const { return input_; }

    // Enter in the input line, with its text.
    std::function<void(const QString&)> on_answer;
    // A mouse event over the view, at its widget pixel.
    std::function<void(const MouseEvent&)> on_mouse;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QPlainTextEdit* view_;
    QLineEdit* input_;
    std::size_t lines_shown_ = 0;
    std::uint64_t clears_shown_ = 0;
};

// The font of the text window and the input lines: fixed width, so that the
// program's columns of numbers line up, with a Japanese font for the prompts.
// The English dialogue names a Latin font first: a Japanese font, which a
// system without Latin fonts would give for the platform's fixed font, draws
// the backslash of "d:\data\map\" as a yen sign.
QFont text_window_font(Language language);

}  // namespace mapari::qt
