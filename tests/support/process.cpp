#include "process.h"

#include <QFileInfo>
#include <QProcess>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Takes what a pseudo-terminal's master side holds now.
void drain(int master, QByteArray &into)
{
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got <= 0)
            return; // EAGAIN: nothing now; EIO: the other side is closed
        into.append(buffer, got);
    }
}

} // namespace

Run runProgram(const QString &program, const QStringList &arguments, const RunSetup &setup)
{
    int master = -1, slave = -1;
    if (setup.terminal) {
        termios raw{};
        cfmakeraw(&raw);
        if (openpty(&master, &slave, nullptr, &raw, nullptr) != 0)
            return {-1, {}, "openpty failed"};
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    }

    QProcess process;
    if (!setup.directory.isEmpty())
        process.setWorkingDirectory(setup.directory);
    if (!setup.unset.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString &name : setup.unset)
            environment.remove(name);
        process.setProcessEnvironment(environment);
    }
    if (!setup.inputFile.isEmpty())
        process.setStandardInputFile(setup.inputFile);
    if (!setup.outputFile.isEmpty())
        process.setStandardOutputFile(setup.outputFile, QIODevice::Append);
    const quint64 memory = setup.memoryLimit;
    process.setChildProcessModifier([memory, slave] {
        // After the standard streams are set up, before the program starts.
        if (slave >= 0)
            dup2(slave, STDOUT_FILENO);
        if (memory > 0) {
            const rlimit limit{rlim_t(memory), rlim_t(memory)};
            setrlimit(RLIMIT_AS, &limit);
        }
    });
    process.start(program, arguments);
    if (setup.inputFile.isEmpty()) {
        process.write(setup.input);
        process.closeWriteChannel();
    }
    if (slave >= 0)
        close(slave);

    QByteArray shown;
    bool ended = false;
    if (master >= 0) {
        for (int waited = 0; !ended && waited < setup.timeoutMs; waited += 20) {
            ended = process.waitForFinished(20);
            drain(master, shown);
        }
        drain(master, shown);
        close(master);
    } else {
        ended = process.waitForFinished(setup.timeoutMs);
    }
    ended = ended && process.exitStatus() == QProcess::NormalExit;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    }
    return {ended ? process.exitCode() : -1, master >= 0 ? shown : process.readAllStandardOutput(),
            process.readAllStandardError()};
}

QString narctextPath()
{
    return qEnvironmentVariable("NARCTEXT");
}

Run narctext(const QStringList &arguments, const RunSetup &setup)
{
    if (!QFileInfo(narctextPath()).isExecutable())
        return {-1, {}, "NARCTEXT must name the built binary"};
    return runProgram(narctextPath(), arguments, setup);
}
