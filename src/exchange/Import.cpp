#include "exchange/Import.h"

#include "platform/BigBuffer.h"
#include "platform/Codepage.h"
#include "records/BookCheck.h"
#include "records/Phonebook.h"
#include "records/FileIo.h"
#include "records/RecordNumber.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSet>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace pb::exchange {

namespace {

constexpr qint64 kSize = static_cast<qint64>(kRecordSize);

QString fieldName(Field f)
{
    static const char* const names[] = {"FirstName", "LastName", "Phone", "E-mail", "Company", "Address", "Comments"};
    return QLatin1String(names[static_cast<int>(f)]);
}

// Stores bytes already in the code page at `at` (a whole record): cut to
// the field's width or space padded to it.
void put(char* at, Field f, const std::string& bytes)
{
    const FieldLayout l = layoutOf(f);
    const std::size_t n = std::min(bytes.size(), l.width);
    std::memcpy(at + l.offset, bytes.data(), n);
    std::memset(at + l.offset + n, ' ', l.width - n);
}

// A whole record's field as stored.
std::string_view fieldOf(const char* record, Field f)
{
    const FieldLayout l = layoutOf(f);
    return {record + l.offset, l.width};
}

// What a stored field shows (with or without the spaces that pad it),
// trimmed and without case, to compare contacts by; written into `out`,
// whose room is used again from contact to contact.
void keyInto(QByteArray& out, std::string_view stored)
{
    std::string_view text = FieldTextBytes(stored);
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        out.resize(static_cast<qsizetype>(text.size()));
        std::transform(text.begin(), text.end(), out.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
        return;
    }
    out = codepage::decode(text).trimmed().toCaseFolded().toUtf8();
}

QByteArray key(std::string_view stored)
{
    QByteArray out;
    keyInto(out, stored);
    return out;
}

// First and last name's keys, or nothing when both are empty.
void nameKeyInto(QByteArray& out, QByteArray& last, std::string_view first, std::string_view lastName)
{
    keyInto(out, first);
    keyInto(last, lastName);
    if (out.isEmpty() && last.isEmpty())
        return;
    out.append('\x1f').append(last);
}

QByteArray nameKey(std::string_view first, std::string_view lastName)
{
    QByteArray out, last;
    nameKeyInto(out, last, first, lastName);
    return out;
}

// Records or contacts by the hash of a key; a hit is confirmed on the key
// itself, so two keys that share a hash are never taken for one. An open
// table of (hash, number) pairs: no allocation per entry.
class KeyIndex
{
public:
    explicit KeyIndex(qsizetype expected) { make(roomFor(expected)); }
    void insert(const QByteArray& key, int n)
    {
        if ((count_ + 1) * 4 > static_cast<qsizetype>(slots_.size()) * 3)
            grow();
        place({static_cast<std::uint32_t>(qHash(key)), n});
        ++count_;
    }
    // The number of the first (or the last) entry whose key is `key`, or 0.
    template <typename KeyOf>
    int find(const QByteArray& key, KeyOf keyOf, bool last) const
    {
        int found = 0;
        const auto h = static_cast<std::uint32_t>(qHash(key));
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = h & mask; slots_[i].n != 0; i = (i + 1) & mask)
            if (slots_[i].hash == h && keyOf(slots_[i].n) == key) {
                const int n = slots_[i].n;
                found = found == 0 ? n : last ? std::max(found, n) : std::min(found, n);
            }
        return found;
    }

private:
    struct Slot {
        std::uint32_t hash = 0;
        int n = 0;   // numbers start at 1: 0 is a free slot
    };
    // A power of two, at most three quarters full.
    static std::size_t roomFor(qsizetype entries)
    {
        std::size_t room = 16;
        while (static_cast<qsizetype>(room) * 3 < entries * 4)
            room *= 2;
        return room;
    }
    void place(Slot s)
    {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = s.hash & mask;
        while (slots_[i].n != 0)
            i = (i + 1) & mask;
        slots_[i] = s;
    }
    // Free slots, made resident at once (they are written all over).
    void make(std::size_t room)
    {
        slots_.clear();
        slots_.shrink_to_fit();
        slots_.reserve(room);
        memory::populate(slots_.data(), room * sizeof(Slot));
        slots_.resize(room);
    }
    void grow()
    {
        std::vector<Slot> old;
        old.swap(slots_);
        make(old.size() * 2);
        for (const Slot& s : old)
            if (s.n != 0)
                place(s);
    }

