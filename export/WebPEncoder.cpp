#include "export/AnimationEncoder.h"

namespace velarium::exporter {

std::unique_ptr<AnimationEncoder> makeWebPEncoder() { return nullptr; }

}  // namespace velarium::exporter
