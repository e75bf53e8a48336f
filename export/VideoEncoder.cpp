#include "export/AnimationEncoder.h"

namespace velarium::exporter {

std::unique_ptr<AnimationEncoder> makeVideoEncoder(ExportFormat) { return nullptr; }

}  // namespace velarium::exporter
