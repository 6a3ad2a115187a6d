// The study in a browser: STUDY/report/index.html, a table of every
// recording of a batch's study (status, reason, beats, marks, RR and QT,
// how many leads carry each flag) that sorts by any column, filters by
// status and by flag and is walked with the keyboard; and a page for each
// recording with its review picture (the maps, its flagged leads named, the
// beat-to-beat plots when the study has beats.csv) and the sheet of its
// averaged beat's leads with their marks when the recording's folder holds
// its saved beat.
//
// Every page stands alone: the pictures are inline SVG, the style and the
// few lines of script are in the page, no font, script or picture is fetched
// from anywhere (a content security policy forbids it), so the report opens
// from the file system in any current browser and can be sent as a folder.
//
// The index's state is in its address: index.html#sort=qt_ms&order=descending
// &status=check&flag=weak, so a view can be bookmarked or sent.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "review/review_input.hpp"

namespace mapari::review {

// One recording of the report: the review of its row of the tables, and the
// review of its saved beat (.ari with .ds) when its folder holds one.
struct ReportRecording {
    ReviewData review;
    std::optional<ReviewData> saved_beat;
    std::string saved_beat_note;  // why the saved beat is not shown, when the folder has one
};

struct ReportFile {
    std::string name;  // inside the report's folder: "index.html", "001-rec1.html"
    std::string html;
};

// The report's files, index.html first, then a page for each recording in order.
std::vector<ReportFile> study_report_files(const std::string& study_name,
                                           const std::vector<ReportRecording>& recordings);

// The report's folder of a study's results table: report/ beside it.
std::string report_folder(const std::string& table_path);

// Reads the study's tables (load_results_review) and the saved beat in each
// recording's folder, then writes the report's folder whole, each file
// through a temporary name, and removes the pages of recordings the study no
// longer has. False with "PATH: reason" and nothing changed when a table
// cannot be used; `pages` is the number of recordings' pages written.
bool write_study_report(const ResultsRequest& request, int& pages, std::string& message);

}  // namespace mapari::review
