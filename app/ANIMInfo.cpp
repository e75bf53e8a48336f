#include "app/ANIMInfo.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <string_view>

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

// A file's own text longer than this is cut, so that the panel stays a panel.
constexpr qsizetype kMaxShownTextCharacters = 160;

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

QString durationString(const ANIMParser& parser) {
    const MediaTime& total = parser.totalDuration();
    if (!total.isNumeric()) return kNoValue;
    return QString::number(total.seconds(), 'f', 3) + QStringLiteral(" s");
}

// "1.2 MB (1,234,567 bytes)", or "512 bytes" below a kilobyte.
QString fileSizeString(qint64 size, const QLocale& locale) {
    const QString bytes = QStringLiteral("%1 bytes").arg(locale.toString(size));
    if (size < 1000) return bytes;
    return QStringLiteral("%1 (%2)").arg(locale.formattedDataSize(size, 1, QLocale::DataSizeSIFormat), bytes);
}

// A text chunk as one line of plain text: Amiga texts are ISO 8859-1 and
// often end in NULs or a line break, which are dropped; control characters (and the backslash, so that the
// escapes stay unambiguous) are written as C escapes, and a long text is cut.
QString shownText(const std::string& stored) {
    constexpr std::string_view kTextEnding("\0 \t\r\n", 5);
    const std::string_view kept = std::string_view(stored).substr(0, stored.find_last_not_of(kTextEnding) + 1);
    QString text;
    for (const unsigned char byte : kept) {
        if (byte == '\\') text += QStringLiteral("\\\\");
        else if (byte == '\n') text += QStringLiteral("\\n");
        else if (byte == '\t') text += QStringLiteral("\\t");
        else if (byte < 0x20 || (byte >= 0x7F && byte < 0xA0))
            text += QStringLiteral("\\x%1").arg(unsigned(byte), 2, 16, QLatin1Char('0'));
        else text += QChar(byte);
    }
    text = text.trimmed();
    if (text.size() > kMaxShownTextCharacters) text = text.left(kMaxShownTextCharacters - 1) + QChar(0x2026);
    return text;
}

// The register whose colour shows what lies beneath the picture, as the
// frames are made: only with the BMHD's transparent-colour masking, and
// only a register the picture can use.
QString transparentColourString(const ANIMParser& parser) {
    const auto& header = parser.bitmapHeader();
    if (header.masking != kMaskingHasTransparentColor || header.transparentColor >= parser.numColors())
        return QStringLiteral("None");
    return QStringLiteral("Colour %1").arg(header.transparentColor);
}

std::unique_ptr<ANIMParser> parsed(const QByteArray& bytes, Error* error) {
    auto parser = std::make_unique<ANIMParser>(makeSharedBytes(
        reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())));
    if (!parser->parseWithError(error)) return nullptr;
    return parser;
}

}  // namespace

ANIMInfo::ANIMInfo(std::unique_ptr<ANIMParser> parser, const QString& fileName, qint64 fileSize)
    : parser_(std::move(parser)), fileName_(fileName), fileSize_(fileSize) {}

ANIMInfo::~ANIMInfo() = default;

std::unique_ptr<ANIMInfo> ANIMInfo::fromBytes(const QByteArray& bytes, const QString& fileName, Error* error) {
    Error failure;
    std::unique_ptr<ANIMParser> parser = parsed(bytes, &failure);
    if (parser) return std::unique_ptr<ANIMInfo>(new ANIMInfo(std::move(parser), fileName, bytes.size()));
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

QString ANIMInfo::colourCyclingString() const {
    std::vector<double> speeds;
    for (const ColourRange& range : parser_->colourRanges())
        if (range.cycles()) speeds.push_back(range.stepsPerSecond());
    if (speeds.empty()) return kNoValue;
    std::sort(speeds.begin(), speeds.end());
    QStringList shown;
    // One decimal at most: 8.57 steps a second shows as 8.6, 60 as 60.
    for (const double speed : speeds) shown << QString::number(std::round(speed * 10) / 10, 'g', 15);
    const QString last = shown.takeLast();
    const QString list = shown.isEmpty() ? last : shown.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
    return QStringLiteral("%1 %2, %3 steps a second")
        .arg(qulonglong(speeds.size()))
        .arg(speeds.size() == 1 ? QStringLiteral("range") : QStringLiteral("ranges"), list);
}

std::vector<InfoRow> ANIMInfo::rows(const QLocale& locale) const {
    const ANIMParser& parser = *parser_;
    std::vector<InfoRow> rows = {
        {QStringLiteral("Resolution:"), resolutionString(parser)},
        {QStringLiteral("ANIM Opcode:"), opcodeString()},
        {QStringLiteral("HAM Mode:"), hamModeString(parser)},
        {QStringLiteral("Extra Half-Brite:"), parser.isEHB() ? QStringLiteral("On") : QStringLiteral("Off")},
        {QStringLiteral("Aspect Ratio:"), aspectRatioString(parser)},
        {QStringLiteral("Frames:"), QString::number(parser.numFrames())},
        {QStringLiteral("Frame Rate:"), frameRateString(parser)},
        {QStringLiteral("Colours:"), colorCountString(locale)},
        {QStringLiteral("File:"), fileName_},
        {QStringLiteral("Size:"), fileSizeString(fileSize_, locale)},
        {QStringLiteral("Duration:"), durationString(parser)},
    };
    const ANIMTexts& texts = parser.texts();
    for (const auto& [label, stored] : {std::pair{"Annotation:", &texts.annotation}, {"Author:", &texts.author},
                                        {"Name:", &texts.name}, {"Copyright:", &texts.copyright}})
        if (const QString text = shownText(*stored); !text.isEmpty()) rows.push_back({QString::fromLatin1(label), text});
    rows.push_back({QStringLiteral("Transparent Colour:"), transparentColourString(parser)});
    rows.push_back({QStringLiteral("Colour Cycling:"), colourCyclingString()});
    return rows;
}

}  // namespace velarium::app
