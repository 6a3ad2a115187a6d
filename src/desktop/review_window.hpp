// The desktop program's review window: the review picture of one .ari file
// (maps and, when the .ds file of the same name is beside it, the review
// sheet) at 100 %, scrolled within a child window of the frame.
#pragma once

#include <QImage>
#include <QLabel>
#include <QScrollArea>
#include <string>

#include "review/review_layout.hpp"

namespace mapari::qt {

class ReviewWindow : public QScrollArea {
  public:
    explicit ReviewWindow(const QImage& picture, QWidget* parent = nullptr);
    // What the window shows.
    QImage picture() const { return picture_; }

  private:
    QImage picture_;
};

// The review picture of the .ari file at host_path, with the saved beat of
// the .ds file beside it when there is one; false with a message that names
// the file and the problem.
bool review_picture_of(const std::string& ari_host_path, review::ReviewPicture& picture,
                       std::string& message);

}  // namespace mapari::qt
