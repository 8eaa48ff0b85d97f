#include "shared/optionparser.h"

namespace {

const QString EndOfOptions = QStringLiteral("--");

bool looksLikeOption(const QString &argument)
{
    return argument.size() > 1 && argument.startsWith(u'-');
}

// "--port=COM2" -> "port"; "-h" -> "h".
QString optionName(const QString &argument)
{
    const qsizetype dashes = argument.startsWith(EndOfOptions) ? 2 : 1;
    return argument.mid(dashes).section(u'=', 0, 0);
}

// The option as the user typed it, without its value.
QString typedOption(const QString &argument)
{
    return argument.section(u'=', 0, 0);
}

} // namespace

OptionParser::OptionParser(const QString &helpCommand)
    : m_helpCommand(helpCommand)
{
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
}

void OptionParser::addFlag(const QStringList &names)
{
    m_parser.addOption(QCommandLineOption(names));
    m_flags += names;
}

void OptionParser::addValueOption(const QStringList &names, const QString &missingValue)
{
    m_parser.addOption(QCommandLineOption(names, QString(), QStringLiteral("value")));
    for (const QString &name : names)
        m_missingValue.insert(name, missingValue);
    m_singleValueOptions << names.first();
}

void OptionParser::addOptionalValueOption(const QString &name)
{
    m_parser.addOption(QCommandLineOption(name));
    m_optionalValueOptions << name;
}

void OptionParser::addPassedOption(const QString &name, bool hasValue)
{
    QCommandLineOption option(name);
    if (hasValue) {
        option.setValueName(QStringLiteral("value"));
        m_missingValue.insert(name, QStringLiteral("-%1 needs a value").arg(name));
    } else {
        m_flags << name;
    }
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    m_parser.addOption(option);
}

void OptionParser::stopAtFirstArgument()
{
    m_parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    m_stopAtFirstArgument = true;
}

bool OptionParser::parse(const QStringList &arguments)
{
    m_optionalValues.clear();
    m_repeatedOptionalValue.clear();
    m_error.clear();
    const QStringList plain = takeOptionalValues(arguments);
    // QCommandLineParser takes the first argument for the program's name.
    if (!m_parser.parse(QStringList{QString()} + plain)) {
        m_error = describeFailure(plain);
        return false;
    }
    if (const QString repeated = repeatedOption(); !repeated.isEmpty()) {
        m_error = QStringLiteral("%1 is given more than once").arg(repeated);
        return false;
    }
    return true;
}

// Where the options end: at "--", or at the first argument when that ends them.
qsizetype OptionParser::endOfOptions(const QStringList &arguments) const
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == EndOfOptions || (m_stopAtFirstArgument && !looksLikeOption(argument)))
            return i;
        // A value option's value is no argument of its own.
        if (!argument.contains(u'=') && m_missingValue.contains(optionName(argument)))
            ++i;
    }
    return arguments.size();
}

// Takes the values of the options whose value may be left out, and leaves
// those options as plain flags for QCommandLineParser.
QStringList OptionParser::takeOptionalValues(const QStringList &arguments)
{
    QStringList plain;
    const qsizetype end = endOfOptions(arguments);
    for (qsizetype i = 0; i < end; ++i) {
        const QString &argument = arguments.at(i);
        const QString name = looksLikeOption(argument) ? optionName(argument) : QString();
        if (!m_optionalValueOptions.contains(name)) {
            plain << argument;
            continue;
        }
        if (m_optionalValues.contains(name) && m_repeatedOptionalValue.isEmpty())
            m_repeatedOptionalValue = EndOfOptions + name;
        QString value;
        if (argument.contains(u'='))
            value = argument.section(u'=', 1);
        else if (i + 1 < arguments.size() && !arguments.at(i + 1).startsWith(u'-'))
            value = arguments.at(++i);
        m_optionalValues.insert(name, value);
        plain << EndOfOptions + name;
    }
    return plain + arguments.mid(end);
}

// The first value option given twice.
QString OptionParser::repeatedOption() const
{
    if (!m_repeatedOptionalValue.isEmpty())
        return m_repeatedOptionalValue;
    for (const QString &name : m_singleValueOptions) {
        if (m_parser.values(name).size() > 1)
            return EndOfOptions + name;
    }
    return {};
}

QString OptionParser::describeFailure(const QStringList &arguments) const
{
    const QStringList unknown = m_parser.unknownOptionNames();
    const qsizetype end = endOfOptions(arguments);
    for (qsizetype i = 0; i < end; ++i) {
        const QString &argument = arguments.at(i);
        if (!looksLikeOption(argument))
            continue;
        const QString name = optionName(argument);
        if (unknown.contains(name))
            return QStringLiteral("unknown option %1 (see %2)").arg(typedOption(argument), m_helpCommand);
        if (m_flags.contains(name) && argument.contains(u'='))
            return QStringLiteral("%1 takes no value").arg(typedOption(argument));
        // A value option takes the next argument whatever it is, so only the
        // last one can lack its value.
        if (m_missingValue.contains(name) && !argument.contains(u'=') && i + 1 == arguments.size())
            return m_missingValue.value(name);
        if (m_missingValue.contains(name) && !argument.contains(u'='))
            ++i;
    }
    return m_parser.errorText();
}

bool OptionParser::isSet(const QString &name) const
{
    if (m_optionalValueOptions.contains(name))
        return m_optionalValues.contains(name);
    return m_parser.isSet(name);
}

QString OptionParser::value(const QString &name) const
{
    if (m_optionalValueOptions.contains(name))
        return m_optionalValues.value(name);
    return m_parser.value(name);
}
