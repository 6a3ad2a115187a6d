// File → Import Recording…: a source, a name and the optional lead map, rate,
// MATLAB variable and period of a repeated beat chosen in a dialog, imported
// into the data folder by the same code as mapari-import, with the progress
// shown and then the names of the new recordings (or why there are none).
#pragma once

#include <QDialog>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <atomic>
#include <thread>

#include "importing/import.hpp"

namespace mapari::qt {

class ImportDialog : public QDialog {
  public:
    ImportDialog(const QString& data_directory, QWidget* parent = nullptr);
    ~ImportDialog() override;

    QLineEdit* source_field() const { return source_; }
    QLineEdit* name_field() const { return name_; }
    QLineEdit* lead_map_field() const { return lead_map_; }
    QLineEdit* rate_field() const { return rate_; }
    QLineEdit* variable_field() const { return variable_; }
    QLineEdit* repeat_field() const { return repeat_; }
    QLineEdit* data_directory_field() const { return data_directory_; }
    QPushButton* import_button() const { return import_button_; }
    // What the last import said: its summary, or the reason it wrote nothing.
    QString outcome() const { return outcome_->toPlainText(); }
    bool running() const { return running_; }

    // Starts the import of what the fields say, off the GUI thread.
    void start_import();

  private:
    QLineEdit* add_field(QFormLayout* form, const QString& label, bool browse_for_file);
    // The rate and the period of a repeated beat from their fields, each
    // unsaid when its field is empty, by the command's rules; false, with the
    // refusal shown, when a field holds what its rule refuses.
    bool read_numbers(importing::ImportRequest& request);
    void finish(bool imported, const QString& text);

    QLineEdit *source_ = nullptr, *name_ = nullptr, *lead_map_ = nullptr, *rate_ = nullptr,
              *variable_ = nullptr, *repeat_ = nullptr, *data_directory_ = nullptr;
    QPushButton* import_button_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPlainTextEdit* outcome_ = nullptr;
    std::atomic<bool> running_ = false;
    std::thread worker_;
};

}  // namespace mapari::qt
