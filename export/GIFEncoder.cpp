#include "export/AnimationEncoder.h"

namespace velarium::exporter {

std::unique_ptr<AnimationEncoder> makeGIFEncoder() { return nullptr; }

}  // namespace velarium::exporter
