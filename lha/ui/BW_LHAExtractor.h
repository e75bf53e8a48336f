#pragma once

#include <QObject>
#include <QUrl>

namespace velarium {

// Extracts LHA archives chosen by the user and offers the animations found
// in them. For now it holds the ANIM signature test that routing uses.
class BW_LHAExtractor : public QObject {
    Q_OBJECT
public:
    // True when the local file at `url` starts with "FORM", four bytes, "ANIM".
    static bool isANIMFileAtURL(const QUrl& url);
};

}  // namespace velarium