    std::vector<Slot> slots_;
    qsizetype count_ = 0;
};

QString displayName(const Contact& c, int number)
{
    QString name = QStringList{c[Field::FirstName], c[Field::LastName]}.join(u' ').simplified();
    if (name.isEmpty())
        name = c[Field::Email].simplified();
    if (name.isEmpty())
        name = c[Field::Company].simplified();
    QString text = QStringLiteral("contact %1").arg(number);
    if (!name.isEmpty())
        text += QStringLiteral(" (%1)").arg(name.left(40));
    return text;
}

// "1 field is" / "2 fields are".
QString counted(qsizetype n, const char* one, const char* many)
{
    return QString::number(n) + u' ' + QLatin1String(n == 1 ? one : many);
}

QString listOf(const QStringList& items, int most)
{
    QStringList shown = items.mid(0, most);
    if (items.size() > most)
        shown << QStringLiteral("... and %1 more").arg(items.size() - most);
    return shown.join(u'\n');
}

} // namespace

namespace {

// CSV for a ".csv" name, vCard for ".vcf" or ".vcard", otherwise by what
// the bytes hold.
bool isCsv(const QByteArray& data, const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("csv"))
        return true;
    if (suffix == QLatin1String("vcf") || suffix == QLatin1String("vcard"))
        return false;
    QByteArray head = data.left(4096).toUpper();
    head.removeIf([](char c) { return c == '\0'; });   // UTF-16
    return !head.contains("BEGIN:VCARD");
}

} // namespace

QList<Contact> readContacts(const QByteArray& data, const QString& fileName, ReadReport* report)
{
    // 8-bit text that declares no character set is the book's own.
    if (report && !report->codePage)
        report->codePage = codepage::current();
    return isCsv(data, fileName) ? readCsv(data, report) : readVCard(data, report);
}

ContactRecord ImportPlan::record(int i) const
{
    return records.at(i);
}

PackedRecords ImportPlan::recordsToAdd(bool skipDuplicates) const
{
    if (!skipDuplicates || duplicates.isEmpty())
        return records;
    QSet<int> dropped;
    for (const Duplicate& d : duplicates)
        dropped.insert(d.contact);
    PackedRecords out;
    out.reserve(records.size(), records.packedSize());
    ContactRecord r;
    for (qsizetype i = 0; i < contacts.size(); ++i)
        if (!dropped.contains(contacts[i])) {
            records.copyTo(i, r.bytes.data());
            out.append(r.bytes.data());
        }
    return out;
}

QList<int> ImportPlan::incompleteContacts() const
{
    QSet<int> all;
    for (const Cut& c : cuts)
        all.insert(c.contact);
    for (const LeftOut& l : leftOut)
        all.insert(l.contact);
    for (const NotKept& n : notKept)
        all.insert(n.contact);
    QList<int> out(all.begin(), all.end());
    std::sort(out.begin(), out.end());
    return out;
}

QByteArray leftOutCards(const QList<Contact>& contacts, const ImportPlan& plan)
{
    QByteArray out;
    for (int n : plan.incompleteContacts())
        if (n >= 1 && n <= contacts.size())
            out += contacts[n - 1].source;
    return out;
}

QString leftOutFileName(const QString& source)
{
    return QFileInfo(source).completeBaseName() + QStringLiteral("-left-out.vcf");
}

int ImportPlan::duplicateCount() const
{
    QSet<int> contacts;
    for (const Duplicate& d : duplicates)
        contacts.insert(d.contact);
    return static_cast<int>(contacts.size());
}

