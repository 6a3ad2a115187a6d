#include "review/study_report.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

#include "formats/files.hpp"
#include "formats/quoted.hpp"
#include "review/results_table.hpp"
#include "review/review_layout.hpp"
#include "review/svg_picture.hpp"

namespace mapari::review {
namespace {

namespace fs = std::filesystem;

// Nothing is fetched: no font, script, style sheet or picture from anywhere,
// only the page's own style and script.
constexpr const char* page_head =
    "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
    "style-src 'unsafe-inline'; script-src 'unsafe-inline'; img-src data:\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";

constexpr const char* page_style = R"(<style>
body { font: 14px/1.4 "DejaVu Sans", Helvetica, Arial, sans-serif; color: #1e1e1e; margin: 16px; }
h1 { font-size: 20px; margin: 0 0 8px; }
h2 { font-size: 16px; margin: 20px 0 6px; }
nav { margin-bottom: 10px; }
nav a { margin-right: 16px; }
table { border-collapse: collapse; }
th, td { border-bottom: 1px solid #d7d7d7; padding: 3px 8px; text-align: left; vertical-align: top; }
td.number { text-align: right; font-variant-numeric: tabular-nums; }
th button { font: inherit; font-weight: bold; border: none; background: none; padding: 0; cursor: pointer; }
th[aria-sort="ascending"] button::after { content: " \25B2"; }
th[aria-sort="descending"] button::after { content: " \25BC"; }
tbody tr:focus { outline: 2px solid #145adc; background: #eef3fd; }
tr.status-failed td, tr.status-stopped td { color: #8a1e1e; }
tr.status-check td.status { color: #aa5000; font-weight: bold; }
.controls label { margin-right: 16px; }
.keys { color: #5f5f5f; }
svg { max-width: 100%; height: auto; }
</style>
)";

// Sorting, the filters of status and flag, and the keyboard, on the index.
// The state is kept in the address's fragment, so that it can be bookmarked.
constexpr const char* index_script = R"(<script>
(function () {
  'use strict';
  var body = document.getElementById('recordings').tBodies[0];
  var rows = Array.prototype.slice.call(body.rows);
  var status = document.getElementById('status');
  var flag = document.getElementById('flag');
  var state = { sort: '', order: 'ascending' };
  function value(row, key) {
    var cell = row.querySelector('[data-key="' + key + '"]');
    return cell ? cell.getAttribute('data-value') : '';
  }
  function compare(a, b) {
    var x = value(a, state.sort), y = value(b, state.sort);
    if (x === '' || y === '') return (x === '') - (y === '');
    var order = isNaN(x) || isNaN(y) ? x.localeCompare(y) : x - y;
    return state.order === 'descending' ? -order : order;
  }
  function wanted(row) {
    return (!status.value || row.getAttribute('data-status') === status.value) &&
      (!flag.value || row.getAttribute('data-flags').split(' ').indexOf(flag.value) >= 0);
  }
  function apply() {
    var ordered = state.sort ? rows.slice().sort(compare) : rows;
    var shown = 0;
    ordered.forEach(function (row) {
      row.hidden = !wanted(row);
      shown += row.hidden ? 0 : 1;
      body.appendChild(row);
    });
    document.getElementById('shown').textContent = shown + ' of ' + rows.length + ' recordings shown';
    Array.prototype.forEach.call(document.querySelectorAll('th[data-key]'), function (th) {
      th.setAttribute('aria-sort', th.getAttribute('data-key') === state.sort ? state.order : 'none');
    });
  }
  function read() {
    var fields = {};
    location.hash.slice(1).split('&').forEach(function (pair) {
      var at = pair.indexOf('=');
      if (at > 0) fields[pair.slice(0, at)] = decodeURIComponent(pair.slice(at + 1));
    });
    state.sort = fields.sort || '';
    state.order = fields.order === 'descending' ? 'descending' : 'ascending';
    status.value = fields.status || '';
    flag.value = fields.flag || '';
    apply();
  }
  function write() {
    var parts = [];
    if (state.sort) parts.push('sort=' + encodeURIComponent(state.sort), 'order=' + state.order);
    if (status.value) parts.push('status=' + encodeURIComponent(status.value));
    if (flag.value) parts.push('flag=' + encodeURIComponent(flag.value));
    location.hash = parts.join('&');
  }
  Array.prototype.forEach.call(document.querySelectorAll('th[data-key] button'), function (button) {
    button.addEventListener('click', function () {
      var key = button.parentNode.getAttribute('data-key');
      state.order = state.sort === key && state.order === 'ascending' ? 'descending' : 'ascending';
      state.sort = key;
      write();
    });
  });
  status.addEventListener('change', write);
  flag.addEventListener('change', write);
  body.addEventListener('keydown', function (event) {
    var visible = rows.filter(function (row) { return !row.hidden; });
    visible.sort(function (a, b) { return a.sectionRowIndex - b.sectionRowIndex; });
    var at = visible.indexOf(document.activeElement);
    var step = { ArrowDown: 1, j: 1, ArrowUp: -1, k: -1 }[event.key];
    if (step && visible.length) {
      visible[Math.min(Math.max(at + step, 0), visible.length - 1)].focus();
      event.preventDefault();
    } else if (event.key === 'Enter' && at >= 0) {
      location.href = visible[at].querySelector('a').getAttribute('href');
    }
  });
  window.addEventListener('hashchange', read);
  read();
  var first = body.querySelector('tr:not([hidden])');
  if (first) first.focus();
}());
</script>
)";

// On a recording's page: the left and right arrows go to the recording
// before and after, Escape back to the index.
constexpr const char* page_script = R"(<script>
(function () {
  'use strict';
  document.addEventListener('keydown', function (event) {
    var id = { ArrowLeft: 'previous', ArrowRight: 'next', Escape: 'index' }[event.key];
    var link = id && document.getElementById(id);
    if (link) location.href = link.getAttribute('href');
  });
}());
</script>
)";

// Every flag a lead can carry, in the order the index's columns take them.
std::vector<std::string> every_flag() {
    std::vector<std::string> flags = {"no-downstroke", "no-upstroke", "no-signal"};
    flags.insert(flags.end(), other_flag_words.begin(), other_flag_words.end());
    return flags;
}

// The leads of a recording that carry the flag, in order.
std::vector<int> flagged_leads(const ReviewData& review, const std::string& flag) {
    std::vector<int> leads;
    if (flag == "no-downstroke" || flag == "no-upstroke" || flag == "no-signal") {
        if (!review.leads) return leads;
        for (int l = 1; l <= lead_count; ++l) {
            const LeadValues& lead = (*review.leads)[static_cast<std::size_t>(l - 1)];
            const bool has = flag == "no-signal"     ? lead.no_signal
                             : flag == "no-upstroke" ? lead.no_upstroke
                                                     : lead.no_downstroke;
            if (has) leads.push_back(l);
        }
        return leads;
    }
    for (const FlagCount& flagged : review.other_flags)
        if (flagged.flag == flag) return flagged.leads;
    return leads;
}

// The flags that some recording of the study carries: the index's columns.
std::vector<std::string> flags_in_study(const std::vector<ReportRecording>& recordings) {
    std::vector<std::string> present;
    for (const std::string& flag : every_flag())
        if (std::any_of(recordings.begin(), recordings.end(), [&](const ReportRecording& r) {
                return !flagged_leads(r.review, flag).empty();
            }))
            present.push_back(flag);
    return present;
}

std::string escaped(const std::string& text) {
    return xml_escaped(text);
}

// "001-rec1.html": the recording's place, then its name with every character
// other than a letter, digit, '.', '-' or '_' made '_', so that any name is
// a file name and no two pages share one.
std::string page_name(std::size_t number, const std::string& name) {
    char place[24];
    std::snprintf(place, sizeof place, "%03zu-", number);
    std::string file = place;
    for (char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        file += plain ? c : '_';
    }
    return file + ".html";
}

std::string optional_text(const std::optional<int>& value) {
    return value ? std::to_string(*value) : std::string();
}

// A cell the index sorts by its data-value.
std::string cell(const std::string& key, const std::string& value, const std::string& shown,
                 bool number) {
    return "<td data-key=\"" + key + "\" data-value=\"" + escaped(value) + "\"" +
           (number ? " class=\"number\"" : "") + ">" + shown + "</td>";
}

std::string number_cell(const std::string& key, const std::optional<int>& value) {
    return cell(key, optional_text(value), optional_text(value), true);
}

std::string status_of(const ReviewData& review) {
    return review.summary ? review.summary->status : std::string("unknown");
}

// The index's columns: key, heading, and whether it holds numbers.
struct Column {
    std::string key;
    std::string heading;
};

std::vector<Column> index_columns(const std::vector<std::string>& flags) {
    std::vector<Column> columns = {
        {"place", "#"},         {"recording", "Recording"}, {"status", "Status"},
        {"reason", "Reason"},   {"beats", "Beats"},         {"ref", "ref"},
        {"q_onset", "Q onset"}, {"j_point", "J"},           {"t_end", "T end"},
        {"rr_ms", "RR (ms)"},   {"qt_ms", "QT (ms)"}};
    for (const std::string& flag : flags) columns.push_back({"flag-" + flag, flag});
    return columns;
}

std::string index_row(std::size_t number, const ReportRecording& recording,
                      const std::vector<std::string>& flags) {
    const ReviewData& review = recording.review;
    const RecordingSummary summary = review.summary.value_or(RecordingSummary{});
    const std::string status = status_of(review);
    std::string carried;
    std::string flag_cells;
    for (const std::string& flag : flags) {
        const auto count = static_cast<int>(flagged_leads(review, flag).size());
        if (count > 0) carried += (carried.empty() ? "" : " ") + flag;
        flag_cells += cell("flag-" + flag, std::to_string(count),
                           count > 0 ? std::to_string(count) : std::string(), true);
    }
    const std::string page = page_name(number, review.title);
    return "<tr tabindex=\"0\" class=\"status-" + escaped(status) + "\" data-status=\"" +
           escaped(status) + "\" data-flags=\"" + carried + "\">" +
           cell("place", std::to_string(number), std::to_string(number), true) +
           cell("recording", review.title,
                "<a href=\"" + escaped(page) + "\">" + escaped(review.title) + "</a>", false) +
           "<td class=\"status\" data-key=\"status\" data-value=\"" + escaped(status) + "\">" +
           escaped(status) + "</td>" +
           cell("reason", summary.reason, escaped(summary.reason), false) +
           number_cell("beats", summary.beats_accepted) + number_cell("ref", summary.stimulus) +
           number_cell("q_onset", summary.q_onset) + number_cell("j_point", summary.j_point) +
           number_cell("t_end", summary.t_end) + number_cell("rr_ms", summary.rr_ms) +
           number_cell("qt_ms", summary.qt_ms) + flag_cells + "</tr>\n";
}

std::string select_options(const std::string& id, const std::string& label, const std::string& all,
                           const std::vector<std::string>& values) {
    std::string html =
        "<label>" + label + " <select id=\"" + id + "\"><option value=\"\">" + all + "</option>";
    for (const std::string& value : values)
        html += "<option value=\"" + escaped(value) + "\">" + escaped(value) + "</option>";
    return html + "</select></label>";
}

// The statuses of the study's recordings, in the order of recording_statuses.
std::vector<std::string> statuses_in_study(const std::vector<ReportRecording>& recordings) {
    std::set<std::string> present;
    for (const ReportRecording& recording : recordings) present.insert(status_of(recording.review));
    std::vector<std::string> statuses;
    for (std::string_view status : recording_statuses)
        if (present.erase(std::string(status))) statuses.emplace_back(status);
    statuses.insert(statuses.end(), present.begin(), present.end());
    return statuses;
}

// "12 recordings: 9 ok, 2 check, 1 failed."
std::string study_counts(const std::vector<ReportRecording>& recordings) {
    std::string text =
        std::to_string(recordings.size()) + (recordings.size() == 1 ? " recording" : " recordings");
    const std::vector<std::string> statuses = statuses_in_study(recordings);
    for (std::size_t k = 0; k < statuses.size(); ++k) {
        const auto count = std::count_if(
            recordings.begin(), recordings.end(),
            [&](const ReportRecording& r) { return status_of(r.review) == statuses[k]; });
        text += (k == 0 ? ": " : ", ") + std::to_string(count) + " " + statuses[k];
    }
    return text + ".";
}

std::string index_page(const std::string& study_name,
                       const std::vector<ReportRecording>& recordings) {
    const std::vector<std::string> flags = flags_in_study(recordings);
    std::string html = std::string(page_head) + "<title>Study " + escaped(study_name) +
                       "</title>\n" + page_style + "</head>\n<body>\n<h1>Study " +
                       escaped(study_name) + "</h1>\n<p>" + study_counts(recordings) + "</p>\n";
    html += "<p class=\"controls\">" +
            select_options("status", "Status", "every status", statuses_in_study(recordings)) +
            select_options("flag", "Flag", "any or none", flags) +
            "<span id=\"shown\"></span></p>\n";
    html +=
        "<p class=\"keys\">Click a heading to sort by it, again to reverse. Keys: ↓ or j, ↑ or k "
        "move between recordings, Enter opens one.</p>\n";
    html += "<table id=\"recordings\">\n<thead><tr>";
    for (const Column& column : index_columns(flags))
        html += "<th data-key=\"" + column.key + "\" aria-sort=\"none\"><button type=\"button\">" +
                escaped(column.heading) + "</button></th>";
    html += "</tr></thead>\n<tbody>\n";
    for (std::size_t k = 0; k < recordings.size(); ++k)
        html += index_row(k + 1, recordings[k], flags);
    return html + "</tbody>\n</table>\n" + index_script + "</body>\n</html>\n";
}

// The links at the top of a recording's page: the index, the recordings before and after.
std::string page_navigation(std::size_t number, const std::vector<ReportRecording>& recordings) {
    std::string html = "<nav><a id=\"index\" href=\"index.html\">All recordings</a>";
    if (number > 1)
        html += "<a id=\"previous\" href=\"" +
                escaped(page_name(number - 1, recordings[number - 2].review.title)) + "\">← " +
                escaped(recordings[number - 2].review.title) + "</a>";
    if (number < recordings.size())
        html += "<a id=\"next\" href=\"" +
                escaped(page_name(number + 1, recordings[number].review.title)) + "\">" +
                escaped(recordings[number].review.title) + " →</a>";
    return html + "<span class=\"keys\">Keys: ← →, Esc for the index</span></nav>\n";
}

// The recording's row of the tables: status, reason, beats, marks and intervals.
std::string facts_table(const ReviewData& review) {
    const RecordingSummary summary = review.summary.value_or(RecordingSummary{});
    const std::pair<std::string, std::string> facts[] = {
        {"Status", status_of(review)},
        {"Reason", summary.reason},
        {"Beats averaged", optional_text(summary.beats_accepted)},
        {"Marks (samples): ref, Q onset, J, T end",
         summary.t_end
             ? optional_text(summary.stimulus) + ", " + optional_text(summary.q_onset) + ", " +
                   optional_text(summary.j_point) + ", " + optional_text(summary.t_end)
             : std::string()},
        {"RR (ms)", optional_text(summary.rr_ms)},
        {"QT (ms)", optional_text(summary.qt_ms)},
    };
    std::string html = "<table class=\"facts\">\n";
    for (const auto& [name, value] : facts)
        html += "<tr><th>" + escaped(name) + "</th><td>" + escaped(value) + "</td></tr>\n";
    return html + "</table>\n";
}

// Every flag the recording's leads carry, with the leads named.
std::string flags_table(const ReviewData& review) {
    std::string rows;
    for (const std::string& flag : every_flag()) {
        const std::vector<int> leads = flagged_leads(review, flag);
        if (!leads.empty())
            rows += "<tr><th>" + flag + "</th><td>" + joined_numbers(leads, ", ") + "</td></tr>\n";
    }
    if (rows.empty()) return "<p>No lead carries a flag.</p>\n";
    return "<table class=\"flags\">\n<tr><th>Flag</th><th>Leads</th></tr>\n" + rows + "</table>\n";
}

std::string sheet_section(const ReportRecording& recording) {
    if (recording.saved_beat)
        return "<h2>The averaged beat of each lead, with its marks</h2>\n" +
               svg_sheet(lay_out_review(*recording.saved_beat), "sheet-");
    if (!recording.saved_beat_note.empty())
        return "<p>The saved beat is not shown: " + escaped(recording.saved_beat_note) + "</p>\n";
    return {};
}

std::string recording_page(std::size_t number, const std::vector<ReportRecording>& recordings) {
    const ReportRecording& recording = recordings[number - 1];
    const ReviewData& review = recording.review;
    return std::string(page_head) + "<title>" + escaped(review.title) + "</title>\n" + page_style +
           "</head>\n<body>\n" + page_navigation(number, recordings) + "<h1>" +
           escaped(review.title) + "</h1>\n" + facts_table(review) + "<h2>Flagged leads</h2>\n" +
           flags_table(review) + "<h2>Maps</h2>\n" + svg_picture(lay_out_review(review), "maps-") +
           sheet_section(recording) + page_script + "</body>\n</html>\n";
}

// The saved beat in the recording's folder: NAME.ari with the .ds of the same
// stem, when the folder holds exactly one such pair; its defaults flagged with
// the recovery delay the batch used.
void find_saved_beat(const fs::path& folder, const std::string& layout_path,
                     ReportRecording& recording) {
    std::error_code error;
    std::vector<fs::path> pairs;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error))
        if (entry->path().extension() == ".ari" &&
            fs::exists(fs::path(entry->path()).replace_extension(".ds"), error))
            pairs.push_back(entry->path());
    if (pairs.size() != 1) return;
    ReviewData saved;
    std::string message;
    const std::optional<RecordingSummary>& summary = recording.review.summary;
    const ReviewRequest request{
        pairs[0].string(), fs::path(pairs[0]).replace_extension(".ds").string(), layout_path,
        summary && summary->recovery_delay_samples ? *summary->recovery_delay_samples
                                                   : default_ari_settings.recovery_delay_samples};
    if (!load_review(request, saved, message)) {
        recording.saved_beat_note = message;
        return;
    }
    recording.saved_beat = std::move(saved);
}

// A page of a report, or what is left of one whose writing was cut short.
bool is_report_page(const fs::path& entry) {
    const std::string name = entry.filename().string();
    return name.ends_with(".html") || name.ends_with(".html" + std::string(partial_suffix));
}

// Why the folder cannot take the report, or empty: it holds something other
// than a report's pages (a recording named "report" has its folder there).
std::string foreign_entry(const fs::path& folder) {
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error))
        if (!is_report_page(entry->path()))
            return folder.string() + " holds " + entry->path().filename().string() +
                   ", which is no page of a report: the report is not written there";
    return {};
}

// Removes the pages of the report's folder that the report no longer has.
void remove_stale_pages(const fs::path& folder, const std::vector<ReportFile>& files) {
    std::set<std::string> written;
    for (const ReportFile& file : files) written.insert(file.name);
    std::error_code error;
    std::vector<fs::path> stale;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error))
        if (is_report_page(entry->path()) && !written.contains(entry->path().filename().string()))
            stale.push_back(entry->path());
    for (const fs::path& page : stale) fs::remove(page, error);
}

}  // namespace

