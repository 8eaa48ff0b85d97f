// qm320-cli on Windows reads and writes its standard streams as bytes, as
// on Linux: the meter's frames end in CR LF and may hold byte 0x1A, which a
// text-mode standard input would turn into LF and an end of file, and its
// JSON lines and messages end in LF alone, so that the output is the same
// on both systems. Runs when the application object is made, before any
// command reads or writes.

#include <QCoreApplication>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

namespace {

void useBinaryStandardStreams()
{
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(useBinaryStandardStreams)