ImportPlan planImport(const QList<Contact>& contacts, const ReadReport& read, const QByteArray& book)
{
    return planImport(contacts, read, book, nullptr);
}

ImportPlan planImport(const QList<Contact>& contacts, const ReadReport& read, const QByteArray& book, const QuickRecords* quick)
{
    // Contact i of the file: read straight into its record, or in the list.
    const qsizetype total = quick ? static_cast<qsizetype>(quick->record.size()) : contacts.size();
    // The record contact i was read straight into, whole at `out`; false
    // when it was read the usual way.
    const auto quickRecord = [quick](qsizetype i, char* out) {
        if (!quick || quick->record[static_cast<std::size_t>(i)] < 0)
            return false;
        quick->records.copyTo(quick->record[static_cast<std::size_t>(i)], out);
        return true;
    };
    static const Contact none;
    const auto contact = [&](qsizetype i) -> const Contact& {
        if (!quick)
            return contacts[i];
        const int at = quick->record[static_cast<std::size_t>(i)];
        return at < 0 ? contacts[-(at + 1)] : none;
    };
    const auto nameOf = [&](qsizetype i) {
        if (ContactRecord whole; quickRecord(i, whole.bytes.data()))
            return displayName(fromRecord(whole), static_cast<int>(i + 1));
        return displayName(contact(i), static_cast<int>(i + 1));
    };
    ImportPlan plan;
    plan.skipped = read.skipped;
    plan.photosSkipped = read.photosSkipped;

    const BookCheck check = checkBook(book);
    plan.bookCount = check.count;
    if (!check.uncounted.isEmpty())
        plan.blocked = QStringLiteral("The book holds records after a free slot (record %1), which new records would "
                                      "overwrite. Check the book and repair it first.")
                           .arg(check.freeSlots.value(0, check.count + 1));

    // What the book holds, to spot contacts it already has: for a key that
    // several records share, the last of them.
    const auto bookRecord = [&](int n) {
        ContactRecord r;
        std::copy_n(book.constData() + (n - 1) * kSize, std::min<qint64>(kSize, book.size() - (n - 1) * kSize), r.bytes.begin());
        return r;
    };
    const auto bookEmail = [&](int n) { return key(fieldOf(bookRecord(n).bytes.data(), Field::Email)); };
    const auto bookName = [&](int n) {
        const ContactRecord r = bookRecord(n);
        return nameKey(fieldOf(r.bytes.data(), Field::FirstName), fieldOf(r.bytes.data(), Field::LastName));
    };
    KeyIndex emails(check.count), names(check.count);
    QByteArray email, name, scratch;   // keys, their room used again
    for (int n = 1; n <= check.count; ++n) {
        const ContactRecord r = bookRecord(n);
        keyInto(email, fieldOf(r.bytes.data(), Field::Email));
        if (!email.isEmpty())
            emails.insert(email, n);
        nameKeyInto(name, scratch, fieldOf(r.bytes.data(), Field::FirstName), fieldOf(r.bytes.data(), Field::LastName));
        if (!name.isEmpty())
            names.insert(name, n);
    }

    const int room = kMaxRecord - check.count;
    const qsizetype taken = std::min<qsizetype>(room, total);
    // Earlier contacts of the file: for a key that several share, the first.
    KeyIndex fileEmails(taken), fileNames(taken);
    // (Contacts number from 1.)
    const auto fileEmail = [&](int m) { return key(plan.records.field(m - 1, Field::Email)); };
    const auto fileName = [&](int m) {
        return nameKey(plan.records.field(m - 1, Field::FirstName), plan.records.field(m - 1, Field::LastName));
    };
    // When every contact was read straight into its record, in order, those
    // records are the plan's as they stand; otherwise each is added below.
    bool allReady = quick && static_cast<qsizetype>(quick->record.size()) >= taken && quick->records.size() >= taken;
    for (qsizetype i = 0; allReady && i < taken; ++i)
        allReady = quick->record[static_cast<std::size_t>(i)] == i;
    if (allReady) {
        plan.records = quick->records;   // the text shared, not copied
        plan.records.truncate(taken);
    } else {
        plan.records.reserve(taken, quick ? quick->records.packedSize() + taken * 64 : taken * 64);
    }
    plan.contacts.reserve(taken);
    memory::populate(plan.contacts.constData(), static_cast<std::size_t>(taken) * sizeof(int));
    if (taken < total)
        plan.skipped << QStringLiteral("Contacts %1 to %2: the book holds at most %3 records.")
                            .arg(taken + 1)
                            .arg(total)
                            .arg(kMaxRecord);
    std::string bytes, partBytes;   // one field's bytes, reused
    ContactRecord record;
    for (qsizetype i = 0; i < taken; ++i) {
        const int number = static_cast<int>(i + 1);
        const Contact& c = contact(i);
        // The contact's record, whole, written here unless the records are ready.
        char* const w = allReady ? nullptr : record.bytes.data();
        const auto mention = [&] {
            if (!plan.names.contains(number))
                plan.names.insert(number, nameOf(i));
        };
        const bool ready = !allReady && quickRecord(i, w);
        for (Field f : kAllFields) {
            if (ready || allReady)
                break;
            QString lost;
            storable(bytes, c[f], &lost);
            if (!lost.isEmpty()) {
                plan.unmapped << ImportPlan::Unmapped{number, f, lost};
                mention();
            }
            const std::size_t width = layoutOf(f).width;
            if (bytes.size() > width) {
                mention();
                if (f == Field::Comments && !c.extras.isEmpty()) {
                    // Each value that finds no room is named, not a count.
                    QStringList parts = c.extras;
                    if (!c.note.isEmpty())
                        parts << c.note;
                    std::size_t at = 0;
                    for (const QString& part : parts) {
                        QString ignored;
                        storable(partBytes, part, &ignored);
                        const std::size_t n = partBytes.size();
                        if (at + n > width)
                            plan.leftOut << ImportPlan::LeftOut{number, part, at < width};
                        at += n + 2;   // and the line break after it
                    }
                } else {
                    const QString text = codepage::decode(std::string_view(bytes).substr(width));
                    plan.cuts << ImportPlan::Cut{number, f, static_cast<int>(bytes.size() - width), text};
                }
            }
            put(w, f, bytes);
        }
        if (!c.notKept.isEmpty()) {
            plan.notKept << ImportPlan::NotKept{number, c.notKept};
            mention();
        }
        if (w && w[0] == '\0')   // a record, never a free slot (a quick one never is)
            put(w, Field::FirstName, " ");

        const auto field = [&](Field f) { return w ? fieldOf(w, f) : plan.records.field(i, f); };
        keyInto(email, field(Field::Email));
        nameKeyInto(name, scratch, field(Field::FirstName), field(Field::LastName));
        const int inBookByEmail = email.isEmpty() ? 0 : emails.find(email, bookEmail, true);
        const int inFileByEmail = email.isEmpty() ? 0 : fileEmails.find(email, fileEmail, false);
        const int inBookByName = name.isEmpty() ? 0 : names.find(name, bookName, true);
        const int inFileByName = name.isEmpty() ? 0 : fileNames.find(name, fileName, false);
        if (inBookByEmail || inFileByEmail) {
            plan.duplicates << ImportPlan::Duplicate{number, inBookByEmail, inFileByEmail, true};
            mention();
        } else if (inBookByName || inFileByName) {
            plan.duplicates << ImportPlan::Duplicate{number, inBookByName, inFileByName, false};
            mention();
        }
        if (!email.isEmpty() && !inFileByEmail)
            fileEmails.insert(email, number);
        if (!name.isEmpty() && !inFileByName)
            fileNames.insert(name, number);
        if (w)
            plan.records.append(w);
        plan.contacts << number;
    }
    // The earlier contacts duplicates point at are named too.
    for (const ImportPlan::Duplicate& d : std::as_const(plan.duplicates))
        if (d.earlierContact && !plan.names.contains(d.earlierContact))
            plan.names.insert(d.earlierContact, nameOf(d.earlierContact - 1));
    return plan;
}

