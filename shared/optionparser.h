#pragma once

#include <QCommandLineParser>
#include <QHash>
#include <QString>
#include <QStringList>

// QCommandLineParser as qm320 and qm320-cli read their command lines: long
// options with one or two dashes ("-port" is "--port"), "--name=value" or
// "--name value", "--" before arguments that start with a dash, and a
// failure worded as the one line the program prints:
//
//   unknown option --fast (see qm320-cli decode --help)
//   --port needs a port name (COM1..COM4) or a device path
//   --out is given more than once
//
// An option that takes a value is given at most once: with two, which one
// the user meant is anybody's guess.
//
// It adds options whose value may be left out ("--usb" or "--usb PATH"),
// which QCommandLineParser does not know.
class OptionParser
{
public:
    // `helpCommand` is what an unknown option refers to: "qm320-cli decode --help".
    explicit OptionParser(const QString &helpCommand);

    // An option without a value: "--hid", or {"h", "help"}.
    void addFlag(const QStringList &names);
    // An option that needs a value; `missingValue` is the whole message when
    // the value is left out.
    void addValueOption(const QStringList &names, const QString &missingValue);
    // "--name" alone, "--name VALUE" or "--name=VALUE": the argument after it
    // is its value unless it starts with '-'.
    void addOptionalValueOption(const QString &name);
    // Accepted and left alone, for a library that reads them itself (Qt's
    // own "-platform NAME", "-reverse" and the like).
    void addPassedOption(const QString &name, bool hasValue);
    // Everything from the first argument that is not an option on is an
    // argument, options too: "qm320-cli --version" but "qm320-cli decode --hid".
    void stopAtFirstArgument();

    // False when the command line is wrong; errorText() says why. Options
    // seen before the fault still count, so --help can be honoured anyway.
    bool parse(const QStringList &arguments);
    QString errorText() const { return m_error; }

    bool isSet(const QString &name) const;
    QString value(const QString &name) const;
    QStringList positionalArguments() const { return m_parser.positionalArguments(); }

private:
    qsizetype endOfOptions(const QStringList &arguments) const;
    QStringList takeOptionalValues(const QStringList &arguments);
    QString describeFailure(const QStringList &arguments) const;

    QCommandLineParser m_parser;
    QString m_helpCommand;
    QString repeatedOption() const;

    QHash<QString, QString> m_missingValue; // option name -> its message
    QStringList m_singleValueOptions;       // value options of our own, given at most once
    QStringList m_flags;                    // every name of a flag
    QStringList m_optionalValueOptions;
    QHash<QString, QString> m_optionalValues; // their values as given
    QString m_repeatedOptionalValue;          // one of them given twice
    QString m_error;
    bool m_stopAtFirstArgument = false;
};
