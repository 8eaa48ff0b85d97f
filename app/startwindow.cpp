#include "app/startwindow.h"

#include "app/commandline.h"
#include "app/mainwindow.h"
#include "session/metersession.h"
#include "transport/comportnames.h"

void applyStartOptions(MainWindow &window, const StartOptions &options)
{
    if (!options.logFile.isEmpty())
        window.openLogFile(options.logFile);

    if (!options.serialPort.isEmpty()) {
        // COMn is picked with the port button, so that it shows the port; a
        // device path has no button text and goes to the session directly.
        if (comPortNumber(options.serialPort)) {
            for (int step = 0; step < 4 && window.session().serialPort() != options.serialPort; ++step)
                window.selectNextPort();
        } else {
            window.session().setSerialPort(options.serialPort);
        }
        window.setComLink(true);
    } else if (options.usb) {
        // The window follows the session's link state and failures.
        window.session().connectUsb(options.usbDevicePath);
    }
}
