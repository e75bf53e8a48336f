#include "export/Exporter.h"

#include "export/ExportError.h"

namespace velarium::exporter {

bool exportAnimation(const std::string&, const std::string&, const ExportOptions&, const ExportObserver&,
                     ExportReport*, Error* error) {
    return fail(error, exportError(kExportErrorEncoder, "Exporting is not built yet."));
}

}  // namespace velarium::exporter
