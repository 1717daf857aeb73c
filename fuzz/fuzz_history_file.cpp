// The "met.mtb" loader on any bytes. A plain reference of the loading rule, written here apart
// from the loader, says what image, quantity and outcome the bytes must give: the first 4097 lines
// (a line ends at LF or CR LF) joined, read as pairs of hex digits; pair k < 32768 is image byte
// k, pair 32768 the quantity; a pair that is not hexadecimal stops the conversion there; bytes not
// reached keep their value (loading from a file starts from an empty image); a text without a pair
// is empty, one that ends before the last record is cut, one with anything after the quantity
// but one line end (LF or CR LF) is oversized. Both the in-memory conversion and the
// loading from a real file are checked, and a text that loads whole must come back the same from
// the bytes the program saves.
#include "core/history_file.h"

#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t LinesRead = HistoryRecordCount + 1;
constexpr std::size_t PairsUsed = HistoryImageSize + 1;

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_history_file: %s\n", what);
        std::abort();
    }
}

int HexValue(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

struct TExpected
{
    THistoryImage Image{};
    std::uint8_t Quantity = 0;
    bool BadPair = false;
    int BadPairLine = 0;   // 1-based line of the bad pair's first character
    std::size_t Pairs = 0; // converted
    bool Oversized = false;
};

// Whether the bytes from `from` on are more than one line end.
bool MoreThanALineEnd(const std::uint8_t* data, std::size_t size, std::size_t from)
{
    if (size - from >= 2 && data[from] == '\r' && data[from + 1] == '\n')
        from += 2;
    else if (size - from >= 1 && data[from] == '\n')
        from += 1;
    return from < size;
}

// The rule, step by step and without shortcuts.
TExpected Reference(const std::uint8_t* data, std::size_t size, const THistoryImage& image, std::uint8_t quantity)
{
    TExpected e;
    e.Image = image;
    e.Quantity = quantity;

    // Lines: split at LF; a CR right before that LF belongs to the line end. The last piece (no
    // LF after it) is a line as it stands.
    std::string joined;
    std::vector<int> lineOf;           // the line each character of the joined text came from
    std::vector<std::size_t> offsetOf; // and its place in the bytes
    joined.reserve(size);
    lineOf.reserve(size);
    offsetOf.reserve(size);
    std::size_t start = 0;
    for (std::size_t line = 1; line <= LinesRead && start <= size; ++line) {
        std::size_t end = start;
        while (end < size && data[end] != '\n')
            ++end;
        std::size_t contentEnd = end;
        if (end < size && contentEnd > start && data[contentEnd - 1] == '\r')
            --contentEnd;
        for (std::size_t i = start; i < contentEnd; ++i) {
            joined.push_back(static_cast<char>(data[i]));
            lineOf.push_back(static_cast<int>(line));
            offsetOf.push_back(i);
        }
        if (end >= size)
            break; // past the end only empty lines follow
        start = end + 1;
    }

    for (std::size_t k = 0; k < PairsUsed && 2 * k + 1 < joined.size(); ++k) {
        const int high = HexValue(static_cast<unsigned char>(joined[2 * k]));
        const int low = HexValue(static_cast<unsigned char>(joined[2 * k + 1]));
        if (high < 0 || low < 0) {
            e.BadPair = true;
            e.BadPairLine = lineOf[2 * k];
            return e;
        }
        const auto value = static_cast<std::uint8_t>(high * 16 + low);
        if (k < HistoryImageSize)
            e.Image[k] = value;
        else
            e.Quantity = value;
        e.Pairs = k + 1;
    }
    e.Oversized = e.Pairs == PairsUsed && MoreThanALineEnd(data, size, offsetOf[2 * PairsUsed - 1] + 1);
    return e;
}

void CheckAgainst(const TExpected& expected, const THistoryLoadResult& result, const THistoryImage& image,
                  std::uint8_t quantity)
{
    Require(image == expected.Image, "image differs from the reference");
    Require(quantity == expected.Quantity, "quantity differs from the reference");
    if (expected.BadPair) {
        Require(result.Outcome == THistoryLoadOutcome::BadPair, "bad pair not reported");
        Require(!result.ImageComplete(), "image after a bad pair taken as complete");
        Require(result.Message.contains(QStringLiteral("строка %1:").arg(expected.BadPairLine)),
                "bad pair message names the wrong line");
    } else if (expected.Pairs == 0) {
        Require(result.Outcome == THistoryLoadOutcome::Empty, "text without a pair not taken as empty");
        Require(result.ImageComplete() && result.Message.isEmpty(), "empty text not taken as no records");
    } else if (expected.Pairs < HistoryImageSize) {
        Require(result.Outcome == THistoryLoadOutcome::Truncated, "cut text not reported");
        Require(!result.ImageComplete(), "image of a cut text taken as complete");
        Require(result.RecordsRead == static_cast<int>(expected.Pairs / HistoryRecordSize), "records read miscounted");
        Require(result.Message.contains(QStringLiteral(": %1 из").arg(result.RecordsRead)),
                "cut message without the count");
    } else if (expected.Oversized) {
        Require(result.Outcome == THistoryLoadOutcome::Oversized, "oversized text not reported");
        Require(!result.ImageComplete(), "image of an oversized text taken as complete");
        Require(result.RecordsRead == HistoryRecordCount, "records of an oversized text miscounted");
    } else {
        Require(result.Outcome == THistoryLoadOutcome::Loaded, "good text not loaded");
        Require(result.Message.isEmpty(), "message after a good load");
    }
}

// A starting image that shows any byte written to the wrong place.
THistoryImage Pattern(std::uint8_t salt)
{
    THistoryImage image;
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + salt);
    return image;
}

