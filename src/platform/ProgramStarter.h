#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace pb {

// Starts another program, never through a shell.
class ProgramStarter
{
public:
    // Called once a hand-off has ended: true when the desktop showed the file.
    using Done = std::function<void(bool ok)>;

    virtual ~ProgramStarter() = default;
    // Starts without waiting for it. `program` is looked up on the search
    // path when it has no folder. False when it cannot be started.
    virtual bool start(const QString& program, const QStringList& arguments) = 0;
    // Hands a file to the desktop's program for its kind (xdg-open on free
    // desktops) without blocking, and reports whether it was shown.
    virtual void openFile(const QString& path, Done done) = 0;
    // The desktop's program for a kind of file ("text/html"), by the name the
    // desktop knows it by, or empty when none is set; without blocking.
    using Named = std::function<void(const QString& program)>;
    virtual void defaultProgramFor(const QString& mimeType, Named done) = 0;
};

// How a short-lived hand-off program ended: its exit status, or nothing
// when it could not be started or did not end normally (with the reason).
using HandOffDone = std::function<void(std::optional<int> status, const QString& error)>;
// Starts `program` without a shell and without waiting; its output goes
// nowhere (it may repeat what it was given); `done` runs once it has ended.
void runHandOff(const QString& program, const QStringList& arguments, HandOffDone done);

class DesktopProgramStarter final : public ProgramStarter
{
public:
    bool start(const QString& program, const QStringList& arguments) override;
    void openFile(const QString& path, Done done) override;
    void defaultProgramFor(const QString& mimeType, Named done) override;
};

class ScriptedProgramStarter final : public ProgramStarter
{
public:
    struct Started {
        QString program;
        QStringList arguments;
    };
    bool start(const QString& program, const QStringList& arguments) override
    {
        started.append({program, arguments});
        return answers.isEmpty() ? false : answers.takeFirst();
    }
    void openFile(const QString& path, Done done) override
    {
        opened.append(path);
        done(openAnswers.isEmpty() ? false : openAnswers.takeFirst());
    }
    void defaultProgramFor(const QString& mimeType, Named done) override
    {
        askedFor.append(mimeType);
        done(defaultProgram);
    }
    QList<Started> started;
    QList<bool> answers;      // an empty queue: the program is not there
    QStringList opened;
    QList<bool> openAnswers;   // an empty queue: nothing shows the file
    QStringList askedFor;
    QString defaultProgram = QStringLiteral("browser.desktop");   // empty: none set
};

} // namespace pb
