#include "app/ANIMInfo.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>

#include "core/ANIMParser.h"

namespace velarium::app {

namespace {

// What a row shows when its figure does not exist (no aspect, no time).
const QString kNoValue = QStringLiteral("—");

// HAM holds its first 2^(planes − 2) colours in registers and modifies
// one component of the previous pixel for the rest.
constexpr std::uint64_t kHAMControlPlanes = 2;
constexpr std::uint64_t kHAM8Planes = 8;
constexpr std::uint64_t kHAM6Colours = 4096;     // 12-bit colour
constexpr std::uint64_t kHAM8Colours = 262144;   // 18-bit colour
constexpr std::uint64_t kMaxRegisterShift = 62;  // keeps a damaged plane count from overflowing

// Enough of a file to hold its first picture's header.
constexpr qint64 kPixelAspectHeadBytes = 64 * 1024;

// The compression methods by their ANHD operation byte. Two methods are
// known by a letter, and their byte is that letter's code.
struct CompressionName {
    std::uint8_t operation;
    const char16_t* name;
};
constexpr CompressionName kCompressionNames[] = {
    {0, u"0 — Direct (BODY)"},
    {1, u"1 — XOR (ANIM-1)"},
    {2, u"2 — Long Delta (ANIM-2)"},
    {3, u"3 — Short Delta (ANIM-3)"},
    {4, u"4 — General Delta (ANIM-4)"},
    {5, u"5 — Byte Vertical Delta (ANIM-5)"},
    {6, u"6 — Stereo (ANIM-6)"},
    {7, u"7 — Short/Long Vertical Delta (ANIM-7)"},
    {8, u"8 — Short/Long Vertical Delta (ANIM-8)"},
    {'J', u"J — Eric Graham (ANIM-J)"},
    {'l', u"l — Vertical Short Delta (ANIM-l)"},
};

QString resolutionString(const ANIMParser& parser) {
    return QStringLiteral("%1 × %2 pixels (%3 bitplanes)")
        .arg(QString::number(parser.width()), QString::number(parser.height()), QString::number(parser.numPlanes()));
}

QString hamModeString(const ANIMParser& parser) {
    if (!parser.isHAM()) return QStringLiteral("Off");
    return parser.numPlanes() >= kHAM8Planes ? QStringLiteral("HAM8") : QStringLiteral("HAM6");
}

QString aspectRatioString(const ANIMParser& parser) {
    const auto& header = parser.bitmapHeader();
    if (header.xAspect == 0 || header.yAspect == 0) return kNoValue;
    return QStringLiteral("%1:%2").arg(unsigned(header.xAspect)).arg(unsigned(header.yAspect));
}

// Frames per second over the whole animation; a dash when there is no time
// to divide by. Always written with a '.' and two decimals.
QString frameRateString(const ANIMParser& parser) {
    const MediaTime& total = parser.totalDuration();
    const double seconds = total.isNumeric() ? total.seconds() : 0.0;
    if (!(seconds > 0.0) || parser.numFrames() == 0) return kNoValue;
    return QString::number(static_cast<double>(parser.numFrames()) / seconds, 'f', 2) + QStringLiteral(" fps");
}

// The name of one ANHD operation byte, e.g. "5 — Byte Vertical Delta (ANIM-5)".
QString compressionName(std::uint8_t operation) {
    for (const auto& entry : kCompressionNames)
        if (entry.operation == operation) return QString::fromUtf16(entry.name);
    return QStringLiteral("%1 — Unknown").arg(unsigned(operation));
}

std::unique_ptr<ANIMParser> parsed(const QByteArray& bytes, Error* error) {
    auto parser = std::make_unique<ANIMParser>(makeSharedBytes(
        reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())));
    if (!parser->parseWithError(error)) return nullptr;
    return parser;
}

}  // namespace

ANIMInfo::ANIMInfo(std::unique_ptr<ANIMParser> parser) : parser_(std::move(parser)) {}

ANIMInfo::~ANIMInfo() = default;

std::unique_ptr<ANIMInfo> ANIMInfo::fromBytes(const QByteArray& bytes, const QString& fileName, Error* error) {
    Error failure;
    std::unique_ptr<ANIMParser> parser = parsed(bytes, &failure);
    if (parser) return std::unique_ptr<ANIMInfo>(new ANIMInfo(std::move(parser)));
    // A file that parses to no frames at all gets an error of its own
    // rather than a command that silently does nothing.
    if (failure.domain.empty())
        failure = Error(kANIMParserErrorDomain, kANIMParserErrorNotANIM,
                        QCoreApplication::translate("ANIMInfo", "“%1” holds no animation frames.").arg(fileName).toStdString());
    fail(error, failure);
    return nullptr;
}

std::pair<int, int> ANIMInfo::pixelAspectOfFile(const QString& path) {
    // The header sits at the start of the file, so the start is read first,
    // and the whole file only when the first picture is longer than that.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {0, 0};
    for (const qint64 length : {kPixelAspectHeadBytes, file.size()}) {
        file.seek(0);
        const QByteArray head = file.read(length);
        if (const auto parser = parsed(head, nullptr))
            return {parser->bitmapHeader().xAspect, parser->bitmapHeader().yAspect};
        if (head.size() < length || length >= file.size()) break;
    }
    return {0, 0};
}

std::pair<int, int> ANIMInfo::pixelAspect() const {
    return {parser_->bitmapHeader().xAspect, parser_->bitmapHeader().yAspect};
}

QString ANIMInfo::opcodeString() const {
    // Only the first delta's method is named, even when later frames use another.
    for (std::uint64_t i = 0; i < parser_->numFrames(); ++i) {
        const std::uint8_t operation = parser_->frameAtIndex(i).operation;
        if (operation != 0) return compressionName(operation);
    }
    return compressionName(0);
}

QString ANIMInfo::colorCountString(const QLocale& locale) const {
    const ANIMParser& parser = *parser_;
    const std::uint64_t planes = parser.numPlanes();
    if (parser.isHAM()) {
        const std::uint64_t total = planes < kHAM8Planes ? kHAM6Colours : kHAM8Colours;
        const std::uint64_t shift = std::min(std::max(planes, kHAMControlPlanes) - kHAMControlPlanes, kMaxRegisterShift);
        const std::uint64_t baseRegisters = std::uint64_t(1) << shift;
        return QStringLiteral("%1 (%2 base registers)")
            .arg(locale.toString(qulonglong(total)), locale.toString(qulonglong(baseRegisters)));
    }
    if (parser.isEHB()) return QStringLiteral("64 (32 + Extra Half-Brite)");
    return locale.toString(qulonglong(parser.numColors()));
}

std::vector<InfoRow> ANIMInfo::rows(const QLocale& locale) const {
    const ANIMParser& parser = *parser_;
    return {
        {QStringLiteral("Resolution:"), resolutionString(parser)},
        {QStringLiteral("ANIM Opcode:"), opcodeString()},
        {QStringLiteral("HAM Mode:"), hamModeString(parser)},
        {QStringLiteral("Extra Half-Brite:"), parser.isEHB() ? QStringLiteral("On") : QStringLiteral("Off")},
        {QStringLiteral("Aspect Ratio:"), aspectRatioString(parser)},
        {QStringLiteral("Frames:"), QString::number(parser.numFrames())},
        {QStringLiteral("Frame Rate:"), frameRateString(parser)},
        {QStringLiteral("Colours:"), colorCountString(locale)},
    };
}

}  // namespace velarium::app
