// Started from the desktop menu, the phonebook keeps its books in a data
// folder of its own rather than in the home folder: this small program
// makes that folder (on first use, private to the user as the XDG base
// directory rules ask), makes it the current one and starts the phonebook
// there, without a shell. Files the phonebook creates there are private too.
#include "app/InfoOptions.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// $XDG_DATA_HOME when it is an absolute path (a relative one is ignored, as
// the rules say), else ~/.local/share.
QString dataHome()
{
    const QString set = qEnvironmentVariable("XDG_DATA_HOME");
    if (!set.isEmpty() && QDir::isAbsolutePath(set))
        return set;
    return QDir::home().filePath(QStringLiteral(".local/share"));
}

// Makes the folder and any missing parent readable by the user alone.
bool makePrivateFolder(const QString& folder, QString* why)
{
#ifdef Q_OS_UNIX
    QString path;   // folder is absolute: "/a/b" is made as "/a", then "/a/b"
    for (const QString& part : QDir::cleanPath(folder).split(u'/', Qt::SkipEmptyParts)) {
        path += u'/' + part;
        const QByteArray p = QFile::encodeName(path);
        if (::mkdir(p.constData(), 0700) != 0 && errno != EEXIST) {
            *why = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
    }
    // A folder an earlier version left readable by others is made private;
    // a link in its place is not followed.
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        *why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat st;
    const bool ok = ::fstat(fd, &st) == 0 && (st.st_uid != ::geteuid() || (st.st_mode & 077) == 0 || ::fchmod(fd, 0700) == 0);
    if (!ok)
        *why = QString::fromLocal8Bit(std::strerror(errno));
    ::close(fd);
    return ok;
#else
    if (!QDir().mkpath(folder)) {
        *why = QStringLiteral("it could not be made");
        return false;
    }
    return true;
#endif
}

int cannot(const QString& folder, const QString& why)
{
    // Started from a menu, nobody reads standard error: the user is told here.
    QMessageBox::critical(nullptr, QStringLiteral("z8P Phonebook"),
                          QStringLiteral("The folder for the books, %1, could not be made or entered.\n%2")
                              .arg(QDir::toNativeSeparators(folder), why));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    static const char help[] =
        "Usage: z8p-phonebook-desktop\n"
        "       z8p-phonebook-desktop --help | --version\n"
        "\n"
        "Starts z8P Phonebook in the folder of the books started from the desktop\n"
        "menu, $XDG_DATA_HOME/z8p-phonebook (else ~/.local/share/z8p-phonebook),\n"
        "which it makes on first use, readable by you alone.\n";
    if (const auto answered = pb::answerInfoOptions(argc, argv, "z8p-phonebook-desktop", help))
        return *answered;
#ifdef Q_OS_UNIX
    ::umask(077);   // the book, its journal, clipboard, diaries and print file: the user's alone
#endif
    const QString folder = QDir(dataHome()).filePath(QStringLiteral("z8p-phonebook"));
    QString why;
    if (!makePrivateFolder(folder, &why) || !QDir::setCurrent(folder)) {
        QApplication app(argc, argv);
        return cannot(folder, why.isEmpty() ? QStringLiteral("It cannot be entered.") : why);
    }
#ifdef Q_OS_UNIX
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    QString dir = n > 0 ? QFileInfo(QString::fromLocal8Bit(self, static_cast<int>(n))).absolutePath() : QString();
    if (dir.isEmpty())
        dir = QFileInfo(QString::fromLocal8Bit(argv[0])).absolutePath();
    const QByteArray path = QFile::encodeName(QDir(dir).filePath(QStringLiteral("z8p-phonebook")));
    ::execl(path.constData(), "z8p-phonebook", static_cast<char*>(nullptr));
    const QString failed = QString::fromLocal8Bit(std::strerror(errno));
    QApplication app(argc, argv);
    QMessageBox::critical(nullptr, QStringLiteral("z8P Phonebook"), QStringLiteral("z8P Phonebook could not be started: ") + failed);
    return 1;
#else
    QApplication app(argc, argv);
    return QProcess::startDetached(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("z8p-phonebook.exe")), {}, folder)
               ? 0
               : 1;
#endif
}
