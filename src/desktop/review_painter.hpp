// Painting of the review picture (maps, colour bars, review sheet) with Qt's
// painter. The same function paints the raster picture, the PDF and the
// desktop program's review window, so all three look the same; what is shown
// where is decided beforehand by lay_out_review.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <span>
#include <string>

#include "review/review_layout.hpp"

namespace mapari::qt {

// Paints the picture from the painter's origin, one painter unit a pixel.
void paint_review(QPainter& painter, const review::ReviewPicture& picture);

// The picture at 100 %.
QImage render_review_image(const review::ReviewPicture& picture);

// The picture as PNG bytes, and as a one-page vector PDF of the same size at
// 96 pixels an inch. Empty when Qt cannot make them.
QByteArray review_png(const review::ReviewPicture& picture);
QByteArray review_pdf(const review::ReviewPicture& picture);

// The pictures as a vector PDF of one page each, every page as large as the
// largest picture, each picture at its page's top left; the document's title
// is given. Empty when there is no picture or Qt cannot make the PDF.
QByteArray review_pdf(std::span<const review::ReviewPicture> pictures, const std::string& title);

}  // namespace mapari::qt
