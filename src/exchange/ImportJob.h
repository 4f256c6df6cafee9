#pragma once

// One import of a file of contacts into the book, as the tool and the
// window both run it: the book and the file read and planned, the plan
// put to the user, the records added. When another program changes the
// book between the plan and the adding, both are read and planned again
// and the user is asked again (a few times).

#include "exchange/Import.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QFile;

namespace pb {
class Phonebook;
}

namespace pb::exchange {

class ImportJob
{
public:
    enum class Answer { AddAll, SkipDuplicates, Cancel };
    struct Questions {
        // The plan as read (shown in full by the caller); what to add.
        // Not asked when the plan adds nothing or is blocked.
        std::function<Answer(const ImportPlan& plan, int attempt)> confirm;
        // Said between attempts.
        std::function<void(const QString& message)> tell;
        // How far reading the file has come; false stops it.
        std::function<bool(qint64 done, qint64 total)> progress;
        // Called once there is something to add and the book is not open
        // yet (the tool makes a new book only then); false ends the job.
        std::function<bool()> openBook;
    };
    enum class Outcome {
        Added,          // `added` records after record `plan.bookCount`
        NothingToAdd,   // the plan adds nothing (every contact a likely duplicate, or none)
        Blocked,        // the file cannot be imported (plan.blocked says why)
        Cancelled,      // the user stopped reading or said no
        BookUnreadable, // error: the book could not be read
        FileUnreadable, // error: the file could not be read
        NotAdded,       // error: the adding failed; the book is as it was (see the book for why)
    };
    struct Result {
        Outcome outcome = Outcome::Cancelled;
        ImportPlan plan;     // the last plan made
        QByteArray leftOut;  // the cards of what the book cannot hold whole
        int added = 0;
        QString error;
    };

    ImportJob(Phonebook& book, QFile& file) : book_(book), file_(file) {}
    Result run(const Questions& ask);

private:
    Phonebook& book_;
    QFile& file_;
};

} // namespace pb::exchange