std::vector<ReportFile> study_report_files(const std::string& study_name,
                                           const std::vector<ReportRecording>& recordings) {
    std::vector<ReportFile> files;
    files.reserve(recordings.size() + 1);
    files.push_back({"index.html", index_page(study_name, recordings)});
    for (std::size_t k = 1; k <= recordings.size(); ++k)
        files.push_back(
            {page_name(k, recordings[k - 1].review.title), recording_page(k, recordings)});
    return files;
}

std::string report_folder(const std::string& table_path) {
    return (fs::path(table_path).parent_path() / "report").string();
}

bool write_study_report(const ResultsRequest& request, int& pages, std::string& message) {
    std::vector<ReviewData> reviews;
    if (!load_results_review(request, reviews, message)) return false;
    const fs::path study = fs::absolute(request.table_path).parent_path();
    std::vector<ReportRecording> recordings;
    recordings.reserve(reviews.size());
    for (ReviewData& review : reviews) {
        recordings.push_back({std::move(review), std::nullopt, {}});
        find_saved_beat(study / recordings.back().review.title, request.layout_path,
                        recordings.back());
    }
    const std::vector<ReportFile> files = study_report_files(study.filename().string(), recordings);
    const fs::path folder = report_folder(request.table_path);
    message = foreign_entry(folder);
    if (!message.empty()) return false;
    std::error_code error;
    fs::create_directories(folder, error);
    PendingFiles pending;
    std::string reason, failed_path;
    for (const ReportFile& file : files)
        if (!pending.write((folder / file.name).string(), file.html, reason)) {
            message = (folder / file.name).string() + ": " + reason;
            return false;
        }
    if (!pending.commit(failed_path, reason)) {
        message = failed_path + ": " + reason;
        return false;
    }
    remove_stale_pages(folder, files);
    pages = static_cast<int>(recordings.size());
    return true;
}

}  // namespace mapari::review
