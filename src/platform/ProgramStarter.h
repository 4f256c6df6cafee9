#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace pb {

// Starts another program without waiting for it.
class ProgramStarter
{
public:
    virtual ~ProgramStarter() = default;
    // `program` is looked up on the search path when it has no folder.
    // False when it cannot be started.
    virtual bool start(const QString& program, const QStringList& arguments) = 0;
};

class DesktopProgramStarter final : public ProgramStarter
{
public:
    bool start(const QString& program, const QStringList& arguments) override;
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
    QList<Started> started;
    QList<bool> answers;   // an empty queue: the program is not there
};

} // namespace pb
