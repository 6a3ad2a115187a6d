#include "desktop/study_window.hpp"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QSplitter>
#include <QVBoxLayout>
#include <algorithm>

#include "app/batch_tables.hpp"
#include "desktop/review_painter.hpp"
#include "formats/exit_codes.hpp"
#include "review/lead_values.hpp"

namespace mapari::qt {
namespace {

const QStringList list_headers = {"recording", "status", "reason", "ref",     "Q onset",
                                  "J point",   "T end",  "QT ms",  "flagged", "bad"};
const QStringList lead_headers = {"lead",  "AT ms",         "RT ms",        "ARI ms",
                                  "flags", "AT confidence", "RT confidence"};

QTableWidgetItem* number_item(int value) {
    auto* item = new QTableWidgetItem;
    item->setData(Qt::DisplayRole, value);
    return item;
}

QTableWidgetItem* text_item(const std::string& text) {
    return new QTableWidgetItem(QString::fromStdString(text));
}

QTableWidgetItem* confidence_item(const std::optional<double>& confidence) {
    return new QTableWidgetItem(confidence ? QString::number(*confidence, 'f', 2) : QString());
}

// A table that shows and is clicked, and leaves the keys to the window.
QTableWidget* new_table(const QStringList& headers) {
    auto* table = new QTableWidget(0, static_cast<int>(headers.size()));
    table->setHorizontalHeaderLabels(headers);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setFocusPolicy(Qt::NoFocus);
    table->verticalHeader()->setVisible(false);
    return table;
}

}  // namespace

MapView::MapView(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

void MapView::show_picture(review::ReviewPicture picture, double scale) {
    picture_ = std::move(picture);
    scale_ = scale;
    setFixedSize(static_cast<int>(picture_.width * scale_),
                 static_cast<int>(picture_.height * scale_));
    update();
}

QPoint MapView::centre_of_lead(int lead) const {
    if (picture_.maps.empty()) return {-1, -1};
    for (const review::MapCell& cell : picture_.maps.front().cells)
        if (cell.lead == lead)
            return (QPointF(cell.box.left + cell.box.width / 2,
                            cell.box.top + cell.box.height / 2) *
                    scale_)
                .toPoint();
    return {-1, -1};
}

void MapView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.scale(scale_, scale_);
    paint_review(painter, picture_);
}

void MapView::mousePressEvent(QMouseEvent* event) {
    const int lead =
        review::lead_at(picture_, {event->position().x() / scale_, event->position().y() / scale_});
    if (lead != 0 && on_lead_clicked) on_lead_clicked(lead);
}

StudyWindow::StudyWindow(QWidget* parent)
    : QWidget(parent, Qt::Window),
      review_(std::make_unique<StudyReview>()),
      list_(new_table(list_headers)),
      beat_(new BeatView(*review_)),
      maps_(new MapView),
      map_scroll_(new QScrollArea),
      leads_(new_table(lead_headers)),
      message_(new QLabel),
      accept_(new QPushButton(QStringLiteral("Accept (Enter)"))),
      revert_(new QPushButton(QStringLiteral("Revert (Esc)"))) {
    setWindowTitle(QStringLiteral("mapari study"));
    setFocusPolicy(Qt::StrongFocus);
    build_layout();
    connect(list_, &QTableWidget::itemSelectionChanged, this, [this] {
        if (filling_list_ || list_->selectedItems().isEmpty()) return;
        select_recording(list_->item(list_->selectedItems().front()->row(), 0)->text());
    });
    beat_->on_moved = [this] { show_selection(); };
    maps_->on_lead_clicked = [this](int lead) {
        review_->toggle_bad_lead(lead);
        show_selection();
    };
    connect(accept_, &QPushButton::clicked, this, [this] { accept_moves(); });
    connect(revert_, &QPushButton::clicked, this, [this] { revert_moves(); });
}

StudyWindow::~StudyWindow() = default;

void StudyWindow::build_layout() {
    accept_->setFocusPolicy(Qt::NoFocus);
    revert_->setFocusPolicy(Qt::NoFocus);
    message_->setWordWrap(true);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    map_scroll_->setWidget(maps_);
    map_scroll_->setFocusPolicy(Qt::NoFocus);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(accept_);
    buttons->addWidget(revert_);
    buttons->addWidget(message_, 1);
    auto* middle = new QVBoxLayout;
    middle->addWidget(beat_, 2);
    middle->addLayout(buttons);
    middle->addWidget(map_scroll_, 3);
    auto* middle_widget = new QWidget;
    middle_widget->setLayout(middle);
    auto* splitter = new QSplitter;
    splitter->addWidget(list_);
    splitter->addWidget(middle_widget);
    splitter->addWidget(leads_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({440, 860, 300});
    splitter->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(splitter);
    resize(1600, 960);
}

QString StudyWindow::open(const std::filesystem::path& folder) {
    if (std::string why = review_->open(folder); !why.empty()) return QString::fromStdString(why);
    setWindowTitle(QStringLiteral("mapari study %1").arg(QString::fromStdString(folder.string())));
    fill_list();
    show_selection();
    say(QStringLiteral("Select a recording; those to check come first."));
    return {};
}

void StudyWindow::fill_list() {
    filling_list_ = true;
    list_->setSortingEnabled(false);
    list_->setRowCount(0);
    for (const StudyListRow& row : review_->list()) {
        const int at = list_->rowCount();
        list_->insertRow(at);
        list_->setItem(at, 0, text_item(row.name));
        list_->setItem(at, 1, text_item(status_name(row.status)));
        list_->setItem(at, 2, text_item(row.reason));
        for (int mark = 1; mark <= fiducial_count; ++mark)
            list_->setItem(at, 2 + mark,
                           number_item(row.marks[static_cast<std::size_t>(mark - 1)]));
        list_->setItem(at, 7, row.qt_ms ? number_item(*row.qt_ms) : text_item(""));
        list_->setItem(at, 8, number_item(row.flagged_leads));
        list_->setItem(at, 9, number_item(row.bad_leads));
        if (review_->has_selection() && row.name == review_->record().name) list_->selectRow(at);
    }
    list_->setSortingEnabled(true);
    list_->resizeColumnsToContents();
    filling_list_ = false;
}

void StudyWindow::select_recording(const QString& name) {
    after_selection(review_->select(name.toStdString()));
}

void StudyWindow::select_neighbour(int step) {
    // The list's order as shown, sorted or not; the ends stay.
    int at = -1;
    for (int row = 0; row < list_->rowCount() && review_->has_selection(); ++row)
        if (list_->item(row, 0)->text().toStdString() == review_->record().name) at = row;
    const int next = std::clamp(at + step, 0, list_->rowCount() - 1);
    if (next >= 0 && next != at) select_recording(list_->item(next, 0)->text());
}

void StudyWindow::after_selection(const std::string& refusal) {
    if (!refusal.empty()) say(QString::fromStdString(refusal));
    // The list shows what the model holds, refused or not.
    filling_list_ = true;
    list_->clearSelection();
    for (int at = 0; at < list_->rowCount() && review_->has_selection(); ++at)
        if (list_->item(at, 0)->text().toStdString() == review_->record().name)
            list_->selectRow(at);
    filling_list_ = false;
    if (refusal.empty()) say({});
    show_selection();
}

void StudyWindow::show_selection() {
    beat_->update();
    accept_->setEnabled(review_->changed());
    revert_->setEnabled(review_->changed());
    if (!review_->has_selection()) return;
    // The cells alone: a lead is clicked on them, and a moved mark redraws
    // them on every key without solving a surface.
    review::ReviewPicture picture =
        review::lay_out_review(review_->map_data(), {review::MapForms::values});
    // The maps as wide as their place, never larger than drawn nor too
    // small to read (they scroll then).
    const double scale =
        std::clamp((map_scroll_->viewport()->width() - 2) / std::max(1.0, picture.width), 0.5, 1.0);
    maps_->show_picture(std::move(picture), scale);
    show_leads();
    if (!review_->preview().refusal.empty())
        say(QString::fromStdString(review_->preview().refusal));
}

void StudyWindow::show_leads() {
    const review::ReviewData maps = review_->map_data();
    leads_->setRowCount(lead_count);
    for (int lead = 1; lead <= lead_count; ++lead) {
        const auto at = static_cast<std::size_t>(lead - 1);
        const int row = lead - 1;
        leads_->setItem(row, 0, number_item(lead));
        for (int column = 1; column <= 3; ++column) leads_->setItem(row, column, text_item(""));
        if (maps.leads && !(*maps.leads)[at].no_signal) {
            const review::LeadValues& values = (*maps.leads)[at];
            leads_->item(row, 1)->setText(
                QString::fromStdString(review::ms_text(values.activation_ms)));
            leads_->item(row, 2)->setText(
                QString::fromStdString(review::ms_text(values.recovery_ms)));
            leads_->item(row, 3)->setText(QString::fromStdString(review::ms_text(values.ari_ms)));
        }
        leads_->setItem(row, 4, text_item(review_->lead_flags_text(lead)));
        leads_->setItem(row, 5, confidence_item(review_->record().confidence[at].activation));
        leads_->setItem(row, 6, confidence_item(review_->record().confidence[at].recovery));
    }
    leads_->resizeColumnsToContents();
}

void StudyWindow::say(const QString& text) {
    message_->setText(text);
}

void StudyWindow::accept_moves() {
    const CorrectionOutcome outcome = review_->accept();
    if (outcome.exit_code == exit_normal) fill_list();
    show_selection();
    say(QString::fromStdString(outcome.message).trimmed());
}

void StudyWindow::revert_moves() {
    review_->revert();
    show_selection();
    say(QStringLiteral("Reverted: the marks and bad leads as saved."));
}

void StudyWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    show_selection();
}

void StudyWindow::keyPressEvent(QKeyEvent* event) {
    const int step = event->modifiers().testFlag(Qt::ShiftModifier) ? 10 : 1;
    const bool control = event->modifiers().testFlag(Qt::ControlModifier);
    switch (event->key()) {
        case Qt::Key_1:
        case Qt::Key_2:
        case Qt::Key_3:
        case Qt::Key_4:
            review_->choose_mark(event->key() - Qt::Key_0);
            break;
        case Qt::Key_Left:
            review_->move_chosen_mark_by(-step);
            break;
        case Qt::Key_Right:
            review_->move_chosen_mark_by(step);
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            accept_moves();
            return;
        case Qt::Key_Escape:
            revert_moves();
            return;
        case Qt::Key_Z:
            if (!control) return QWidget::keyPressEvent(event);
            step == 10 ? review_->redo() : review_->undo();
            break;
        case Qt::Key_Y:
            if (!control) return QWidget::keyPressEvent(event);
            review_->redo();
            break;
        case Qt::Key_N:
            return select_neighbour(1);
        case Qt::Key_P:
            return select_neighbour(-1);
        default:
            return QWidget::keyPressEvent(event);
    }
    show_selection();
}

}  // namespace mapari::qt
