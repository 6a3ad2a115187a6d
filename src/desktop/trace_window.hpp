// The trace window "Unit 12": its text lines and its drawing on one surface of
// 1000 × 300 drawing pixels, stretched over the widget, with an input line
// under it for typed answers.
#pragma once

#include <QLineEdit>
#include <QWidget>
#include <functional>

#include "window/runtime.hpp"
#include "window/window_model.hpp"

namespace mapari::qt {

class TraceSurface : public QWidget {
  public:
    explicit TraceSurface(QWidget* parent = nullptr);

    void show_content(WindowContent content);
    const WindowContent& content() const { return content_; }
    QSize sizeHint() const override;

    // A mouse event over the surface, at its drawing pixel.
    std::function<void(const MouseEvent&)> on_mouse;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override { deliver(*event); }
    void mouseReleaseEvent(QMouseEvent* event) override { deliver(*event); }
    void mouseDoubleClickEvent(QMouseEvent* event) override { deliver(*event); }
    void mouseMoveEvent(QMouseEvent* event) override { deliver(*event); }

  private:
    void deliver(const QMouseEvent& event);

    WindowContent content_;
};

class TraceWindow : public QWidget {
  public:
    explicit TraceWindow(QWidget* parent = nullptr);

    TraceSurface* surface() const { return surface_; }
    QLineEdit* input() const { return input_; }
    void use_font(const QFont& font) { input_->setFont(font); }

    // Enter in the input line, with its text.
    std::function<void(const QString&)> on_answer;

  private:
    TraceSurface* surface_;
    QLineEdit* input_;
};

}  // namespace mapari::qt
