#include "app/startwindow.h"

#include "app/commandline.h"
#include "app/logfilecommands.h"
#include "app/mainwindow.h"
#include "session/metersession.h"

void applyStartOptions(MainWindow &window, const StartOptions &options)
{
    if (!options.brokerAddress.isEmpty())
        window.publishTo(options.brokerAddress);
    if (!options.logFile.isEmpty())
        window.fileCommands().openLogFile(options.logFile);

    if (!options.serialPort.isEmpty()) {
        window.selectPort(options.serialPort);
        window.setComLink(true);
    } else if (options.usb) {
        // The window follows the session's link state and failures.
        window.session().connectUsb(options.usbDevicePath);
    }
}
