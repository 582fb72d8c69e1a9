#pragma once

// A program run as a user runs it: its arguments, what it reads on standard input, and what it
// wrote and how it ended.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

namespace quillon::test {

struct ProgramOutcome {
    int exitCode = -1; // -1 when it crashed or did not end within 30 s
    QByteArray output;
    QByteArray errors;
};

inline ProgramOutcome RunProgram(const QString& program, const QStringList& arguments, const QByteArray& input = {},
                                 const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(30000);
    const int exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return {exitCode, process.readAllStandardOutput(), process.readAllStandardError()};
}

} // namespace quillon::test
