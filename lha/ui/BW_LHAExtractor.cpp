#include "lha/ui/BW_LHAExtractor.h"

#include <QFile>

#include "lha/ANIMSignature.h"

namespace velarium {

bool BW_LHAExtractor::isANIMFileAtURL(const QUrl& url) {
    if (!url.isLocalFile()) return false;
    return hasANIMSignature(std::filesystem::path(QFile::encodeName(url.toLocalFile()).toStdString()));
}

}  // namespace velarium
