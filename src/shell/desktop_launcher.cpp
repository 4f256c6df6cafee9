// Started from the desktop menu, the phonebook keeps its books in a data
// folder of its own rather than in the home folder: this small program
// makes that folder (on first use), makes it the current one and starts the
// phonebook there, without a shell.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty())
        data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString folder = QDir(data).filePath(QStringLiteral("z8p-phonebook"));
    if (!QDir().mkpath(folder) || !QDir::setCurrent(folder)) {
        std::fprintf(stderr, "z8p-phonebook: cannot use the folder %s\n", qPrintable(folder));
        return 1;
    }
    const QString program = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("z8p-phonebook"));
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(program);
    ::execl(path.constData(), "z8p-phonebook", static_cast<char*>(nullptr));
    std::perror("z8p-phonebook");
    return 1;
#else
    return QProcess::startDetached(program + QStringLiteral(".exe"), {}, folder) ? 0 : 1;
#endif
}
