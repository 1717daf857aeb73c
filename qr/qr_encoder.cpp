#include "qr/qr_encoder.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace qr {

namespace {

constexpr int MinVersion = 1;
constexpr int MaxVersion = 40;

// Level M throughout: a phone reads the code off a screen, through glare, moiré and a shaking hand,
// and M restores up to about 15 % of the codewords where L restores 7 %; an address with its code
// still fits version 4 or 5, so the larger code costs the picture little.
// Per version (index 1 to 40): the error correction codewords of each block, and the blocks.
constexpr std::array<int, MaxVersion + 1> EccPerBlock = {0,  10, 16, 26, 18, 24, 16, 18, 22, 22, 26, 30, 22, 22,
                                                         24, 24, 28, 28, 26, 26, 26, 26, 28, 28, 28, 28, 28, 28,
                                                         28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28};
constexpr std::array<int, MaxVersion + 1> BlockCount = {0,  1,  1,  1,  2,  2,  4,  4,  4,  5,  5,  5,  8,  9,
                                                        9,  10, 10, 11, 13, 14, 16, 17, 17, 18, 20, 21, 23, 25,
                                                        26, 28, 29, 31, 33, 35, 37, 38, 40, 43, 45, 47, 49};

// Level M's two bits in the format information, and the pattern the format and version bits are
// spread with (so that no code shows all light format bits).
constexpr unsigned LevelMBits = 0b00;
constexpr unsigned FormatXor = 0x5412;

constexpr int SideOf(int version)
{
    return 17 + 4 * version;
}

constexpr int AlignmentsPerSide(int version)
{
    return version == 1 ? 0 : version / 7 + 2;
}

// The modules left for codewords: all but the finders with their separators, the timing lines, the
// alignment patterns (those on a timing line share five modules with it), the format information
// twice with the dark module, and the version information twice from version 7.
constexpr int CodewordModules(int version)
{
    const int side = SideOf(version);
    const int alignments = AlignmentsPerSide(version);
    int modules = side * side - 3 * 64 - 2 * (side - 16) - (2 * 15 + 1);
    if (alignments > 0)
        modules -= 25 * (alignments * alignments - 3) - 2 * 5 * (alignments - 2);
    if (version >= 7)
        modules -= 2 * 18;
    return modules;
}

constexpr int TotalCodewords(int version)
{
    return CodewordModules(version) / 8; // the few modules left over stay light
}

constexpr int DataCodewords(int version)
{
    return TotalCodewords(version) -
        EccPerBlock[static_cast<std::size_t>(version)] * BlockCount[static_cast<std::size_t>(version)];
}

constexpr int CountBits(int version)
{
    return version < 10 ? 8 : 16;
}

constexpr bool Holds(int version, std::size_t bytes)
{
    return static_cast<std::size_t>(4 + CountBits(version)) + 8 * bytes <=
        8 * static_cast<std::size_t>(DataCodewords(version));
}

static_assert(DataCodewords(1) == 16 && DataCodewords(10) == 216 && DataCodewords(40) == 2334);
static_assert(!Holds(MaxVersion, MaxQrBytes + 1) && Holds(MaxVersion, MaxQrBytes));

// GF(256) over x^8 + x^4 + x^3 + x^2 + 1 (0x11D), the field of the code's Reed–Solomon codewords.
std::uint8_t Multiply(std::uint8_t a, std::uint8_t b)
{
    unsigned product = 0;
    for (int bit = 7; bit >= 0; --bit) {
        product <<= 1;
        if ((product & 0x100U) != 0)
            product ^= 0x11DU;
        if (((unsigned{b} >> bit) & 1U) != 0)
            product ^= a;
    }
    return static_cast<std::uint8_t>(product);
}

using TCodewords = std::vector<std::uint8_t>;

// (x - α^0)(x - α^1)…(x - α^(degree-1)) with α = 2, highest power first.
TCodewords Generator(int degree)
{
    TCodewords polynomial{1};
    std::uint8_t root = 1;
    for (int i = 0; i < degree; ++i) {
        TCodewords next(polynomial.size() + 1, 0);
        for (std::size_t j = 0; j < polynomial.size(); ++j) {
            next[j] ^= polynomial[j];
            next[j + 1] ^= Multiply(polynomial[j], root);
        }
        polynomial = std::move(next);
        root = Multiply(root, 2);
    }
    return polynomial;
}

// The block's error correction codewords: the remainder of data × x^degree by the generator.
TCodewords Remainder(const TCodewords& data, const TCodewords& generator)
{
    TCodewords remainder(generator.size() - 1, 0);
    for (const std::uint8_t codeword : data) {
        const std::uint8_t factor = codeword ^ remainder.front();
        remainder.erase(remainder.begin());
        remainder.push_back(0);
        for (std::size_t j = 0; j < remainder.size(); ++j)
            remainder[j] ^= Multiply(generator[j + 1], factor);
    }
    return remainder;
}

// The data codewords: byte mode, the count, the bytes, the terminator and the pad codewords.
TCodewords DataOf(std::string_view bytes, int version)
{
    std::vector<bool> bits;
    const auto put = [&bits](unsigned value, int count) {
        for (int bit = count - 1; bit >= 0; --bit)
            bits.push_back(((value >> bit) & 1U) != 0);
    };
    put(0b0100, 4);
    put(static_cast<unsigned>(bytes.size()), CountBits(version));
    for (const char byte : bytes)
        put(static_cast<unsigned char>(byte), 8);
    const std::size_t capacity = 8 * static_cast<std::size_t>(DataCodewords(version));
    for (int i = 0; i < 4 && bits.size() < capacity; ++i)
        bits.push_back(false);
    while (bits.size() % 8 != 0)
        bits.push_back(false);
    TCodewords data;
    for (std::size_t i = 0; i < bits.size(); i += 8) {
        unsigned byte = 0;
        for (std::size_t j = 0; j < 8; ++j)
            byte = (byte << 1) | (bits[i + j] ? 1U : 0U);
        data.push_back(static_cast<std::uint8_t>(byte));
    }
    for (bool first = true; data.size() < capacity / 8; first = !first)
        data.push_back(first ? 0xEC : 0x11);
    return data;
}

// The codewords in the order they are placed: the data split into blocks (the last blocks one
// codeword longer), each block's error correction computed, then both taken a codeword from each
// block in turn, so that a smudge spreads its damage over all the blocks.
TCodewords Interleaved(const TCodewords& data, int version)
{
    const auto blocks = static_cast<std::size_t>(BlockCount[static_cast<std::size_t>(version)]);
    const int ecc = EccPerBlock[static_cast<std::size_t>(version)];
    const auto total = static_cast<std::size_t>(TotalCodewords(version));
    const std::size_t shortBlocks = blocks - total % blocks;
    const std::size_t shortData = total / blocks - static_cast<std::size_t>(ecc);
    const TCodewords generator = Generator(ecc);
    std::vector<TCodewords> dataBlocks;
    std::vector<TCodewords> eccBlocks;
    auto next = data.begin();
    for (std::size_t b = 0; b < blocks; ++b) {
        const auto length = static_cast<std::ptrdiff_t>(shortData + (b < shortBlocks ? 0 : 1));
        dataBlocks.emplace_back(next, next + length);
        next += length;
        eccBlocks.push_back(Remainder(dataBlocks.back(), generator));
    }
    TCodewords placed;
    for (std::size_t i = 0; i <= shortData; ++i)
        for (const TCodewords& block : dataBlocks)
            if (i < block.size())
                placed.push_back(block[i]);
    for (std::size_t i = 0; i < static_cast<std::size_t>(ecc); ++i)
        for (const TCodewords& block : eccBlocks)
            placed.push_back(block[i]);
    return placed;
}

// The BCH codes of the format information (15, 5) and of the version information (18, 6).
unsigned BchCode(unsigned data, int checkBits, unsigned generator)
{
    unsigned remainder = data;
    for (int i = 0; i < checkBits; ++i) {
        remainder <<= 1;
        if (((remainder >> checkBits) & 1U) != 0)
            remainder ^= generator;
    }
    return (data << checkBits) | remainder;
}

unsigned FormatBits(int mask)
{
    return BchCode((LevelMBits << 3) | static_cast<unsigned>(mask), 10, 0x537) ^ FormatXor;
}

bool MaskInverts(int mask, int x, int y)
{
    switch (mask) {
    case 0:
        return (x + y) % 2 == 0;
    case 1:
        return y % 2 == 0;
    case 2:
        return x % 3 == 0;
    case 3:
        return (x + y) % 3 == 0;
    case 4:
        return (y / 2 + x / 3) % 2 == 0;
    case 5:
        return (x * y) % 2 + (x * y) % 3 == 0;
    case 6:
        return ((x * y) % 2 + (x * y) % 3) % 2 == 0;
    default:
        return ((x + y) % 2 + (x * y) % 3) % 2 == 0;
    }
}

// A code being built: its modules by column x and row y, and which of them the patterns hold.
class TSymbol
{
public:
    explicit TSymbol(int version)
        : Side(SideOf(version))
        , Dark(static_cast<std::size_t>(Side * Side), false)
        , Fixed(static_cast<std::size_t>(Side * Side), false)
    {
        for (int i = 0; i < Side; ++i) {
            SetFixed(6, i, i % 2 == 0);
            SetFixed(i, 6, i % 2 == 0);
        }
        DrawFinder(3, 3);
        DrawFinder(Side - 4, 3);
        DrawFinder(3, Side - 4);
        DrawAlignments(version);
        DrawFormat(0); // holds the format modules until the mask is chosen
        SetFixed(8, Side - 8, true);
        if (version >= 7)
            DrawVersion(version);
    }

