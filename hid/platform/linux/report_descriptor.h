// Report lengths from a HID report descriptor, as the layer above counts them: the largest report
// of each kind in bytes, report id byte included (for a device that does not number its reports
// the layer puts an id byte 0 in front, so it is counted as well).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace hidplatform {

struct ReportLayout
{
    std::uint16_t InputReportByteLength = 0; // 0 when the device has no input report
    std::uint16_t OutputReportByteLength = 0;
    std::uint16_t FeatureReportByteLength = 0;
    bool NumberedReports = false; // the descriptor assigns report ids
};

struct DescriptorParseResult
{
    bool Ok = false;
    std::string Error;           // what was wrong, when not Ok
    std::size_t ErrorOffset = 0; // byte offset of the offending item
    ReportLayout Layout;
};

// Never reads outside [data, data + size); a malformed or truncated descriptor gives Ok false.
DescriptorParseResult ParseReportDescriptor(const std::uint8_t* data, std::size_t size);

} // namespace hidplatform
