#include "transport/hidserialnumber.h"

#include <algorithm>

QString serialNumberBesideIndex0(const char16_t *serial, const char16_t *index0, int units)
{
    // The index-0 string's length: the units the device wrote, up to a zero
    // that ends it.
    int length = 0;
    for (int k = units - 1; k >= 0; --k) {
        if (index0[k] != 0xFFFF) {
            length = index0[k] == 0 ? k : k + 1;
            break;
        }
    }
    if (length == 0 || std::equal(serial, serial + length, index0))
        return {};
    const char16_t *end = std::find(serial, serial + units, char16_t(0));
    return QString::fromUtf16(serial, end - serial);
}
