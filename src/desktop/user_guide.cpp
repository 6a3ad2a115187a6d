#include "desktop/user_guide.hpp"

#include <QFile>
#include <vector>

#include "desktop/po_catalogue.hpp"
#include "desktop/user_guide_texts.hpp"

namespace mapari::qt {
namespace {

// Table cells keep the texts' runs of blanks, which are part of the prompts.
QString cell(const std::string& text) {
    return QStringLiteral("<td style=\"white-space: pre-wrap\">%1</td>")
        .arg(QString::fromStdString(text).toHtmlEscaped());
}

QString prompt_table(const GuideTexts& texts, const std::optional<std::string>& english_catalogue) {
    std::vector<CatalogueEntry> entries;
    std::string error = "it is not built into the program";
    if (!english_catalogue || !read_po_catalogue(*english_catalogue, entries, error))
        return QStringLiteral("<p>%1</p>")
            .arg(QString::fromUtf8(texts.unreadable_catalogue)
                     .arg(QString::fromStdString(error).toHtmlEscaped()));
    QString table = QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\">");
    table +=
        QStringLiteral("<tr><th>%1</th><th>%2</th></tr>")
            .arg(QString::fromUtf8(texts.japanese_column), QString::fromUtf8(texts.english_column));
    for (const CatalogueEntry& entry : entries)
        table += QStringLiteral("<tr>") + cell(entry.original) + cell(shown_text(entry)) +
                 QStringLiteral("</tr>");
    return table + QStringLiteral("</table>");
}

}  // namespace

std::optional<std::string> built_in_english_catalogue() {
    QFile file(QStringLiteral(":/guide/po/en.po"));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.readAll().toStdString();
}

QString user_guide_html(Language language, const std::optional<std::string>& english_catalogue) {
    const GuideTexts& texts = guide_texts(language);
    return QString::fromUtf8(texts.walk_through) +
           QStringLiteral("<h2>%1</h2>").arg(QString::fromUtf8(texts.table_heading)) +
           QString::fromUtf8(texts.table_introduction) + prompt_table(texts, english_catalogue);
}

QString user_guide_title(Language language) {
    return QString::fromUtf8(guide_texts(language).window_title);
}

UserGuideWindow::UserGuideWindow(Language language, QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
    setHtml(user_guide_html(language, built_in_english_catalogue()));
}

}  // namespace mapari::qt
