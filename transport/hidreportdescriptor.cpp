#include "transport/hidreportdescriptor.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

namespace {

// Item prefixes with their size bits cleared (HID 1.11, 6.2.2).
enum : std::uint8_t {
    Input = 0x80,
    Output = 0x90,
    Collection = 0xA0,
    Feature = 0xB0,
    UsagePage = 0x04,
    ReportSize = 0x74,
    ReportId = 0x84,
    ReportCount = 0x94,
    Push = 0xA4,
    Pop = 0xB4,
    Usage = 0x08,
    LongItem = 0xFE,
};

struct Globals
{
    std::uint32_t usagePage = 0;
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0;
};

std::uint16_t byteLength(const std::map<std::uint32_t, std::uint64_t> &bitsById)
{
    std::uint64_t longest = 0;
    for (const auto &[id, bits] : bitsById)
        longest = std::max(longest, bits);
    if (bitsById.empty())
        return 0;
    return std::uint16_t(std::min<std::uint64_t>((longest + 7) / 8 + 1, 0xFFFF));
}

} // namespace

HidReportLayout parseHidReportDescriptor(QByteArrayView descriptor)
{
    HidReportLayout layout;
    std::map<std::uint32_t, std::uint64_t> inputBits, outputBits, featureBits;
    Globals globals;
    std::vector<Globals> stack;
    std::uint32_t usage = 0;
    bool usageSeen = false;
    bool topLevelSeen = false;
    int depth = 0;

    const auto *bytes = reinterpret_cast<const std::uint8_t *>(descriptor.data());
    const qsizetype size = descriptor.size();
    qsizetype pos = 0;
    while (pos < size) {
        const std::uint8_t prefix = bytes[pos];
        if (prefix == LongItem) {
            if (pos + 1 >= size)
                break;
            pos += 3 + bytes[pos + 1];
            continue;
        }
        const int dataSize = (prefix & 0x03) == 3 ? 4 : (prefix & 0x03);
        if (pos + 1 + dataSize > size)
            break;
        std::uint32_t value = 0;
        for (int i = 0; i < dataSize; ++i)
            value |= std::uint32_t(bytes[pos + 1 + i]) << (8 * i);
        pos += 1 + dataSize;

        switch (prefix & 0xFC) {
        case Input:
            inputBits[globals.reportId] += std::uint64_t(globals.reportSize) * globals.reportCount;
            usageSeen = false;
            break;
        case Output:
            outputBits[globals.reportId] += std::uint64_t(globals.reportSize) * globals.reportCount;
            usageSeen = false;
            break;
        case Feature:
            featureBits[globals.reportId] += std::uint64_t(globals.reportSize) * globals.reportCount;
            usageSeen = false;
            break;
        case Collection:
            if (depth == 0 && !topLevelSeen) {
                topLevelSeen = true;
                // A 4-byte usage carries its own page in the high half.
                const bool extended = usageSeen && usage > 0xFFFF;
                layout.caps.usagePage = std::uint16_t(extended ? usage >> 16 : globals.usagePage);
                layout.caps.usage = std::uint16_t(usageSeen ? usage : 0);
            }
            ++depth;
            usageSeen = false;
            break;
        case 0xC0: // End Collection
            depth = std::max(0, depth - 1);
            break;
        case UsagePage:
            globals.usagePage = value;
            break;
        case ReportSize:
            globals.reportSize = value;
            break;
        case ReportId:
            globals.reportId = value;
            layout.numberedReports = true;
            break;
        case ReportCount:
            globals.reportCount = value;
            break;
        case Push:
            stack.push_back(globals);
            break;
        case Pop:
            if (!stack.empty()) {
                globals = stack.back();
                stack.pop_back();
            }
            break;
        case Usage:
            if (!usageSeen) {
                usage = value;
                usageSeen = true;
            }
            break;
        default:
            break;
        }
    }
    layout.caps.inputReportLength = byteLength(inputBits);
    layout.caps.outputReportLength = byteLength(outputBits);
    layout.caps.featureReportLength = byteLength(featureBits);
    return layout;
}
