#include "sync/SyncJob.h"

#include "exchange/Contact.h"
#include "exchange/Exchange.h"
#include "records/BookCheck.h"
#include "records/BookRepair.h"
#include "records/FileIo.h"
#include "records/Phonebook.h"
#include "records/RecordNumber.h"
#include "sync/BookDiff.h"
#include "sync/CardPatch.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QSet>

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

namespace pb::sync {

namespace {

constexpr qsizetype kSize = static_cast<qsizetype>(kRecordSize);

// An href as the path it names, however the server wrote it (absolute,
// relative to the address book, or a path).
// Whether an href is what servers send: an absolute path of plain
// characters that a URL parser leaves as it is (no empty segment, no dot
// segment, nothing to encode).
bool plainPath(QStringView href)
{
    static const std::array<bool, 128> allowed = [] {
        std::array<bool, 128> a{};
        for (char c : std::string_view("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/-._~!$&'()*+,;=:@"))
            a[static_cast<unsigned char>(c)] = true;
        return a;
    }();
    const qsizetype n = href.size();
    if (n == 0 || href[0] != u'/')
        return false;
    for (qsizetype i = 1; i < n; ++i) {
        const char16_t c = href[i].unicode();
        if (c >= 128 || !allowed[c] || (c == u'/' && href[i - 1] == u'/'))
            return false;
        if (c == u'.' && href[i - 1] == u'/') {
            // "." or ".." as a whole segment
            const qsizetype end = i + 1 < n && href[i + 1] == u'.' ? i + 2 : i + 1;
            if (end == n || href[end] == u'/')
                return false;
        }
    }
    return true;
}

QString pathIn(const QString& addressBook, const QString& href)
{
    if (plainPath(href))
        return href;
    return QUrl(addressBook).resolved(QUrl(href)).path(QUrl::FullyEncoded);
}

QString nameOf(const ContactRecord& r)
{
    const QString name = QStringList{FieldText(r, Field::FirstName).trimmed(), FieldText(r, Field::LastName).trimmed()}
                             .join(u' ')
                             .trimmed();
    return name.isEmpty() ? FieldText(r, Field::Email).trimmed() : name;
}

QList<Field> differing(const ContactRecord& a, const ContactRecord& b)
{
    QList<Field> out;
    for (Field f : kAllFields)
        if (a.raw(f) != b.raw(f))
            out << f;
    return out;
}

// Whether keeping `kept` loses a value of `other`: a field `other` holds
// text in that `kept` holds otherwise (a field only filled in loses none).
bool overwrites(const ContactRecord& kept, const ContactRecord& other)
{
    for (Field f : kAllFields)
        if (kept.raw(f) != other.raw(f) && !FieldText(other, f).trimmed().isEmpty())
            return true;
    return false;
}

void copyField(ContactRecord& to, const ContactRecord& from, Field f)
{
    const FieldLayout l = layoutOf(f);
    std::copy_n(from.bytes.begin() + static_cast<std::ptrdiff_t>(l.offset), l.width,
                to.bytes.begin() + static_cast<std::ptrdiff_t>(l.offset));
}

} // namespace

QString SyncReport::summary() const
{
    QStringList parts = {QStringLiteral("%1 in").arg(in), QStringLiteral("%1 out").arg(out)};
    if (deletedHere)
        parts << QStringLiteral("%1 deleted here").arg(deletedHere);
    if (deletedThere)
        parts << QStringLiteral("%1 deleted there").arg(deletedThere);
    if (const int n = conflicts())
        parts << (n == 1 ? QStringLiteral("1 conflict") : QStringLiteral("%1 conflicts").arg(n));
    return parts.join(QStringLiteral(", "));
}

// What one sync will do.
struct SyncJob::Plan {
    QByteArray bytes;                         // the book as read
    int count = 0;
    SyncState state;
    bool first = false;
    QList<ContactRecord> records;             // the book's records now
    BookDiff diff;
    QHash<QString, QByteArray> remote;        // the address book: path -> ETag
    QString token;
    QHash<QString, RemoteCard> fetched;       // by path
    QList<Link> links;                        // the state after the sync
    std::vector<std::optional<ContactRecord>> rewrite;   // per record now
    std::vector<bool> drop;                   // per record now: deleted here
    QList<ContactRecord> append;              // records new here
    QList<qsizetype> appendLinks;             // their links in `links`
    struct Put {
        QString href;
        QByteArray card;
        QByteArray ifMatch;                   // empty: a new card
        qsizetype link;                       // in `links`, updated when sent
        Link old;                             // the link as it was (none: a new card)
        int record = -1;                      // the book's record it sends, when it may be merged again
    };
    void appendRecord(const ContactRecord& r, const Link& l)
    {
        append << r;
        links << l;
        appendLinks << links.size() - 1;
    }
    QList<Put> puts;
    QList<Link> deletes;                      // cards to delete there
    QByteArray losers;                        // the versions a choice did not keep, as cards
    bool backup = false;                      // a copy of the book first: a large change
};

SyncJob::SyncJob(Phonebook& book, CardDav& dav, const QString& addressBook, SyncOptions options)
    : book_(book), dav_(dav), addressBook_(addressBook), options_(std::move(options))
{
    if (options_.rev.isEmpty())
        options_.rev = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'hhmmss'Z'")).toLatin1();
}

SyncReport SyncJob::run()
{
    // Another program that changed the book while the server was asked
    // makes the sync plan again (what was sent is found again, not resent).
    for (int attempt = 1;; ++attempt) {
        runOnce();
        if (attempt == 3 || report_.outcome != SyncReport::Outcome::Failed || !book_.takeChangedElsewhere())
            return report_;
    }
}

SyncReport SyncJob::runOnce()
{
    report_ = {};
    const auto refuse = [&](SyncReport::Outcome outcome, const QString& why) {
        report_.outcome = outcome;
        report_.error = why;
        return report_;
    };
    Plan p;
    QString why;
    // The book as read is the one the sync's change writes over (the
    // window counts it again after a sync); a change by another program
    // after this read makes the sync plan again.
    const io::Identity asRead = book_.phonebookFile().identity();
    if (!readBook(book_, &p.bytes, &why))
        return refuse(SyncReport::Outcome::Failed, why);
    book_.acceptRead(asRead);
    const BookCheck check = checkOpenBook(book_, p.bytes);
    if (!check.freeSlots.isEmpty() || !check.uncounted.isEmpty() || check.strayBytes > 0) {
        report_.needs = SyncReport::Needs::Repair;
        return refuse(SyncReport::Outcome::Refused,
                      QStringLiteral("The book has holes or a damaged last record, which a sync would take for deletions. "
                                     "Repair it first (z8p-phonebook-tool repair)."));
    }
    p.count = check.count;
    for (int i = 0; i < p.count; ++i) {
        ContactRecord r;
        std::copy_n(p.bytes.constData() + i * kSize, kSize, r.bytes.begin());
        p.records << r;
    }
    if (!loadState(book_.phonebookFile().fileName(), p.bytes, &p.state, &why, false))
        return refuse(SyncReport::Outcome::Failed, why);
    // Another address book, or none before: a first sync, never "everything was deleted".
    p.first = p.state.addressBook != addressBook_;
    if (p.first)
        p.state = {};
    if (!readRemote(p))
        return refuse(SyncReport::Outcome::Failed, dav_.error());
    p.rewrite.assign(static_cast<std::size_t>(p.count), std::nullopt);
    p.drop.assign(static_cast<std::size_t>(p.count), false);
    if (p.first)
        planFirst(p);
    else
        planLinks(p);
    if (report_.outcome == SyncReport::Outcome::Refused || !guard(p))
        return report_;
    if (options_.dryRun)
        return report_;
    send(p);
    if (!commit(p) && report_.outcome != SyncReport::Outcome::Failed)
        report_.outcome = SyncReport::Outcome::Failed;
    if (report_.outcome == SyncReport::Outcome::Done && report_.conflicts() > 0)
        report_.outcome = SyncReport::Outcome::Conflicts;
    return report_;
}

// The address book as it is now: its cards' ETags (from the changes since
// the last token when the server can say, else listed whole), and the
// cards new or changed there fetched.
bool SyncJob::readRemote(Plan& p)
{
    if (options_.progress)
        options_.progress(QStringLiteral("Asking the server what changed"), 0, 0);
    bool delta = false;
    if (!p.first && !p.state.token.isEmpty()) {
        QList<CardRef> changed;
        QStringList deleted;
        if (dav_.changesSince(p.state.token, &changed, &deleted, &p.token)) {
            delta = true;
            for (const Link& l : std::as_const(p.state.links))
                p.remote.insert(pathIn(addressBook_, l.href), l.etag);
            for (const QString& d : std::as_const(deleted))
                p.remote.remove(pathIn(addressBook_, d));
            for (const CardRef& c : std::as_const(changed))
                p.remote.insert(pathIn(addressBook_, c.href), c.etag.isEmpty() ? QByteArray("?") : c.etag);
        }
    }
    if (!delta) {
        QList<CardRef> cards;
        if (!dav_.list(&cards, &p.token))
            return false;
        for (const CardRef& c : std::as_const(cards))
            p.remote.insert(pathIn(addressBook_, c.href), c.etag);
    }
    QHash<QString, QByteArray> known;
    for (const Link& l : std::as_const(p.state.links))
        known.insert(pathIn(addressBook_, l.href), l.etag);
    QStringList wanted;
    for (auto it = p.remote.cbegin(); it != p.remote.cend(); ++it)
        if (!known.contains(it.key()) || known.value(it.key()) != it.value() || it.value().isEmpty() || it.value() == "?")
            wanted << it.key();
    wanted.sort();
    QList<RemoteCard> cards;
    if (options_.progress)
        options_.progress(wanted.size() == 1 ? QStringLiteral("Fetching 1 contact")
                                             : QStringLiteral("Fetching %1 contacts").arg(wanted.size()),
                          0, static_cast<int>(wanted.size()));
    if (options_.progress)
        dav_.fetchProgress = [this](int done, int total) {
            options_.progress(QStringLiteral("Fetching %1 of %2 contacts").arg(QLocale().toString(done), QLocale().toString(total)),
                              done, total);
        };
    const bool fetched = dav_.fetch(wanted, &cards);
    dav_.fetchProgress = nullptr;
    if (!fetched)
        return false;
    for (RemoteCard& c : cards) {
        const QString path = pathIn(addressBook_, c.href);
        if (c.etag.isEmpty())
            c.etag = p.remote.value(path);
        p.remote.insert(path, c.etag);
        p.fetched.insert(path, std::move(c));
    }
    // A card listed but gone before it was fetched is gone.
    for (const QString& w : std::as_const(wanted))
        if (!p.fetched.contains(w))
            p.remote.remove(w);
    return true;
}

// A sync after an earlier one: each linked contact by what happened to it
// on either side, then what is new on each.
void SyncJob::planLinks(Plan& p)
{
    QList<ContactRecord> base;
    for (const Link& l : std::as_const(p.state.links))
        base << l.record;
    p.diff = diffBook(base, p.bytes, p.count);
    std::vector<int> recordOf(static_cast<std::size_t>(base.size()), -1);
    for (int r = 0; r < p.count; ++r)
        if (const int b = p.diff.baseOf[static_cast<std::size_t>(r)]; b >= 0)
            recordOf[static_cast<std::size_t>(b)] = r;
    for (int b = 0; b < base.size(); ++b) {
        const Link& link = p.state.links[b];
        const QString path = pathIn(addressBook_, link.href);
        const int r = recordOf[static_cast<std::size_t>(b)];
        const bool goneHere = r < 0;
        const bool changedHere = !goneHere && p.records[r].bytes != link.record.bytes;
        const bool goneThere = !p.remote.contains(path);
        const bool changedThere = !goneThere && p.fetched.contains(path);
        if (goneHere && goneThere)
            continue;
        if (goneThere) {
            if (changedHere) {
                // Changed here, deleted there: it goes back, as a new card.
                QString href;
                const QByteArray card = newCard(p.records[r], &href);
                p.links << Link{href, {}, card, p.records[r]};
                p.puts << Plan::Put{href, card, {}, p.links.size() - 1, {}};
                report_.details << QStringLiteral("%1: deleted on the server but changed here; sent again.").arg(nameOf(p.records[r]));
            } else {
                p.drop[static_cast<std::size_t>(r)] = true;
                ++report_.deletedHere;
            }
            continue;
        }
        if (goneHere) {
            if (changedThere) {
                // Deleted here, changed there: it comes back.
                const RemoteCard& c = p.fetched[path];
                const ContactRecord rec = recordOfCard(c.data);
                p.appendRecord(rec, Link{c.href, c.etag, c.data, rec});
                ++report_.in;
                report_.details << QStringLiteral("%1: deleted here but changed on the server; it came back.").arg(nameOf(rec));
            } else {
                p.deletes << link;
            }
            continue;
        }
        if (changedThere && changedHere) {
            mergeBoth(p, b, p.records[r], p.fetched[path]);
            continue;
        }
        if (changedThere) {
            const RemoteCard& c = p.fetched[path];
            const ContactRecord rec = recordOfCard(c.data);
            if (rec.bytes != p.records[r].bytes) {
                p.rewrite[static_cast<std::size_t>(r)] = rec;
                ++report_.in;
            }
            p.links << Link{link.href, c.etag, c.data, rec};
            continue;
        }
        if (changedHere) {
            bool changed = false;
            const QByteArray card = patchCard(link.card, p.records[r], options_.rev, &changed);
            p.links << Link{link.href, link.etag, card, p.records[r]};
            if (changed)
                p.puts << Plan::Put{link.href, card, link.etag, p.links.size() - 1, link, r};
            continue;
        }
        p.links << link;
    }
    // New here and new there. A card new there under the name a record
    // new here would be sent as is that record, sent by a sync that died
    // before it could say so: linked, never sent or added twice.
    QSet<QString> linked;
    for (const Link& l : std::as_const(p.state.links))
        linked.insert(pathIn(addressBook_, l.href));
    for (int r : p.diff.added) {
        QString href;
        const QByteArray card = newCard(p.records[r], &href);
        if (const auto there = p.fetched.constFind(href); there != p.fetched.cend() && !linked.contains(href)) {
            linked.insert(href);
            bool changed = false;
            const QByteArray patched = patchCard(there->data, p.records[r], options_.rev, &changed);
            p.links << Link{href, there->etag, patched, p.records[r]};
            if (changed)
                p.puts << Plan::Put{href, patched, there->etag, p.links.size() - 1,
                                    Link{href, there->etag, there->data, recordOfCard(there->data)}, r};
            continue;
        }
        p.links << Link{href, {}, card, p.records[r]};
        p.puts << Plan::Put{href, card, {}, p.links.size() - 1, {}};
    }
    QStringList fresh;
    for (auto it = p.fetched.cbegin(); it != p.fetched.cend(); ++it)
        if (!linked.contains(it.key()))
            fresh << it.key();
    fresh.sort();
    for (const QString& path : std::as_const(fresh)) {
        const RemoteCard& c = p.fetched[path];
        const ContactRecord rec = recordOfCard(c.data);
        p.appendRecord(rec, Link{c.href, c.etag, c.data, rec});
        ++report_.in;
    }
}

// Changed on both sides: the fields changed on one side only are taken
// from it; a field changed both ways differently is a conflict.
void SyncJob::mergeBoth(Plan& p, int link, const ContactRecord& here, const RemoteCard& there)
{
    const Link& old = p.state.links[link];
    const ContactRecord remote = recordOfCard(there.data);
    const QList<Field> mine = differing(here, old.record), theirs = differing(remote, old.record);
    QList<Field> clash;
    for (Field f : mine)
        if (theirs.contains(f) && here.raw(f) != remote.raw(f))
            clash << f;
    const auto choice = options_.choices.constFind(old.href);
    const bool chosen = choice != options_.choices.cend();
    // Whether a clashing field keeps this book's value.
    const auto keepsHere = [&](Field f) {
        if (chosen)
            return !choice->keepBoth && !choice->takeThere.contains(f);
        return options_.prefer == SyncOptions::Prefer::Here;
    };
    ContactRecord merged = remote;
    for (Field f : mine)
        if (!clash.contains(f) || keepsHere(f))
            copyField(merged, here, f);
    const int r = static_cast<int>(std::find(p.diff.baseOf.begin(), p.diff.baseOf.end(), link) - p.diff.baseOf.begin());
    if (!clash.isEmpty() && !chosen && options_.prefer == SyncOptions::Prefer::None) {
        // Both stay as they are until the user chooses; the next sync sees
        // the same conflict.
        QStringList names;
        SyncReport::Conflict c{old.href, nameOf(here), clash, {}, {}};
        for (Field f : clash) {
            names << fieldName(f);
            c.here << FieldText(here, f).trimmed();
            c.there << FieldText(remote, f).trimmed();
        }
        report_.conflictList << c;
        report_.details << QStringLiteral("%1: %2 changed here and on the server; both kept as they are.")
                               .arg(nameOf(here), names.join(QStringLiteral(", ")));
        // The base stays, its ETag unknown: the next sync fetches the card
        // again and meets the same choice.
        p.links << Link{old.href, "?", old.card, old.record};
        return;
    }
    if (!clash.isEmpty()) {
        const bool hereLost = std::any_of(clash.begin(), clash.end(), [&](Field f) { return !keepsHere(f); });
        const bool thereLost = std::any_of(clash.begin(), clash.end(), keepsHere);
        if (chosen && choice->keepBoth) {
            // This book's version becomes a contact of its own, sent as new.
            QString href;
            const QByteArray card = newCard(here, &href);
            p.appendRecord(here, Link{href, {}, card, here});
            p.puts << Plan::Put{href, card, {}, p.links.size() - 1, {}};
            report_.details << QStringLiteral("%1: changed on both sides; both versions kept as two contacts.").arg(nameOf(here));
        } else {
            report_.details << QStringLiteral("%1: changed on both sides; %2 kept.")
                                   .arg(nameOf(here), !hereLost ? QStringLiteral("this book's version")
                                                      : !thereLost ? QStringLiteral("the server's version")
                                                                   : QStringLiteral("the fields chosen"));
            // The version that lost is kept beside the book.
            if (thereLost)
                p.losers += there.data;
            if (hereLost)
                p.losers += exchange::writeVCard({exchange::fromRecord(here)});
        }
    }
    bool changed = false;
    const QByteArray card = patchCard(there.data, merged, options_.rev, &changed);
    if (merged.bytes != here.bytes) {
        p.rewrite[static_cast<std::size_t>(r)] = merged;
        ++report_.in;
    }
    p.links << Link{old.href, there.etag, card, merged};
    if (changed)
        p.puts << Plan::Put{old.href, card, there.etag, p.links.size() - 1, old, r};
}

// The first sync: contacts the same on both sides are linked, alike ones
// merged as the user chose, the rest sent or added.
void SyncJob::planFirst(Plan& p)
{
    QStringList paths = p.fetched.keys();
    paths.sort();
    QList<ContactRecord> remote;
    for (const QString& path : std::as_const(paths))
        remote << recordOfCard(p.fetched[path].data);
    if (p.count > 0 && !paths.isEmpty() && options_.first == SyncOptions::First::Ask) {
        report_.outcome = SyncReport::Outcome::Refused;
        report_.needs = SyncReport::Needs::FirstChoice;
        report_.error = QStringLiteral("The address book already holds %1 and this book %2. Choose how the first sync joins "
                                       "them: merge (contacts alike are linked, a field empty on one side taken from the "
                                       "other), book or server (that side wins where alike contacts differ).")
                            .arg(paths.size() == 1 ? QStringLiteral("1 contact") : QStringLiteral("%1 contacts").arg(paths.size()),
                                 p.count == 1 ? QStringLiteral("1 record") : QStringLiteral("%1 records").arg(p.count));
        return;
    }
    const QByteArray remoteBook = [&] {
        QByteArray b;
        for (const ContactRecord& r : std::as_const(remote))
            b.append(r.bytes.data(), kSize);
        return b;
    }();
    // Pair the book's records with the server's as a later sync pairs them with its base.
    const BookDiff pairs = diffBook(p.records, remoteBook, static_cast<int>(remote.size()));
    for (qsizetype i = 0; i < remote.size(); ++i) {
        const RemoteCard& c = p.fetched[paths[i]];
        const int r = pairs.baseOf[static_cast<std::size_t>(i)];
        if (r < 0) {
            p.appendRecord(remote[i], Link{c.href, c.etag, c.data, remote[i]});
            ++report_.in;
            continue;
        }
        ContactRecord merged = options_.first == SyncOptions::First::Server ? remote[i] : p.records[r];
        if (options_.first == SyncOptions::First::Merge)
            for (Field f : kAllFields)
                if (FieldText(merged, f).trimmed().isEmpty() && !FieldText(remote[i], f).trimmed().isEmpty())
                    copyField(merged, remote[i], f);
        // Where the sides differ, the version not kept is kept beside the book.
        if (overwrites(merged, remote[i]) && options_.first != SyncOptions::First::Server)
            p.losers += c.data;
        else if (overwrites(merged, p.records[r]))
            p.losers += exchange::writeVCard({exchange::fromRecord(p.records[r])});
        if (merged.bytes != p.records[r].bytes) {
            p.rewrite[static_cast<std::size_t>(r)] = merged;
            ++report_.in;
        }
        bool changed = false;
        const QByteArray card = patchCard(c.data, merged, options_.rev, &changed);
        p.links << Link{c.href, c.etag, card, merged};
        if (changed)
            p.puts << Plan::Put{c.href, card, c.etag, p.links.size() - 1, Link{c.href, c.etag, c.data, remote[i]}, r};
    }
    for (int r : pairs.deleted) {   // the book's records no card is paired with
        QString href;
        const QByteArray card = newCard(p.records[r], &href);
        p.links << Link{href, {}, card, p.records[r]};
        p.puts << Plan::Put{href, card, {}, p.links.size() - 1, {}};
    }
}

// A sync that would delete more than half (and more than ten) of the
// linked contacts on either side stops; a large change of the book is
// preceded by a copy of it.
bool SyncJob::guard(Plan& p)
{
    const int linked = static_cast<int>(p.state.links.size());
    const int here = report_.deletedHere, there = static_cast<int>(p.deletes.size());
    const auto tooMany = [&](int n) { return n > 10 && n * 2 > linked; };
    if ((tooMany(here) || tooMany(there)) && !options_.allowMassDelete) {
        report_.outcome = SyncReport::Outcome::Refused;
        report_.needs = SyncReport::Needs::MassDelete;
        report_.error = QStringLiteral("This sync would delete %1 of the %2 linked contacts %3. Nothing was changed; if that "
                                       "is meant, sync again allowing it (--allow-mass-delete).")
                            .arg(std::max(here, there))
                            .arg(linked)
                            .arg(tooMany(here) ? QStringLiteral("in this book") : QStringLiteral("on the server"));
        return false;
    }
    const qsizetype overwritten = std::count_if(p.rewrite.begin(), p.rewrite.end(), [](const auto& r) { return r.has_value(); });
    p.backup = here + overwritten > 10;   // written under the book's lock, before its change
    return true;
}

// The cards sent and deleted there, one request at a time; what the server
// refuses stays as it is here for the next sync.
void SyncJob::send(Plan& p)
{
    int done = 0;
    bool stopped = false;
    const int total = static_cast<int>(p.puts.size() + p.deletes.size());
    for (qsizetype i = 0; i < p.puts.size(); ++i) {
        const Plan::Put& put = p.puts[i];
        if (!stopped && options_.cancelled && options_.cancelled()) {
            stopped = true;
            report_.details << QStringLiteral("Cancelled: what was not sent yet is synced next time.");
        }
        if (stopped || report_.outcome == SyncReport::Outcome::Failed) {
            p.links[put.link] = put.old;   // not sent: seen again next time
            continue;
        }
        if (options_.progress)
            options_.progress(QStringLiteral("Sending %1 of %2").arg(done + 1).arg(total), done, total);
        ++done;
        Link& link = p.links[put.link];
        QByteArray etag;
        QString location;
        CardDav::Written w = dav_.put(put.href, put.card, put.ifMatch, &etag, &location);
        // Changed on the server since it was read: fetched and merged again, once.
        if (w == CardDav::Written::Changed && !put.ifMatch.isEmpty() && put.record >= 0)
            w = mergeAgain(p, i, &etag);
        if (w == CardDav::Written::Done) {
            link.etag = etag;
            if (!location.isEmpty())
                link.href = location;
            ++report_.out;
            continue;
        }
        // Not sent: the link stays as it was, so that the next sync sees
        // the change again (a new card stays unlinked, and is sent again
        // under the same name).
        const QString name = nameOf(link.record);
        if (w == CardDav::Written::Changed && put.ifMatch.isEmpty()) {
            // The card is there already (a sync that died sent it): linked,
            // its ETag asked for next time.
            link.etag = "?";
            ++report_.out;
            continue;
        }
        link = put.old;
        if (w == CardDav::Written::Changed && !link.href.isEmpty())
            link.etag = "?";   // fetched again next time
        if (w == CardDav::Written::Changed)
            report_.details << QStringLiteral("%1: changed on the server meanwhile; it is synced next time.").arg(name);
        else if (w == CardDav::Written::Refused)
            report_.details << QStringLiteral("%1: the address book is read-only; the change stays here for later.").arg(name);
        else {
            report_.details << QStringLiteral("%1: not sent (%2).").arg(name, dav_.error());
            if (w == CardDav::Written::Full || dav_.lastStatus() == 0) {
                // The server is full or gone: nothing more is sent now.
                report_.outcome = SyncReport::Outcome::Failed;
                report_.error = dav_.error();
            }
        }
    }
    for (const Link& d : std::as_const(p.deletes)) {
        if (stopped || report_.outcome == SyncReport::Outcome::Failed)
            p.links << d;   // kept for the next sync
        else if (dav_.remove(d.href, d.etag) == CardDav::Written::Done)
            ++report_.deletedThere;
        else {
            report_.details << QStringLiteral("%1: not deleted on the server (%2).").arg(nameOf(d.record), dav_.error());
            p.links << d;
        }
    }
}

// A card changed on the server between our reading and our writing: the
// fields this book changed (against the base) laid over the card as it is
// now and sent once more; a field both changed differently stays for the
// next sync, which meets it as a conflict.
CardDav::Written SyncJob::mergeAgain(Plan& p, qsizetype index, QByteArray* etag)
{
    const Plan::Put& put = p.puts[index];
    QList<RemoteCard> now;
    if (!dav_.fetch({put.href}, &now) || now.isEmpty())
        return CardDav::Written::Changed;
    Link& link = p.links[put.link];
    const ContactRecord remote = recordOfCard(now[0].data);
    const QList<Field> mine = differing(link.record, put.old.record), theirs = differing(remote, put.old.record);
    ContactRecord merged = remote;
    for (Field f : mine) {
        if (theirs.contains(f) && remote.raw(f) != link.record.raw(f))
            return CardDav::Written::Changed;
        copyField(merged, link.record, f);
    }
    bool changed = false;
    const QByteArray card = patchCard(now[0].data, merged, options_.rev, &changed);
    QString location;
    const CardDav::Written w = changed ? dav_.put(put.href, card, now[0].etag, etag, &location) : CardDav::Written::Done;
    if (w != CardDav::Written::Done)
        return w;
    if (!changed)
        *etag = now[0].etag;
    if (merged.bytes != link.record.bytes) {
        p.rewrite[static_cast<std::size_t>(put.record)] = merged;
        ++report_.in;
    }
    link.card = changed ? card : now[0].data;
    link.record = merged;
    return CardDav::Written::Done;
}

// One journaled change of the book with what came in, the new state
// committed with it.
bool SyncJob::commit(Plan& p)
{
    // The book as the sync leaves it, written straight into its bytes.
    QByteArray bytes;
    bytes.reserve((p.count + p.append.size()) * kSize);
    qsizetype n = 0;
    for (int r = 0; r < p.count; ++r) {
        if (p.drop[static_cast<std::size_t>(r)])
            continue;
        const ContactRecord& kept = p.rewrite[static_cast<std::size_t>(r)] ? *p.rewrite[static_cast<std::size_t>(r)] : p.records[r];
        bytes.append(kept.bytes.data(), kSize);
        ++n;
    }
    const qsizetype room = kMaxRecord - n;
    for (qsizetype i = 0; i < p.append.size(); ++i) {
        if (i >= room) {
            p.links[p.appendLinks[i]] = Link{};   // never linked: never deleted there
            report_.details << QStringLiteral("%1: the book holds at most %2 records; it stays on the server.")
                                   .arg(nameOf(p.append[i]))
                                   .arg(kMaxRecord);
            continue;
        }
        bytes.append(p.append[i].bytes.data(), kSize);
        ++n;
    }
    p.links.removeIf([](const Link& l) { return l.href.isEmpty(); });
    const QString bookPath = book_.phonebookFile().fileName();
    QString why;
    if (!p.first && bytes == p.bytes && p.losers.isEmpty() && p.token == p.state.token && p.links == p.state.links) {
        // Nothing changed on either side: the state stays as it was; its
        // file's time says when a sync last found so.
        markChecked(bookPath, &why);
        return true;
    }
    SyncState state;
    state.addressBook = addressBook_;
    state.token = p.token;
    state.links = std::move(p.links);   // the plan's last use of them
    state.bookStamp = bookStamp(bytes);
    state.lastSync = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm")) + u' ' + report_.summary();
    // The state and the records under the book's lock, in one change: the
    // state waits beside the book until the change is in it.
    const int count = static_cast<int>(n);
    const int held = static_cast<int>((p.bytes.size() + kSize - 1) / kSize);   // free slots at the end too
    Phonebook::Change change(book_, 1, std::max({count, held, 1}));
    if (!change.ok()) {
        report_.error = QStringLiteral("The book could not be changed: %1. What was sent stays sent; sync again.")
                            .arg(book_.phonebookError());
        return false;
    }
    if (p.backup && bytes != p.bytes) {
        const QString path = bookPath + QStringLiteral(".") +
                             QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThhmmss")) + QStringLiteral(".bak");
        if (!io::writeWholeFile(path, p.bytes, &why)) {
            report_.error = QStringLiteral("No copy of the book could be written before the sync (%1); nothing was changed "
                                           "here. Sync again.")
                                .arg(why);
            return false;
        }
        report_.backup = path;
    }
    if (!p.losers.isEmpty()) {
        const QString losers = bookPath + QStringLiteral(".") +
                               QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThhmmss")) +
                               QStringLiteral(".not-kept.vcf");
        if (!io::writeWholeFile(losers, p.losers, &why)) {
            report_.error = QStringLiteral("The versions a choice did not keep could not be saved (%1); nothing was changed "
                                           "here. Sync again.")
                                .arg(why);
            return false;
        }
        report_.details << QStringLiteral("The versions not kept are in %1.").arg(QFileInfo(losers).fileName());
    }
    if (!writeState(pendingStatePath(bookPath), state, &why)) {
        report_.error = QStringLiteral("The sync state could not be written: %1").arg(why);
        return false;
    }
    if (bytes != p.bytes && ((count > 0 && !book_.writeRecords(1, count, bytes.constData())) ||
                             !book_.truncateBook(static_cast<qint64>(count) * kSize) || !change.commit())) {
        report_.error = QStringLiteral("The book could not be changed: %1. What was sent stays sent; sync again.")
                            .arg(book_.phonebookError());
        io::remove(pendingStatePath(bookPath), &why);
        return false;
    }
    // The book holds the sync's change: its state is the state.
    if (!takeUpPending(bookPath, &why)) {
        report_.error = QStringLiteral("The sync state could not be written: %1").arg(why);
        return false;
    }
    return true;
}

// A card for a record new here, at a new href named for its UID. The UID
// comes from the record's bytes and the address book, so that a card sent
// by a sync that died before it was recorded is found again (412), never
// sent twice.
QByteArray SyncJob::newCard(const ContactRecord& record, QString* href) const
{
    const QByteArray uid = QCryptographicHash::hash(addressBook_.toUtf8() + QByteArray(record.bytes.data(), kSize),
                                                    QCryptographicHash::Sha1)
                               .toHex()
                               .left(32);
    *href = pathIn(addressBook_, QString::fromLatin1(uid) + QStringLiteral(".vcf"));
    QByteArray card = exchange::writeVCard({exchange::fromRecord(record)});
    card.insert(card.lastIndexOf("END:VCARD"), "UID:" + uid + "\r\nREV:" + options_.rev + "\r\n");
    return card;
}

} // namespace pb::sync
