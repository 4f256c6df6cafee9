#pragma once

// One sync of the book with its CardDAV address book, the job the tool and
// the window both run. The network first, with the book only read: what
// changed on either side since the last sync is worked out, cards are sent
// and deleted there; then one journaled change of the book takes what came
// in, and the new state beside the book is committed with it.

#include "records/ContactRecord.h"
#include "sync/CardDav.h"
#include "sync/SyncState.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace pb {
class Phonebook;
}

namespace pb::sync {

struct SyncOptions {
    bool dryRun = false;
    // The first sync with an address book that holds cards while the book
    // holds records: Ask refuses with the plan until the user chooses.
    // Merge links equal and alike contacts (a field empty on one side
    // taken from the other), Book and Server let that side win where alike
    // contacts differ.
    enum class First { Ask, Merge, Book, Server } first = First::Ask;
    // A field changed both here and there: None keeps both as they are and
    // reports the conflict; Here or There decides.
    enum class Prefer { None, Here, There } prefer = Prefer::None;
    bool allowMassDelete = false;
    // The user's choice for a conflicting contact, by its card's href:
    // each field changed both ways taken from the server when listed in
    // takeThere, else this book's; keepBoth keeps this book's version as a
    // contact of its own beside the server's. Decides before `prefer`.
    struct Choice {
        QList<Field> takeThere;
        bool keepBoth = false;
    };
    QHash<QString, Choice> choices;
    QByteArray rev;   // REV of the cards written (tests fix it; empty: now)
    std::function<void(const QString& phase, int done, int total)> progress;
    // Asked between requests: true stops sending; what was done is kept
    // and the rest is synced next time.
    std::function<bool()> cancelled;
};

struct SyncReport {
    enum class Outcome { Done, Failed, Refused, Conflicts };
    Outcome outcome = Outcome::Done;
    // What a refused sync waits for.
    enum class Needs { Nothing, FirstChoice, MassDelete, Repair };
    Needs needs = Needs::Nothing;
    int in = 0, out = 0, deletedHere = 0, deletedThere = 0;
    QStringList details;   // contact by contact: conflicts, refusals, what came back
    // A contact left as it was on both sides: the fields changed both ways,
    // with each side's value, for the user to choose.
    struct Conflict {
        QString href;
        QString name;
        QList<Field> fields;
        QStringList here, there;
    };
    QList<Conflict> conflictList;
    int conflicts() const { return static_cast<int>(conflictList.size()); }
    QString error;         // why it failed or was refused
    QString backup;        // the copy of the book written before a large change
    // "3 in, 1 out, 1 conflict".
    QString summary() const;
};

class SyncJob
{
public:
    SyncJob(Phonebook& book, CardDav& dav, const QString& addressBook, SyncOptions options);
    SyncReport run();

private:
    struct Plan;
    SyncReport runOnce();
    bool readRemote(Plan& p);
    void planLinks(Plan& p);
    void planFirst(Plan& p);
    bool guard(Plan& p);
    void send(Plan& p);
    CardDav::Written mergeAgain(Plan& p, qsizetype put, QByteArray* etag);
    bool commit(Plan& p);
    void mergeBoth(Plan& p, int link, const ContactRecord& here, const RemoteCard& there);
    QByteArray newCard(const ContactRecord& record, QString* href) const;

    Phonebook& book_;
    CardDav& dav_;
    QString addressBook_;
    SyncOptions options_;
    SyncReport report_;
};

} // namespace pb::sync
