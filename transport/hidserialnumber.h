#pragma once

#include <QString>

// Some HID stacks (the Windows HID class driver among them) answer the
// serial-number query of a device that has no serial number with the
// device's string at index 0, its list of language IDs. A backend on such a
// stack asks for both and lets this tell them apart.
//
// `serial` holds the answer to the serial-number query, `index0` the answer
// to the query of the string at index 0; each is `units` UTF-16 units long,
// `index0` filled with 0xFFFF before its query, so that what the device wrote
// shows. Returns the serial number, up to its first zero unit, or an empty
// string when the device has none: when the serial number starts with the
// whole index-0 string, or when the device wrote nothing at index 0.
QString serialNumberBesideIndex0(const char16_t *serial, const char16_t *index0, int units);