// One scratch file for the whole run, rewritten for each input and removed at exit.
char ScratchPath[4096];

const char* ScratchFile()
{
    if (ScratchPath[0] == '\0') {
        const char* folder = std::getenv("TMPDIR");
        std::snprintf(ScratchPath, sizeof ScratchPath, "%s/fuzz-met-XXXXXX", folder && *folder ? folder : "/tmp");
        const int fd = ::mkstemp(ScratchPath);
        Require(fd >= 0, "no scratch file");
        ::close(fd);
        std::atexit([] { ::unlink(ScratchPath); });
    }
    return ScratchPath;
}

void WriteScratch(const std::uint8_t* data, std::size_t size)
{
    std::FILE* file = std::fopen(ScratchFile(), "wb");
    Require(file != nullptr, "scratch file not writable");
    Require(size == 0 || std::fwrite(data, 1, size, file) == size, "scratch file not written");
    Require(std::fclose(file) == 0, "scratch file not closed");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const THistoryImage start = Pattern(static_cast<std::uint8_t>(size));
    const std::uint8_t startQuantity = 0xA7;
    const TExpected expected = Reference(data, size, start, startQuantity);

    // The conversion in memory.
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    THistoryImage image = start;
    std::uint8_t quantity = startQuantity;
    const THistoryLoadResult converted = ConvertHistoryText(text, image, quantity, QStringLiteral("met.mtb"));
    CheckAgainst(expected, converted, image, quantity);

    // The same bytes as a file: the loader reads only what the conversion can use (and a byte more,
    // to tell an oversized file), into an empty image.
    WriteScratch(data, size);
    THistoryState state;
    state.HistoryImage = start;
    state.DiagramQuantity = startQuantity;
    THistoryImage empty;
    empty.fill(HistoryMissing);
    const THistoryLoadResult loaded = LoadHistoryFile(state, QString::fromLocal8Bit(ScratchFile()));
    CheckAgainst(Reference(data, size, empty, startQuantity), loaded, state.HistoryImage, state.DiagramQuantity);

    // What loaded is saved and loaded again unchanged.
    if (!expected.BadPair) {
        const QByteArray saved = HistoryFileBytes(image, quantity);
        Require(saved.size() == HistoryFileSize, "saved file has the wrong size");
        THistoryImage again = Pattern(0x5C);
        std::uint8_t againQuantity = static_cast<std::uint8_t>(~quantity);
        const THistoryLoadResult reloaded = ConvertHistoryText(saved, again, againQuantity);
        Require(reloaded.Outcome == THistoryLoadOutcome::Loaded && reloaded.RecordsRead == HistoryRecordCount,
                "saved file does not load");
        Require(again == image && againQuantity == quantity, "saved file loads differently");
    }
    return 0;
}