namespace {

// The plan for cards read with some straight into records; `leftOut`
// receives the cards of the contacts the book cannot hold whole (all of
// them read the usual way).
ImportPlan planCards(const QList<Contact>& contacts, const QuickRecords& quick, const ReadReport& read, const QByteArray& book,
                     QByteArray* leftOut)
{
    ImportPlan plan = planImport(contacts, read, book, &quick);
    leftOut->clear();
    for (int n : plan.incompleteContacts()) {
        const int at = n >= 1 && n <= static_cast<int>(quick.record.size()) ? quick.record[static_cast<std::size_t>(n - 1)] : 0;
        if (at < 0)
            *leftOut += contacts[-(at + 1)].source;
    }
    return plan;
}

} // namespace

ImportPlan planFileImport(const QByteArray& data, const QString& fileName, ReadReport* read, const QByteArray& book,
                          QByteArray* leftOut)
{
    if (!read->codePage)
        read->codePage = codepage::current();
    if (const QString why = notText(QByteArrayView(data).first(std::min<qsizetype>(data.size(), 4096))); !why.isEmpty()) {
        ImportPlan refused;
        refused.blocked = why;
        return refused;
    }
    QuickRecords quick;
    const QList<Contact> contacts = isCsv(data, fileName) ? readCsv(data, read, &quick) : readVCard(data, read, &quick);
    return planCards(contacts, quick, *read, book, leftOut);
}

