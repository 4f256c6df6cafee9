#include "records/AppendRecords.h"
#include "records/BookCheck.h"
#include "records/BookRepair.h"
#include "exchange/ImportJob.h"

#include "records/Phonebook.h"

#include <QFile>

namespace pb::exchange {

namespace {
constexpr int kAttempts = 5;
}

ImportJob::Result ImportJob::run(const Questions& ask)
{
    Result r;
    for (int attempt = 1;; ++attempt) {
        QByteArray book;
        if (book_.phonebookOpen() && !readBook(book_, &book, &r.error)) {
            r.outcome = Outcome::BookUnreadable;
            return r;
        }
        ReadReport read;
        read.progress = ask.progress;
        r.plan = {};
        if (!file_.seek(0) || !planFileImport(file_, &read, book, &r.plan, &r.leftOut, &r.error)) {
            if (r.error.isEmpty())
                r.error = file_.errorString();
            r.outcome = Outcome::FileUnreadable;
            return r;
        }
        if (read.cancelled) {
            r.outcome = Outcome::Cancelled;
            return r;
        }
        if (!r.plan.blocked.isEmpty() || r.plan.contacts.isEmpty()) {
            r.outcome = r.plan.blocked.isEmpty() ? Outcome::NothingToAdd : Outcome::Blocked;
            if (ask.confirm)
                ask.confirm(r.plan, attempt);   // shown; nothing to answer
            return r;
        }
        const Answer answer = ask.confirm ? ask.confirm(r.plan, attempt) : Answer::AddAll;
        if (answer == Answer::Cancel) {
            r.outcome = Outcome::Cancelled;
            return r;
        }
        const PackedRecords records = r.plan.recordsToAdd(answer == Answer::SkipDuplicates);
        if (records.size() == 0) {
            r.outcome = Outcome::NothingToAdd;
            return r;
        }
        if (!book_.phonebookOpen() && (!ask.openBook || !ask.openBook())) {
            r.outcome = Outcome::Cancelled;
            return r;
        }
        if (appendRecords(book_, r.plan.bookCount, records, &r.error)) {
            r.added = static_cast<int>(records.size());
            r.outcome = Outcome::Added;
            return r;
        }
        if (attempt < kAttempts && book_.takeChangedElsewhere()) {
            if (ask.tell)
                ask.tell(QStringLiteral("Another program changed the book meanwhile; reading it again."));
            continue;
        }
        r.outcome = Outcome::NotAdded;
        return r;
    }
}

} // namespace pb::exchange
