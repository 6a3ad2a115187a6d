#include "desktop/snapshots.hpp"

#include <QDir>
#include <QImage>

#include "desktop/trace_painter.hpp"

namespace mapari::qt {

SnapshotWriter::SnapshotWriter(std::string directory, int scale)
    : directory_(std::move(directory)), scale_(scale) {}

bool SnapshotWriter::write(const WindowModel& windows) {
    ++count_;
    QString name = QString("trace-%1.png").arg(count_, 4, 10, QChar('0'));
    QString path = QDir(QString::fromStdString(directory_)).filePath(name);
    return render_trace_window(windows.trace_window(), scale_).save(path, "PNG");
}

}  // namespace mapari::qt
