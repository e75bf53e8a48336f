#pragma once

class QCoreApplication;

namespace velarium {

// Installs the English table of archive import's texts: it turns texts that
// name another platform's programs ("Show in Finder") into what is true
// here. Call once, after the application object exists.
void installArchiveImportTranslations(QCoreApplication& application);

}  // namespace velarium
