#include "export/AnimationEncoder.h"

namespace velarium::exporter {

std::unique_ptr<AnimationEncoder> makeAPNGEncoder() { return nullptr; }

}  // namespace velarium::exporter