bool planFileImport(QFile& file, ReadReport* read, const QByteArray& book, ImportPlan* plan, QByteArray* leftOut, QString* error)
{
    if (!read->codePage)
        read->codePage = codepage::current();
    if (const QString why = notText(file.peek(4096)); !why.isEmpty()) {
        *plan = {};
        plan->blocked = why;
        return true;
    }
    QuickRecords quick;
    const QList<Contact> contacts = isCsv(file.peek(4096), file.fileName()) ? readCsv(file, read, &quick, error)
                                                                             : readVCard(file, read, &quick, error);
    if (!error->isEmpty())
        return false;
    *plan = planCards(contacts, quick, *read, book, leftOut);
    return true;
}

QString summary(const ImportPlan& plan, const QString& fileName, bool skipDuplicates)
{
    const QString file = QFileInfo(fileName).fileName();
    if (!plan.blocked.isEmpty())
        return QStringLiteral("Nothing can be imported from %1.\n\n%2").arg(file, plan.blocked);
    if (plan.contacts.isEmpty())
        return QStringLiteral("%1 holds no contacts to import.").arg(file) +
               (plan.skipped.isEmpty() ? QString() : QStringLiteral("\n\n") + plan.skipped.join(u'\n'));
    QStringList lines;
    const int duplicates = plan.duplicateCount();
    const int adding = skipDuplicates ? plan.count() - duplicates : plan.count();
    if (adding == 0)
        lines << QStringLiteral("Nothing from %1 will be added: its %2 like others already in the book.")
                     .arg(file, counted(plan.count(), "contact looks", "contacts look"));
    else
        lines << QStringLiteral("%1 from %2 will be added after record %3 (the book then holds %4).")
                     .arg(counted(adding, "contact", "contacts"), file)
                     .arg(plan.bookCount)
                     .arg(counted(plan.bookCount + adding, "record", "records"));
    if (!plan.cuts.isEmpty())
        lines << QStringLiteral("%1 longer than the book keeps and will be cut.").arg(counted(plan.cuts.size(), "field is", "fields are"));
    if (!plan.leftOut.isEmpty())
        lines << QStringLiteral("%1 no room in the record (named in the details).").arg(counted(plan.leftOut.size(), "value finds", "values find"));
    if (!plan.notKept.isEmpty())
        lines << QStringLiteral("%1 that a record has no place for (named in the details).")
                     .arg(counted(plan.notKept.size(), "contact holds data", "contacts hold data"));
    if (!plan.incompleteContacts().isEmpty())
        lines << QStringLiteral("What the book cannot hold can be kept in a vCard file beside it.");
    if (!plan.unmapped.isEmpty())
        lines << QStringLiteral("%1 characters the book cannot store; they become \"?\".")
                     .arg(counted(plan.unmapped.size(), "field holds", "fields hold"));
    if (duplicates > 0 && skipDuplicates && adding > 0)
        lines << QStringLiteral("%1 like others (already in the book or earlier in the file) and will be left out.")
                     .arg(counted(duplicates, "contact looks", "contacts look"));
    else if (duplicates > 0 && !skipDuplicates)
        lines << QStringLiteral("%1 like others (already in the book or earlier in the file).").arg(counted(duplicates, "contact looks", "contacts look"));
    if (!plan.skipped.isEmpty() || plan.photosSkipped)
        lines << QStringLiteral("Some of the file is left out (see the details).");
    return lines.join(u'\n');
}

