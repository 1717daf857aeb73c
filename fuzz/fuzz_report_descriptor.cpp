// The report-descriptor parser on any bytes, against a plain reference written here: the items
// listed first, then the global state and the bits of every (kind, report id) summed. The parser
// must agree on whether the descriptor is sound and on every length; the lengths must fit what the
// descriptor declares, and the read framing built on them must stay inside the report.
#include "hid/platform/linux/report_descriptor.h"
#include "hid/platform/linux/report_framing.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

using namespace hidplatform;

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_report_descriptor: %s\n", what);
        std::abort();
    }
}

struct TItem
{
    std::size_t Offset;
    bool Long;
    unsigned Type;
    unsigned Tag;
    std::uint32_t Value;
};

struct TReference
{
    bool Ok = false;
    std::size_t ErrorOffset = 0;
    std::uint32_t Lengths[3] = {0, 0, 0};
    bool Numbered = false;
    std::uint64_t DeclaredBits[3] = {0, 0, 0}; // every main item of the kind, all ids together
};

// The descriptor cut into its items; an item cut short ends the list as an item of type 99.
std::vector<TItem> SplitItems(const std::uint8_t* data, std::size_t size)
{
    std::vector<TItem> items;
    std::size_t pos = 0;
    while (pos < size) {
        TItem item{pos, false, 0, 0, 0};
        if (data[pos] == 0xFE) {
            if (pos + 3 > size || pos + 3 + data[pos + 1] > size) {
                items.push_back({pos, true, 99, 0, 0}); // marks the truncation
                break;
            }
            item.Long = true;
            pos += 3 + data[pos + 1];
            items.push_back(item);
            continue;
        }
        const unsigned code = data[pos] & 3;
        const std::size_t n = code == 3 ? 4 : code;
        if (pos + 1 + n > size) {
            items.push_back({pos, true, 99, 0, 0});
            break;
        }
        item.Type = (data[pos] >> 2) & 3;
        item.Tag = data[pos] >> 4;
        for (std::size_t i = 0; i < n; ++i)
            item.Value |= std::uint32_t{data[pos + 1 + i]} << (8 * i);
        pos += 1 + n;
        items.push_back(item);
    }
    return items;
}

using TBitsById = std::map<std::pair<int, std::uint64_t>, std::uint64_t>;

// The bits each kind of main item declares for each report id, by the globals in force at it
// (r.DeclaredBits all ids together, r.Numbered); false where the descriptor is refused, with
// r.ErrorOffset at the item that refused it (the end for collections left open).
bool AddUpItems(const std::vector<TItem>& items, std::size_t size, TReference& r, TBitsById& bits)
{
    struct TGlobals
    {
        std::uint64_t Size = 0, Count = 0, Id = 0;
    } globals;
    std::vector<TGlobals> stack;
    int depth = 0;
    const std::uint64_t limit = (0xFFFFull - 1) * 8;
    for (const TItem& item : items) {
        r.ErrorOffset = item.Offset;
        if (item.Type == 99)
            return false;
        if (item.Long)
            continue;
        if (item.Type == 1) {
            if (item.Tag == 7)
                globals.Size = item.Value;
            if (item.Tag == 9)
                globals.Count = item.Value;
            if (item.Tag == 8) {
                if (item.Value < 1 || item.Value > 255)
                    return false;
                globals.Id = item.Value;
                r.Numbered = true;
            }
            if (item.Tag == 10) {
                if (stack.size() == 32)
                    return false;
                stack.push_back(globals);
            }
            if (item.Tag == 11) {
                if (stack.empty())
                    return false;
                globals = stack.back();
                stack.pop_back();
            }
        } else if (item.Type == 0) {
            if (item.Tag == 0xA)
                ++depth;
            if (item.Tag == 0xC && --depth < 0)
                return false;
            const int kind = item.Tag == 8 ? 0 : item.Tag == 9 ? 1 : item.Tag == 0xB ? 2 : -1;
            if (kind >= 0) {
                const std::uint64_t add = globals.Size * globals.Count;
                std::uint64_t& sum = bits[{kind, globals.Id}];
                if (add > limit || sum + add > limit)
                    return false;
                sum += add;
                r.DeclaredBits[kind] += add;
            }
        }
    }
    r.ErrorOffset = size;
    return depth == 0;
}

TReference Reference(const std::uint8_t* data, std::size_t size)
{
    TReference r;
    TBitsById bits;
    if (!AddUpItems(SplitItems(data, size), size, r, bits))
        return r;
    r.Ok = true;
    for (const auto& [key, sum] : bits) {
        const std::uint32_t length = static_cast<std::uint32_t>((sum + 7) / 8 + 1);
        if (length > r.Lengths[key.first])
            r.Lengths[key.first] = length;
    }
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // An exact copy, so that any read past the end is caught even for a zero-length input.
    std::vector<std::uint8_t> copy(data, data + size);
    const DescriptorParseResult result = ParseReportDescriptor(copy.empty() ? nullptr : copy.data(), copy.size());
    const TReference expected = Reference(data, size);

    Require(result.Ok == expected.Ok, "soundness differs from the reference");
    if (!result.Ok) {
        Require(!result.Error.empty(), "failure without a reason");
        Require(result.ErrorOffset == expected.ErrorOffset, "failure at another offset");
        Require(result.ErrorOffset <= size, "failure offset beyond the descriptor");
        return 0;
    }
    const ReportLayout& layout = result.Layout;
    const std::uint16_t lengths[3] = {layout.InputReportByteLength, layout.OutputReportByteLength,
                                      layout.FeatureReportByteLength};
    Require(layout.NumberedReports == expected.Numbered, "numbering differs from the reference");
    for (int kind = 0; kind < 3; ++kind) {
        Require(lengths[kind] == expected.Lengths[kind], "report length differs from the reference");
        // Never more data bytes than all items of the kind declare, and never a partial id byte.
        if (lengths[kind] > 0)
            Require(std::uint64_t(lengths[kind] - 1) * 8 < expected.DeclaredBits[kind] + 8,
                    "length beyond the declared bits");
    }

    // The reads built on the input length stay within it.
    for (const bool numbered : {layout.NumberedReports, !layout.NumberedReports}) {
        ReadFrame frame;
        const std::size_t length = layout.InputReportByteLength;
        if (!FrameRead(numbered, length, frame)) {
            Require(length <= (numbered ? 0u : 1u), "a usable buffer refused");
            continue;
        }
        Require(frame.Offset + frame.Capacity == length, "frame does not fill the buffer");
        Require(frame.Offset == (numbered ? 0u : 1u), "frame offset wrong");
        for (const std::size_t got :
             {std::size_t{0}, std::size_t{1}, frame.Capacity, frame.Capacity + 1, std::size_t{4096}}) {
            const std::uint32_t framed = FramedReadSize(frame, got);
            Require(framed <= length, "framed read longer than the buffer");
            Require(got == 0 ? framed == 0 : framed >= frame.Offset + 1, "framed read size wrong");
        }
    }
    return 0;
}
