// `info`: the animation's facts as an aligned list or as one JSON object.
#include "tools/velarium-tool/InfoCommand.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "tools/velarium-tool/AnimationFacts.h"
#include "export/AnimationFile.h"
#include "tools/velarium-tool/ToolError.h"

namespace velarium::tool {
namespace {

using Json = nlohmann::ordered_json;
using Row = std::pair<std::string, std::string>;

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

std::string onOff(bool value) { return value ? "on" : "off"; }

std::string durationText(const MediaTime& time) {
    return format("%.3f s (%" PRId64 "/%" PRId32 ")", time.seconds(), time.value, time.timescale);
}

std::string operationsText(const AnimationFacts& facts) {
    std::string text;
    for (const OperationUse& use : facts.operations) {
        if (!text.empty()) text += ", ";
        const std::string kind = use.keyframe ? "key frame (BODY)" : operationName(use.operation);
        text += format("%" PRIu64 " x ", use.frames) + kind;
    }
    return text.empty() ? "-" : text;
}

std::string interleaveText(const AnimationFacts& facts) {
    const std::uint64_t deltas = facts.deltasFromPreviousFrame + facts.deltasFromTwoFramesBack;
    if (deltas == 0) return "- (no delta frames)";
    if (facts.deltasFromPreviousFrame == 0)
        return format("0 (deltas from two frames back) in all %" PRIu64 " delta frames", deltas);
    if (facts.deltasFromTwoFramesBack == 0)
        return format("1 (deltas from the previous frame) in all %" PRIu64 " delta frames", deltas);
    return format("mixed: 0 in %" PRIu64 " delta frames, 1 in %" PRIu64, facts.deltasFromTwoFramesBack,
                  facts.deltasFromPreviousFrame);
}

std::string colorsText(const AnimationFacts& facts) {
    std::string text;
    if (facts.ham)
        text = format("%" PRIu64 " (%" PRIu64 " base registers)", facts.colorCount, facts.baseRegisters);
    else if (facts.ehb)
        text = format("%" PRIu64 " (%" PRIu64 " + Extra Half-Brite)", facts.colorCount, facts.baseRegisters);
    else
        text = format("%" PRIu64, facts.colorCount);
    return text + format("; CMAP holds %" PRIu64, facts.cmapEntries);
}

std::string directionName(const ColourRange& range) { return range.reverse ? "reverse" : "forward"; }

// "CRNG, registers 2-5, 60.00 steps/s, forward, active".
std::string colourRangeText(const ColourRange& range) {
    std::string text = colourRangeKindName(range.kind) + ", registers " + colourRangeRegistersText(range) +
                       format(", %.2f steps/s, ", range.stepsPerSecond()) + directionName(range) +
                       (range.active ? ", active" : ", inactive");
    if (range.active && !range.cycles()) text += " (does not cycle)";
    return text;
}

std::vector<Row> factRows(const std::string& file, const AnimationFacts& facts) {
    const double rate = averageFrameRate(facts);
    std::vector<Row> rows = {
        {"File", file},
        {"Size", format("%" PRIu64 " x %" PRIu64 " pixels", facts.width, facts.height)},
        {"Planes", format("%" PRIu64, facts.planes)},
        {"Masking", format("%u (", facts.masking) + maskingName(facts.masking) + ")"},
        {"Compression", format("%u (", facts.compression) + compressionName(facts.compression) + ")"},
        {"CAMG", format("0x%08" PRIX32 " (HAM: ", facts.camg) + hamModeName(facts) + ", EHB: " +
                     onOff(facts.ehb) + ")"},
        {"Aspect", facts.xAspect && facts.yAspect ? format("%u:%u", facts.xAspect, facts.yAspect) : "-"},
        {"Frames", format("%" PRIu64, facts.frameCount)},
        {"Operations", operationsText(facts)},
        {"Interleave", interleaveText(facts)},
        {"DPAN speed", facts.dpanSpeed ? format("%u fps", facts.dpanSpeed) : "none"},
        {"First frame", durationText(facts.firstFrameDuration)},
        {"Total duration", durationText(facts.totalDuration)},
        {"Frame rate", rate > 0 ? format("%.2f fps", rate) : "-"},
        {"Colours", colorsText(facts)},
    };
    const auto& ranges = facts.colourRanges;
    const auto cycling = std::count_if(ranges.begin(), ranges.end(), [](const auto& r) { return r.cycles(); });
    rows.push_back({"Colour ranges", ranges.empty() ? "none" : format("%zu (%td cycling)", ranges.size(), cycling)});
    for (std::size_t i = 0; i < ranges.size(); ++i)
        rows.push_back({format("  Range %zu", i + 1), colourRangeText(ranges[i])});
    return rows;
}

void printRows(const std::vector<Row>& rows) {
    std::size_t labelWidth = 0;
    for (const Row& row : rows) labelWidth = std::max(labelWidth, row.first.size());
    for (const Row& row : rows)
        std::printf("%-*s  %s\n", static_cast<int>(labelWidth + 1), (row.first + ":").c_str(), row.second.c_str());
}

Json timeJson(const MediaTime& time) {
    return Json{{"value", time.value}, {"timescale", time.timescale}, {"seconds", time.seconds()}};
}

Json factsJson(const std::string& file, const AnimationFacts& facts) {
    Json operations = Json::array();
    for (const OperationUse& use : facts.operations) {
        if (use.keyframe)
            operations.push_back(Json{{"kind", "keyframe"}, {"frames", use.frames}});
        else
            operations.push_back(Json{{"kind", "delta"},
                                      {"operation", use.operation},
                                      {"name", operationName(use.operation)},
                                      {"frames", use.frames}});
    }
    Json ranges = Json::array();
    for (const ColourRange& range : facts.colourRanges)
        ranges.push_back(Json{{"kind", colourRangeKindName(range.kind)},
                              {"registers", colourRangeRegisters(range)},
                              {"trueColours", range.cells.size() - colourRangeRegisters(range).size()},
                              {"stepsPerSecond", range.stepsPerSecond()},
                              {"direction", directionName(range)},
                              {"active", range.active},
                              {"cycles", range.cycles()}});
    return Json{
        {"file", file},
        {"width", facts.width},
        {"height", facts.height},
        {"planes", facts.planes},
        {"masking", facts.masking},
        {"compression", facts.compression},
        {"camg", facts.camg},
        {"ham", facts.ham},
        {"ehb", facts.ehb},
        {"aspect", Json{{"x", facts.xAspect}, {"y", facts.yAspect}}},
        {"frameCount", facts.frameCount},
        {"operations", std::move(operations)},
        {"interleave",
         Json{{"previousFrame", facts.deltasFromPreviousFrame}, {"twoFramesBack", facts.deltasFromTwoFramesBack}}},
        {"dpanSpeed", facts.dpanSpeed},
        {"firstFrameDuration", timeJson(facts.firstFrameDuration)},
        {"totalDuration", timeJson(facts.totalDuration)},
        {"frameRate", averageFrameRate(facts)},
        {"colors", facts.colorCount},
        {"baseRegisters", facts.baseRegisters},
        {"cmapEntries", facts.cmapEntries},
        {"colorRanges", std::move(ranges)},
    };
}

}  // namespace

int runInfoCommand(const InfoOptions& options) {
    Error error;
    auto parser = exporter::openAnimation(options.file, &error);
    if (!parser) {
        reportError(options.file, error);
        return kExitFailure;
    }
    const AnimationFacts facts = collectFacts(*parser);
    if (options.json)
        std::printf("%s\n", factsJson(options.file, facts).dump(2, ' ', false, Json::error_handler_t::replace).c_str());
    else
        printRows(factRows(options.file, facts));
    return kExitSuccess;
}

}  // namespace velarium::tool
