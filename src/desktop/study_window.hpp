// The study window of the desktop program (File → Open Study…), a window
// of its own beside the frame: the list of a batch's recordings, the
// selected recording's averaged beat with its four marks, its three maps
// and its lead list. The window shows the study's model (app/study_review.hpp)
// and forwards keys, drags and clicks to it:
//
//   1 2 3 4          choose the mark: ref, Q onset, J point, T end
//   Left / Right     move the chosen mark by 1 ms (Shift: 10 ms)
//   drag a mark      move it with the mouse
//   click a map      name the lead bad by hand, or clear it
//   Enter            Accept: the recording corrected as mapari-batch --correct does
//   Esc              Revert: drop the moves not accepted
//   Ctrl+Z / Ctrl+Y  undo / redo a move (Ctrl+Shift+Z redoes as well)
//   N / P            next / previous recording of the list as sorted
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTableWidget>
#include <QWidget>
#include <filesystem>
#include <memory>

#include "app/study_review.hpp"
#include "desktop/beat_view.hpp"
#include "review/review_layout.hpp"

namespace mapari::qt {

// The three maps of the selected recording, painted as the review paints
// them; a click on a lead's cell is handed on.
class MapView : public QWidget {
  public:
    explicit MapView(QWidget* parent = nullptr);
    // Shows the picture at `scale` (1: one pixel a picture unit).
    void show_picture(review::ReviewPicture picture, double scale);
    const review::ReviewPicture& picture() const { return picture_; }
    // The centre of the lead's cell on the first map; (-1, -1) when not shown.
    QPoint centre_of_lead(int lead) const;

    std::function<void(int lead)> on_lead_clicked;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    review::ReviewPicture picture_;
    double scale_ = 1.0;
};

class StudyWindow : public QWidget {
  public:
    explicit StudyWindow(QWidget* parent = nullptr);
    ~StudyWindow() override;

    // Opens the study in `folder`; empty, or why it is no study.
    QString open(const std::filesystem::path& folder);

    StudyReview& review() { return *review_; }
    QTableWidget* recording_list() const { return list_; }
    QTableWidget* lead_list() const { return leads_; }
    BeatView* beat_view() const { return beat_; }
    MapView* map_view() const { return maps_; }
    // What the window last said: the outcome of Accept, a refusal, a hint.
    QString message() const { return message_->text(); }

    void accept_moves();
    void revert_moves();
    void select_recording(const QString& name);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void build_layout();
    void fill_list();
    void show_selection();
    void show_leads();
    void say(const QString& text);
    void after_selection(const std::string& refusal);
    // The recording `step` rows down the list as shown (up when negative).
    void select_neighbour(int step);

    std::unique_ptr<StudyReview> review_;
    QTableWidget* list_;
    BeatView* beat_;
    MapView* maps_;
    QScrollArea* map_scroll_;
    QTableWidget* leads_;
    QLabel* message_;
    QPushButton* accept_;
    QPushButton* revert_;
    bool filling_list_ = false;
};

}  // namespace mapari::qt
