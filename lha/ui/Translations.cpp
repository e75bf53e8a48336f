#include "lha/ui/Translations.h"

#include <QCoreApplication>
#include <QTranslator>

namespace velarium {

void installArchiveImportTranslations(QCoreApplication& application) {
    auto* translator = new QTranslator(&application);
    if (translator->load(QStringLiteral(":/translations/velarium_lha_ui_en.qm"))) application.installTranslator(translator);
    else delete translator;
}

}  // namespace velarium
