#include "app/FolderAnimations.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include "lha/ANIMSignature.h"

namespace velarium::app {
namespace {

QCollator naturalOrder() {
    // The C locale's collation compares code points alone, numbers
    // included; the file manager's order needs a language's.
    const QLocale locale = QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale();
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

// By file name in natural order; names equal but for case keep a fixed order.
bool comesBefore(const QCollator& collator, const QString& a, const QString& b) {
    const int order = collator.compare(QFileInfo(a).fileName(), QFileInfo(b).fileName());
    return order != 0 ? order < 0 : a < b;
}

}  // namespace

QStringList animationsInFolder(const QString& folder) {
    QStringList animations;
    for (const QFileInfo& entry : QDir(folder).entryInfoList(QDir::Files | QDir::Readable | QDir::Hidden)) {
        const std::filesystem::path path(QFile::encodeName(entry.absoluteFilePath()).toStdString());
        if (hasANIMSignature(path)) animations << entry.absoluteFilePath();
    }
    const QCollator collator = naturalOrder();
    std::ranges::sort(animations, [&](const QString& a, const QString& b) { return comesBefore(collator, a, b); });
    return animations;
}

FolderNeighbours neighboursOf(const QString& file, const QStringList& animations) {
    const QCollator collator = naturalOrder();
    const auto before = [&](const QString& a, const QString& b) { return comesBefore(collator, a, b); };
    const auto at = std::ranges::lower_bound(animations, file, before);
    FolderNeighbours neighbours;
    if (at != animations.begin()) neighbours.previous = *std::prev(at);
    const auto after = (at != animations.end() && *at == file) ? std::next(at) : at;
    if (after != animations.end()) neighbours.next = *after;
    return neighbours;
}

}  // namespace velarium::app
