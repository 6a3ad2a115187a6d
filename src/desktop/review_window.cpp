#include "desktop/review_window.hpp"

#include <QPixmap>
#include <filesystem>

#include "desktop/review_painter.hpp"

namespace mapari::qt {

ReviewWindow::ReviewWindow(const QImage& picture, QWidget* parent)
    : QScrollArea(parent), picture_(picture) {
    auto* label = new QLabel;
    label->setPixmap(QPixmap::fromImage(picture_));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setWidget(label);
    setBackgroundRole(QPalette::Base);
}

bool review_picture_of(const std::string& ari_host_path, review::ReviewPicture& picture,
                       std::string& message) {
    review::ReviewRequest request;
    request.ari_path = ari_host_path;
    const std::filesystem::path ds = std::filesystem::path(ari_host_path).replace_extension(".ds");
    std::error_code ignored;
    if (std::filesystem::is_regular_file(ds, ignored)) request.ds_path = ds.string();
    review::ReviewData data;
    if (!review::load_review(request, data, message)) return false;
    picture = review::lay_out_review(data);
    return true;
}

}  // namespace mapari::qt
