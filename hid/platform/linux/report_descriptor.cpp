#include "hid/platform/linux/report_descriptor.h"

#include <map>
#include <utility>
#include <vector>

namespace hidplatform {

namespace {

// Item types and tags of the short item prefix.
constexpr unsigned TypeMain = 0;
constexpr unsigned TypeGlobal = 1;

constexpr unsigned MainInput = 0x8;
constexpr unsigned MainOutput = 0x9;
constexpr unsigned MainCollection = 0xA;
constexpr unsigned MainFeature = 0xB;
constexpr unsigned MainEndCollection = 0xC;

constexpr unsigned GlobalReportSize = 0x7;
constexpr unsigned GlobalReportId = 0x8;
constexpr unsigned GlobalReportCount = 0x9;
constexpr unsigned GlobalPush = 0xA;
constexpr unsigned GlobalPop = 0xB;

constexpr std::uint8_t LongItemPrefix = 0xFE;

// Deeper than any real device needs; bounds memory on hostile input.
constexpr std::size_t MaxGlobalStack = 32;
// A report length (id byte included) must fit the 16-bit length fields.
constexpr std::uint64_t MaxReportBits = (0xFFFFull - 1) * 8;

struct GlobalState
{
    std::uint32_t ReportSize = 0;
    std::uint32_t ReportCount = 0;
    std::uint32_t ReportId = 0;
};

enum Kind { KindInput, KindOutput, KindFeature, KindCount };

DescriptorParseResult Fail(std::size_t offset, std::string error)
{
    DescriptorParseResult result;
    result.Error = std::move(error);
    result.ErrorOffset = offset;
    return result;
}

} // namespace

DescriptorParseResult ParseReportDescriptor(const std::uint8_t* data, std::size_t size)
{
    if (data == nullptr && size != 0)
        return Fail(0, "no descriptor data");

    GlobalState state;
    std::vector<GlobalState> stack;
    int collectionDepth = 0;
    bool numbered = false;
    // Bits per (kind, report id); an entry exists once a main item of that kind was declared.
    std::map<std::pair<int, std::uint32_t>, std::uint64_t> reportBits;

    std::size_t pos = 0;
    while (pos < size) {
        const std::size_t itemOffset = pos;
        const std::uint8_t prefix = data[pos];

        if (prefix == LongItemPrefix) {
            // Long items carry no report layout; skip them whole.
            if (size - pos < 3)
                return Fail(itemOffset, "truncated long item");
            const std::size_t dataSize = data[pos + 1];
            if (size - pos - 3 < dataSize)
                return Fail(itemOffset, "truncated long item");
            pos += 3 + dataSize;
            continue;
        }

        const unsigned sizeCode = prefix & 0x3u;
        const std::size_t dataSize = sizeCode == 3 ? 4 : sizeCode;
        const unsigned type = (prefix >> 2) & 0x3u;
        const unsigned tag = prefix >> 4;
        if (size - pos - 1 < dataSize)
            return Fail(itemOffset, "truncated item");

        std::uint32_t value = 0;
        for (std::size_t i = 0; i < dataSize; ++i)
            value |= static_cast<std::uint32_t>(data[pos + 1 + i]) << (8 * i);
        pos += 1 + dataSize;

        if (type == TypeGlobal) {
            switch (tag) {
            case GlobalReportSize:
                state.ReportSize = value;
                break;
            case GlobalReportCount:
                state.ReportCount = value;
                break;
            case GlobalReportId:
                if (value == 0 || value > 255)
                    return Fail(itemOffset, "invalid report id " + std::to_string(value));
                state.ReportId = value;
                numbered = true;
                break;
            case GlobalPush:
                if (stack.size() >= MaxGlobalStack)
                    return Fail(itemOffset, "global item stack overflow");
                stack.push_back(state);
                break;
            case GlobalPop:
                if (stack.empty())
                    return Fail(itemOffset, "pop without push");
                state = stack.back();
                stack.pop_back();
                break;
            default:
                break;
            }
        } else if (type == TypeMain) {
            int kind = -1;
            switch (tag) {
            case MainInput:
                kind = KindInput;
                break;
            case MainOutput:
                kind = KindOutput;
                break;
            case MainFeature:
                kind = KindFeature;
                break;
            case MainCollection:
                ++collectionDepth;
                break;
            case MainEndCollection:
                if (collectionDepth == 0)
                    return Fail(itemOffset, "end of collection without collection");
                --collectionDepth;
                break;
            default:
                break;
            }
            if (kind >= 0) {
                const std::uint64_t itemBits = static_cast<std::uint64_t>(state.ReportSize) * state.ReportCount;
                std::uint64_t& bits = reportBits[{kind, state.ReportId}];
                if (itemBits > MaxReportBits || bits + itemBits > MaxReportBits)
                    return Fail(itemOffset, "report too long");
                bits += itemBits;
            }
        }
        // Local items and the reserved type say nothing about report lengths.
    }

    if (collectionDepth != 0)
        return Fail(size, "collection not closed");

    DescriptorParseResult result;
    result.Ok = true;
    result.Layout.NumberedReports = numbered;
    std::uint16_t* lengths[KindCount] = {&result.Layout.InputReportByteLength, &result.Layout.OutputReportByteLength,
                                         &result.Layout.FeatureReportByteLength};
    for (const auto& [key, bits] : reportBits) {
        // Whole bytes of data plus the id byte.
        const auto length = static_cast<std::uint16_t>((bits + 7) / 8 + 1);
        std::uint16_t& longest = *lengths[key.first];
        if (length > longest)
            longest = length;
    }
    return result;
}

} // namespace hidplatform
