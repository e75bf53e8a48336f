#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>

#include "export/Exporter.h"
#include "platform/foundation/Error.h"

namespace velarium::app {

// The file names of `count` frames of an animation called `baseName`:
// "walk_001.png" …, numbered from 1 as the window's counter numbers them,
// and zero-padded to as many digits as `count` has, so that they sort in
// frame order.
QStringList frameFileNames(const QString& baseName, std::uint64_t count);

// Writes every frame of the animation at `source` as a PNG into `folder`,
// named by frameFileNames. The animation is opened anew, through the
// extensions as the player reads it, so a document playing it is left
// alone (the frames come as the exporter reads them). Each file is written under a temporary name and renamed into place;
// on a failure or cancellation the files this call made are removed again
// (files it replaced stay replaced). May run on any thread. `written`, when
// not null, gets the number of files written.
bool exportFramesAsPNG(const std::string& source, const QString& folder, const QString& baseName,
                       const exporter::ExportObserver& observer, std::uint64_t* written, Error* error);

}  // namespace velarium::app