QString details(const ImportPlan& plan)
{
    const auto who = [&](int contact) { return plan.names.value(contact, QStringLiteral("contact %1").arg(contact)); };

    QStringList parts;
    if (!plan.cuts.isEmpty()) {
        QStringList items;
        for (const ImportPlan::Cut& c : plan.cuts)
            items << QStringLiteral("%1: %2 loses its last %3 characters (\"%4\")")
                         .arg(who(c.contact), fieldName(c.field))
                         .arg(c.lost)
                         .arg(QString(c.lostText).replace(QLatin1String("\r\n"), QLatin1String(" / ")));
        parts << QStringLiteral("Cut to the field's width:\n") + listOf(items, 200);
    }
    if (!plan.leftOut.isEmpty()) {
        QStringList items;
        for (const ImportPlan::LeftOut& l : plan.leftOut)
            items << QStringLiteral("%1: %2%3")
                         .arg(who(l.contact), QString(l.value).replace(QLatin1String("\r\n"), QLatin1String(" / ")),
                              l.partly ? QStringLiteral(" (only its beginning is stored)") : QString());
        parts << QStringLiteral("No room in Comments for:\n") + listOf(items, 400);
    }
    if (!plan.notKept.isEmpty()) {
        QStringList items;
        for (const ImportPlan::NotKept& n : plan.notKept)
            items << QStringLiteral("%1: %2").arg(who(n.contact), n.names.join(QStringLiteral(", ")));
        parts << QStringLiteral("Not kept (a record has no place for them):\n") + listOf(items, 400);
    }
    if (!plan.unmapped.isEmpty()) {
        QStringList items;
        for (const ImportPlan::Unmapped& u : plan.unmapped) {
            QString chars;
            for (char32_t c : u.characters.toUcs4())
                // Characters that show nothing are named by number.
                chars += (c < 0x20 || c == 0x7F || QChar::category(c) == QChar::Other_Format)
                             ? QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QChar(u'0')).toUpper()
                             : codepage::textOf(&c, 1);
            items << QStringLiteral("%1: %2 holds %3").arg(who(u.contact), fieldName(u.field), chars);
        }
        parts << QStringLiteral("Characters stored as \"?\" (code page %1):\n").arg(codepage::current()) + listOf(items, 200);
    }
    if (!plan.duplicates.isEmpty()) {
        QStringList items;
        for (const ImportPlan::Duplicate& d : plan.duplicates) {
            const QString like = d.record ? QStringLiteral("record %1").arg(d.record) : who(d.earlierContact) + QStringLiteral(" of the file");
            items << QStringLiteral("%1: the same %2 as %3").arg(who(d.contact), d.sameEmail ? QStringLiteral("e-mail") : QStringLiteral("name"), like);
        }
        parts << QStringLiteral("Likely duplicates:\n") + listOf(items, 200);
    }
    QStringList skipped = plan.skipped;
    if (plan.photosSkipped)
        skipped << QStringLiteral("%1 photos or logos (the book keeps no pictures)").arg(plan.photosSkipped);
    if (!skipped.isEmpty())
        parts << QStringLiteral("Left out:\n") + listOf(skipped, 200);
    return parts.join(QStringLiteral("\n\n"));
}

} // namespace pb::exchange