    bool IsDark(int x, int y) const { return Dark[Index(x, y)]; }

    // The codewords' bits in two-module columns from the bottom right, up and down in turn, past the
    // vertical timing line; modules beyond the last codeword stay light.
    void Place(const TCodewords& codewords)
    {
        const std::size_t bitCount = 8 * codewords.size();
        std::size_t bit = 0;
        for (int right = Side - 1; right >= 1; right -= 2) {
            if (right == 6)
                right = 5;
            const bool upward = ((right + 1) & 2) == 0;
            for (int step = 0; step < Side; ++step) {
                const int y = upward ? Side - 1 - step : step;
                for (int x = right; x >= right - 1; --x) {
                    if (Fixed[Index(x, y)])
                        continue;
                    Dark[Index(x, y)] = bit < bitCount && ((unsigned{codewords[bit / 8]} >> (7 - bit % 8)) & 1U) != 0;
                    ++bit;
                }
            }
        }
    }

    void ApplyMask(int mask)
    {
        for (int y = 0; y < Side; ++y)
            for (int x = 0; x < Side; ++x)
                if (!Fixed[Index(x, y)] && MaskInverts(mask, x, y))
                    Dark[Index(x, y)] = !Dark[Index(x, y)];
        DrawFormat(mask);
    }

    // How hard the code is to read: long runs, blocks of one colour, finder look-alikes and an
    // uneven share of dark modules each cost; the mask of the lowest cost is taken.
    int Penalty() const
    {
        int penalty = 0;
        for (int line = 0; line < Side; ++line) {
            penalty += LinePenalty([&](int k) { return IsDark(k, line); });
            penalty += LinePenalty([&](int k) { return IsDark(line, k); });
        }
        int darkCount = 0;
        for (int y = 0; y < Side; ++y)
            for (int x = 0; x < Side; ++x) {
                darkCount += IsDark(x, y) ? 1 : 0;
                if (x + 1 < Side && y + 1 < Side && IsDark(x, y) == IsDark(x + 1, y) &&
                    IsDark(x, y) == IsDark(x, y + 1) && IsDark(x, y) == IsDark(x + 1, y + 1))
                    penalty += 3;
            }
        const int all = Side * Side;
        penalty += 10 * (std::abs(darkCount * 20 - all * 10) / all); // 10 for each 5 % away from half
        return penalty;
    }

