#include "desktop/import_dialog.hpp"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QMetaObject>
#include <QToolButton>
#include <QVBoxLayout>
#include <optional>
#include <string>

#include "app/import_command.hpp"

namespace mapari::qt {

ImportDialog::ImportDialog(const QString& data_directory, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Import Recording"));
    auto* form = new QFormLayout;
    source_ = add_field(form, QStringLiteral("&Source:"), true);
    name_ = add_field(form, QStringLiteral("&Name (1-6 characters):"), false);
    data_directory_ = add_field(form, QStringLiteral("&Data folder:"), false);
    data_directory_->setText(data_directory);
    lead_map_ = add_field(form, QStringLiteral("&Lead map (optional):"), true);
    rate_ = add_field(form, QStringLiteral("&Rate in Hz (if the file has none):"), false);
    variable_ = add_field(form, QStringLiteral("MATLAB &variable (optional):"), false);
    repeat_ =
        add_field(form, QStringLiteral("Repeat a single &beat every ... ms (optional):"), false);
    progress_ = new QProgressBar;
    progress_->setRange(0, 100);
    outcome_ = new QPlainTextEdit;
    outcome_->setReadOnly(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    import_button_ = buttons->addButton(QStringLiteral("&Import"), QDialogButtonBox::ActionRole);
    connect(import_button_, &QPushButton::clicked, this, [this] { start_import(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(progress_);
    layout->addWidget(outcome_);
    layout->addWidget(buttons);
}

ImportDialog::~ImportDialog() {
    if (worker_.joinable()) worker_.join();
}

QLineEdit* ImportDialog::add_field(QFormLayout* form, const QString& label, bool browse_for_file) {
    auto* field = new QLineEdit;
    if (!browse_for_file) {
        form->addRow(label, field);
        return field;
    }
    auto* row = new QHBoxLayout;
    auto* browse = new QToolButton;
    browse->setText(QStringLiteral("..."));
    connect(browse, &QToolButton::clicked, this, [this, field] {
        const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Choose a file"),
                                                          data_directory_->text());
        if (!path.isEmpty()) field->setText(path);
    });
    row->addWidget(field);
    row->addWidget(browse);
    form->addRow(label, row);
    return field;
}

void ImportDialog::start_import() {
    if (running_) return;
    importing::ImportRequest request;
    request.source = source_->text().toStdString();
    request.name = name_->text().toStdString();
    request.data_directory = data_directory_->text().toStdString();
    request.lead_map = lead_map_->text().toStdString();
    request.variable = variable_->text().toStdString();
    request.program = std::string("mapari ") + MAPARI_VERSION;
    if (!read_numbers(request)) return;
    if (worker_.joinable()) worker_.join();
    running_ = true;
    import_button_->setEnabled(false);
    progress_->setValue(0);
    outcome_->clear();
    worker_ = std::thread([this, request] {
        // The import reads its source twice: the first reading fills the
        // bar's first half, the second reading and the writing its second.
        const auto progress = [this](std::string_view stage, double share_done) {
            const double bar = (stage == "writing" ? 50.0 : 0.0) + share_done * 50.0;
            QMetaObject::invokeMethod(progress_, "setValue", Qt::QueuedConnection,
                                      Q_ARG(int, static_cast<int>(bar)));
        };
        importing::ImportReport report;
        std::string reason;
        const bool imported = importing::import_recording(request, progress, report, reason);
        const QString text = QString::fromStdString(imported ? import_summary(request, report)
                                                             : "Nothing was written: " + reason);
        QMetaObject::invokeMethod(
            this, [this, imported, text] { finish(imported, text); }, Qt::QueuedConnection);
    });
}

bool ImportDialog::read_numbers(importing::ImportRequest& request) {
    // An empty field leaves the rate unsaid, for a source that states its own.
    const std::string rate_text = rate_->text().trimmed().toStdString();
    const std::optional<double> rate = read_rate_hz(rate_text);
    if (!rate_text.empty() && !rate) {
        finish(false, QString::fromStdString("The rate must be " + std::string(rate_wanted) + "."));
        return false;
    }
    request.rate_hz = rate.value_or(0.0);
    // An empty field imports the source as it is, not as a beat to repeat.
    const std::string period_text = repeat_->text().trimmed().toStdString();
    const std::optional<int> period = read_repeat_every_ms(period_text);
    if (!period_text.empty() && !period) {
        finish(false, QString::fromStdString("The period must be " + repeat_every_wanted() + "."));
        return false;
    }
    request.repeat_every_ms = period.value_or(0);
    return true;
}

void ImportDialog::finish(bool imported, const QString& text) {
    if (imported) progress_->setValue(100);
    outcome_->setPlainText(text);
    import_button_->setEnabled(true);
    running_ = false;
}

}  // namespace mapari::qt
