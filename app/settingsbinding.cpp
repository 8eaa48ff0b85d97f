#include "app/settingsbinding.h"

#include "app/brokerpublishing.h"
#include "app/chartcontrols.h"
#include "app/logfilecommands.h"
#include "chart/chartpager.h"
#include "session/metersession.h"
#include "shared/localenumber.h"

#include "ui_mainwindow.h"

#include <QLocale>

#include <cstdio>

SettingsBinding::SettingsBinding(Ui::MainWindow &ui, QWidget &window, MeterSession &session, LogFileCommands &files,
                                 ChartControls &chart, BrokerPublishing &publishing)
    : m_ui(ui)
    , m_window(window)
    , m_session(session)
    , m_files(files)
    , m_chart(chart)
    , m_publishing(publishing)
{ }

void SettingsBinding::apply(const WindowSettings &settings)
{
    m_ui.reconnectAction->setChecked(settings.reconnect);
    const auto limitText = [this](double value) {
        return QString::number(value, 'g', QLocale::FloatingPointShortest).replace(u'.', m_session.decimalSeparator());
    };
    for (const auto &[edit, value] :
         {std::pair{m_ui.highLimitEdit, settings.highLimit}, std::pair{m_ui.lowLimitEdit, settings.lowLimit}}) {
        edit->setLastValidText(limitText(value));
        edit->setText(limitText(value));
    }
    for (std::size_t i = 0; i < RecordLimitChoices.size(); ++i) {
        if (RecordLimitChoices[i].limit == settings.recordLimit)
            m_ui.recordMenu->actions().at(int(i))->trigger();
    }
    m_ui.repeatCheck->setChecked(settings.repeat);
    m_ui.samplingIntervalEdit->setText(QString::number(settings.samplingSeconds));
    m_ui.samplingCheck->setChecked(settings.sampling);
    m_ui.fillCheck->setChecked(settings.fill);
    m_ui.pageSizeEdit->setText(QString::number(settings.pageSize));
    m_chart.applyPageSize();
    m_files.setLogFolder(settings.logFolder);
    m_chart.setPictureFolder(settings.chartFolder);
    // An address that cannot be published to (a file edited by hand, a
    // build without MQTT) is said and left off.
    QString why;
    if (!m_publishing.setAddress(settings.brokerAddress, &why))
        std::fprintf(stderr, "qm320: not publishing to %s: %s\n", qPrintable(settings.brokerAddress), qPrintable(why));
    if (settings.windowSize.isValid())
        m_window.resize(settings.windowSize.expandedTo(m_window.minimumSize()));
    m_window.setWindowState(settings.maximized ? m_window.windowState() | Qt::WindowMaximized
                                               : m_window.windowState() & ~Qt::WindowMaximized);
}

WindowSettings SettingsBinding::current() const
{
    WindowSettings settings;
    settings.port = m_session.serialPort();
    settings.reconnect = m_session.reconnects();
    // A limit being typed that is no number yet keeps the last number.
    const auto limit = [this](const QString &typed, const LimitEdit *edit, double fallback) {
        for (const QString &text : {typed, edit->lastValidText()}) {
            if (const std::optional<double> value = parseLocaleNumber(text, m_session.decimalSeparator()))
                return *value;
        }
        return fallback;
    };
    settings.highLimit = limit(m_session.highLimitText(), m_ui.highLimitEdit, settings.highLimit);
    settings.lowLimit = limit(m_session.lowLimitText(), m_ui.lowLimitEdit, settings.lowLimit);
    const ReadingLogger &logger = m_session.logger();
    settings.recordLimit = logger.recordLimit();
    settings.repeat = logger.repeat();
    settings.sampling = logger.sampling();
    settings.samplingSeconds = m_session.samplingInterval() / 1000;
    settings.fill = m_chart.fills();
    settings.pageSize = m_chart.pager().pageSize();
    settings.logFolder = m_files.logFolder();
    settings.chartFolder = m_chart.pictureFolder();
    settings.brokerAddress = m_publishing.address();
    // The size to come back to is the one before maximizing.
    settings.maximized = m_window.isMaximized();
    settings.windowSize = settings.maximized ? m_window.normalGeometry().size() : m_window.size();
    return settings;
}