    TQrMatrix Matrix() const
    {
        TQrMatrix matrix(static_cast<std::size_t>(Side), std::vector<bool>(static_cast<std::size_t>(Side)));
        for (int y = 0; y < Side; ++y)
            for (int x = 0; x < Side; ++x)
                matrix[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = IsDark(x, y);
        return matrix;
    }

private:
    std::size_t Index(int x, int y) const
    {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(Side) + static_cast<std::size_t>(x);
    }

    void SetFixed(int x, int y, bool dark)
    {
        Dark[Index(x, y)] = dark;
        Fixed[Index(x, y)] = true;
    }

    // The 7×7 finder with its light separator, cut off at the code's edge.
    void DrawFinder(int centreX, int centreY)
    {
        for (int dy = -4; dy <= 4; ++dy)
            for (int dx = -4; dx <= 4; ++dx) {
                const int x = centreX + dx;
                const int y = centreY + dy;
                const int ring = std::max(std::abs(dx), std::abs(dy));
                if (x >= 0 && x < Side && y >= 0 && y < Side)
                    SetFixed(x, y, ring != 2 && ring != 4);
            }
    }

    // Evenly spaced from row and column 6 to the far side's 7th module, the spacing even and
    // rounded up (version 32 alone rounds differently); none where a finder is.
    void DrawAlignments(int version)
    {
        const int count = AlignmentsPerSide(version);
        if (count == 0)
            return;
        const int step = version == 32 ? 26 : (version * 4 + count * 2 + 1) / (count * 2 - 2) * 2;
        std::vector<int> centres{6};
        for (int i = count - 1; i >= 1; --i)
            centres.push_back(Side - 7 - (i - 1) * step);
        const int last = Side - 7;
        for (const int cy : centres)
            for (const int cx : centres) {
                if ((cx == 6 && cy == 6) || (cx == 6 && cy == last) || (cx == last && cy == 6))
                    continue;
                for (int dy = -2; dy <= 2; ++dy)
                    for (int dx = -2; dx <= 2; ++dx)
                        SetFixed(cx + dx, cy + dy, std::max(std::abs(dx), std::abs(dy)) != 1);
            }
    }

    // Bit 0 is the least significant: one copy around the top-left finder, past the timing lines,
    // the other split between the bottom-left and top-right finders.
    void DrawFormat(int mask)
    {
        const unsigned bits = FormatBits(mask);
        const auto bit = [bits](int i) { return ((bits >> i) & 1U) != 0; };
        for (int i = 0; i <= 5; ++i)
            SetFixed(8, i, bit(i));
        SetFixed(8, 7, bit(6));
        SetFixed(8, 8, bit(7));
        SetFixed(7, 8, bit(8));
        for (int i = 9; i < 15; ++i)
            SetFixed(14 - i, 8, bit(i));
        for (int i = 0; i < 8; ++i)
            SetFixed(Side - 1 - i, 8, bit(i));
        for (int i = 8; i < 15; ++i)
            SetFixed(8, Side - 15 + i, bit(i));
    }

    // 6×3 blocks beside the bottom-left finder and (mirrored) the top-right one.
    void DrawVersion(int version)
    {
        const unsigned bits = BchCode(static_cast<unsigned>(version), 12, 0x1F25);
        for (int i = 0; i < 18; ++i) {
            const bool dark = ((bits >> i) & 1U) != 0;
            const int across = Side - 11 + i % 3;
            const int along = i / 3;
            SetFixed(across, along, dark);
            SetFixed(along, across, dark);
        }
    }

    // Runs of five or more modules of one colour (3, and 1 for each module more), and the finder's
    // 1:1:3:1:1 with four light modules on either side (40; beyond the edge is the light quiet zone).
    template <typename TAt>
    int LinePenalty(const TAt& at) const
    {
        int penalty = 0;
        int run = 1;
        for (int k = 1; k <= Side; ++k) {
            if (k < Side && at(k) == at(k - 1)) {
                ++run;
                continue;
            }
            if (run >= 5)
                penalty += run - 2;
            run = 1;
        }
        const auto light = [&](int from, int to) {
            for (int k = from; k < to; ++k)
                if (k >= 0 && k < Side && at(k))
                    return false;
            return true;
        };
        for (int k = 0; k + 7 <= Side; ++k)
            if (at(k) && !at(k + 1) && at(k + 2) && at(k + 3) && at(k + 4) && !at(k + 5) && at(k + 6) &&
                (light(k - 4, k) || light(k + 7, k + 11)))
                penalty += 40;
        return penalty;
    }

    int Side;
    std::vector<bool> Dark;
    std::vector<bool> Fixed;
};

} // namespace

TQrMatrix EncodeQr(std::string_view bytes)
{
    int version = MinVersion;
    while (version <= MaxVersion && !Holds(version, bytes.size()))
        ++version;
    if (version > MaxVersion)
        return {};
    TSymbol symbol(version);
    symbol.Place(Interleaved(DataOf(bytes, version), version));
    int bestMask = 0;
    int bestPenalty = std::numeric_limits<int>::max();
    for (int mask = 0; mask < 8; ++mask) {
        TSymbol masked = symbol;
        masked.ApplyMask(mask);
        const int penalty = masked.Penalty();
        if (penalty < bestPenalty) {
            bestPenalty = penalty;
            bestMask = mask;
        }
    }
    symbol.ApplyMask(bestMask);
    return symbol.Matrix();
}

} // namespace qr
