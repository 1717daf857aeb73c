#include "hid/platform/linux/report_descriptor.h"

#include <map>
#include <optional>
#include <string>
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

// What the parse keeps from item to item.
struct ParseState
{
    GlobalState Global;
    std::vector<GlobalState> Stack;
    int CollectionDepth = 0;
    bool Numbered = false;
    // Bits per (kind, report id); an entry exists once a main item of that kind was declared.
    std::map<std::pair<int, std::uint32_t>, std::uint64_t> ReportBits;
};

struct ShortItem
{
    unsigned Type = 0;
    unsigned Tag = 0;
    std::uint32_t Value = 0;
};

// Reads the item at `pos` and moves `pos` past it. A long item leaves `item` empty: it carries no
// report layout. The failure when the item is cut short.
std::optional<DescriptorParseResult> ReadItem(const std::uint8_t* data, std::size_t size, std::size_t& pos,
                                              std::optional<ShortItem>& item)
{
    const std::size_t itemOffset = pos;
    const std::uint8_t prefix = data[pos];
    item.reset();
    if (prefix == LongItemPrefix) {
        if (size - pos < 3)
            return Fail(itemOffset, "truncated long item");
        const std::size_t dataSize = data[pos + 1];
        if (size - pos - 3 < dataSize)
            return Fail(itemOffset, "truncated long item");
        pos += 3 + dataSize;
        return std::nullopt;
    }

    const unsigned sizeCode = prefix & 0x3u;
    const std::size_t dataSize = sizeCode == 3 ? 4 : sizeCode;
    if (size - pos - 1 < dataSize)
        return Fail(itemOffset, "truncated item");
    ShortItem read;
    read.Type = (prefix >> 2) & 0x3u;
    read.Tag = prefix >> 4;
    for (std::size_t i = 0; i < dataSize; ++i)
        read.Value |= static_cast<std::uint32_t>(data[pos + 1 + i]) << (8 * i);
    pos += 1 + dataSize;
    item = read;
    return std::nullopt;
}

std::optional<DescriptorParseResult> ApplyGlobalItem(ParseState& state, const ShortItem& item, std::size_t offset)
{
    switch (item.Tag) {
    case GlobalReportSize:
        state.Global.ReportSize = item.Value;
        break;
    case GlobalReportCount:
        state.Global.ReportCount = item.Value;
        break;
    case GlobalReportId:
        if (item.Value == 0 || item.Value > 255)
            return Fail(offset, "invalid report id " + std::to_string(item.Value));
        state.Global.ReportId = item.Value;
        state.Numbered = true;
        break;
    case GlobalPush:
        if (state.Stack.size() >= MaxGlobalStack)
            return Fail(offset, "global item stack overflow");
        state.Stack.push_back(state.Global);
        break;
    case GlobalPop:
        if (state.Stack.empty())
            return Fail(offset, "pop without push");
        state.Global = state.Stack.back();
        state.Stack.pop_back();
        break;
    default:
        break;
    }
    return std::nullopt;
}

// The kind of report a main item declares data of, -1 for the other main items.
int ReportKind(unsigned mainTag)
{
    switch (mainTag) {
    case MainInput:
        return KindInput;
    case MainOutput:
        return KindOutput;
    case MainFeature:
        return KindFeature;
    default:
        return -1;
    }
}

std::optional<DescriptorParseResult> ApplyMainItem(ParseState& state, const ShortItem& item, std::size_t offset)
{
    if (item.Tag == MainCollection) {
        ++state.CollectionDepth;
    } else if (item.Tag == MainEndCollection) {
        if (state.CollectionDepth == 0)
            return Fail(offset, "end of collection without collection");
        --state.CollectionDepth;
    } else if (const int kind = ReportKind(item.Tag); kind >= 0) {
        const std::uint64_t itemBits = static_cast<std::uint64_t>(state.Global.ReportSize) * state.Global.ReportCount;
        std::uint64_t& bits = state.ReportBits[{kind, state.Global.ReportId}];
        if (itemBits > MaxReportBits || bits + itemBits > MaxReportBits)
            return Fail(offset, "report too long");
        bits += itemBits;
    }
    return std::nullopt;
}

// The longest report of each kind, in whole bytes of data plus the id byte.
DescriptorParseResult LayoutOf(const ParseState& state)
{
    DescriptorParseResult result;
    result.Ok = true;
    result.Layout.NumberedReports = state.Numbered;
    std::uint16_t* lengths[KindCount] = {&result.Layout.InputReportByteLength, &result.Layout.OutputReportByteLength,
                                         &result.Layout.FeatureReportByteLength};
    for (const auto& [key, bits] : state.ReportBits) {
        const auto length = static_cast<std::uint16_t>((bits + 7) / 8 + 1);
        std::uint16_t& longest = *lengths[key.first];
        if (length > longest)
            longest = length;
    }
    return result;
}

} // namespace

DescriptorParseResult ParseReportDescriptor(const std::uint8_t* data, std::size_t size)
{
    if (data == nullptr && size != 0)
        return Fail(0, "no descriptor data");

    ParseState state;
    std::size_t pos = 0;
    while (pos < size) {
        const std::size_t itemOffset = pos;
        std::optional<ShortItem> item;
        std::optional<DescriptorParseResult> failure = ReadItem(data, size, pos, item);
        // Local items and the reserved type say nothing about report lengths.
        if (!failure && item && item->Type == TypeGlobal)
            failure = ApplyGlobalItem(state, *item, itemOffset);
        else if (!failure && item && item->Type == TypeMain)
            failure = ApplyMainItem(state, *item, itemOffset);
        if (failure)
            return *failure;
    }

    if (state.CollectionDepth != 0)
        return Fail(size, "collection not closed");
    return LayoutOf(state);
}

} // namespace hidplatform
