#include "desktop/language_choice.hpp"

#include <QSettings>

namespace mapari::qt {
namespace {

const QString language_key = QStringLiteral("language");

}  // namespace

void remember_language(Language language) {
    QSettings().setValue(language_key, QString::fromLatin1(language_code(language)));
}

std::optional<Language> remembered_language(std::string& problem) {
    const QSettings settings;
    if (!settings.contains(language_key)) return std::nullopt;
    const std::string code = settings.value(language_key).toString().toStdString();
    std::optional<Language> language = language_named(code);
    if (!language)
        problem = "the remembered language \"" + code + "\" is neither ja nor en; " +
                  "choose one in the Language menu";
    return language;
}

QString next_start_notice(Language chosen) {
    return chosen == Language::english
               ? QStringLiteral("The dialogue will be in English from the next start of mapari.")
               : QStringLiteral("次に mapari を起動したときから、対話は日本語になります。");
}

}  // namespace mapari::qt
