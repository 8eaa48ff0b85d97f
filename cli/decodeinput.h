#pragma once

#include <QString>

class MeterSession;

// Feeds captured meter data to a session: the file, or standard input
// when `file` is empty or "-". Without `hid` the raw bytes of the COM link;
// with it one HID input report per text line (see hidreportfile.h). Returns
// 0, or exit code 2 after printing why the input could not be read.
int decodeInputFile(const QString &file, bool hid, MeterSession &session);
