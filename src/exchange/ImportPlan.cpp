// What an import would do to the book: the records it adds, and every
// value it cuts, leaves out or changes, and the contacts that look like others.
#include "exchange/Import.h"

#include "platform/BigBuffer.h"
#include "platform/Codepage.h"
#include "records/BookCheck.h"
#include "records/RecordNumber.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace pb::exchange {

namespace {

constexpr qint64 kSize = static_cast<qint64>(kRecordSize);

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

// Plans the import of a file's contacts, read as contacts or, for those
// a record holds whole, straight into records (`quick`).
class Planner
{
public:
    Planner(const QList<Contact>& contacts, const QuickRecords* quick, const QByteArray& book, ImportPlan& plan)
        : contacts_(contacts), quick_(quick), book_(book), plan_(plan)
    {
    }

    void run()
    {
        const BookCheck check = checkBook(book_);
        plan_.bookCount = check.count;
        if (!check.uncounted.isEmpty())
            plan_.blocked = QStringLiteral("The book holds records after a free slot (record %1), which new records would "
                                           "overwrite. Check the book and repair it first.")
                                .arg(check.freeSlots.value(0, check.count + 1));
        indexBook();
        const qsizetype total = quick_ ? static_cast<qsizetype>(quick_->record.size()) : contacts_.size();
        const qsizetype taken = std::min<qsizetype>(kMaxRecord - check.count, total);
        if (taken < total)
            plan_.skipped << QStringLiteral("Contacts %1 to %2: the book holds at most %3 records.")
                                 .arg(taken + 1)
                                 .arg(total)
                                 .arg(kMaxRecord);
        fileEmails_.emplace(taken);
        fileNames_.emplace(taken);
        const bool allReady = takeReadyRecords(taken);
        plan_.contacts.reserve(taken);
        memory::populate(plan_.contacts.constData(), static_cast<std::size_t>(taken) * sizeof(int));
        for (qsizetype i = 0; i < taken; ++i)
            planContact(i, allReady);
        // The earlier contacts duplicates point at are named too.
        for (const ImportPlan::Duplicate& d : std::as_const(plan_.duplicates))
            if (d.earlierContact && !plan_.names.contains(d.earlierContact))
                plan_.names.insert(d.earlierContact, nameOf(d.earlierContact - 1));
    }

private:
    // The record contact i was read straight into, whole at `out`; false
    // when it was read the usual way.
    bool quickRecord(qsizetype i, char* out) const
    {
        if (!quick_ || quick_->record[static_cast<std::size_t>(i)] < 0)
            return false;
        quick_->records.copyTo(quick_->record[static_cast<std::size_t>(i)], out);
        return true;
    }
    const Contact& contact(qsizetype i) const
    {
        static const Contact none;
        if (!quick_)
            return contacts_[i];
        const int at = quick_->record[static_cast<std::size_t>(i)];
        return at < 0 ? contacts_[-(at + 1)] : none;
    }
    QString nameOf(qsizetype i) const
    {
        if (ContactRecord whole; quickRecord(i, whole.bytes.data()))
            return displayName(fromRecord(whole), static_cast<int>(i + 1));
        return displayName(contact(i), static_cast<int>(i + 1));
    }
    void mention(qsizetype i)
    {
        const int number = static_cast<int>(i + 1);
        if (!plan_.names.contains(number))
            plan_.names.insert(number, nameOf(i));
    }

    ContactRecord bookRecord(int n) const
    {
        ContactRecord r;
        std::copy_n(book_.constData() + (n - 1) * kSize, std::min<qint64>(kSize, book_.size() - (n - 1) * kSize), r.bytes.begin());
        return r;
    }

    // What the book holds, to spot contacts it already has: for a key that
    // several records share, the last of them.
    void indexBook()
    {
        emails_.emplace(plan_.bookCount);
        names_.emplace(plan_.bookCount);
        for (int n = 1; n <= plan_.bookCount; ++n) {
            const ContactRecord r = bookRecord(n);
            keyInto(email_, fieldOf(r.bytes.data(), Field::Email));
            if (!email_.isEmpty())
                emails_->insert(email_, n);
            nameKeyInto(name_, scratch_, fieldOf(r.bytes.data(), Field::FirstName), fieldOf(r.bytes.data(), Field::LastName));
            if (!name_.isEmpty())
                names_->insert(name_, n);
        }
    }

    // When every contact was read straight into its record, in order, those
    // records are the plan's as they stand; otherwise each is added.
    bool takeReadyRecords(qsizetype taken)
    {
        bool allReady = quick_ && static_cast<qsizetype>(quick_->record.size()) >= taken && quick_->records.size() >= taken;
        for (qsizetype i = 0; allReady && i < taken; ++i)
            allReady = quick_->record[static_cast<std::size_t>(i)] == i;
        if (allReady) {
            plan_.records = quick_->records;   // the text shared, not copied
            plan_.records.truncate(taken);
        } else {
            plan_.records.reserve(taken, quick_ ? quick_->records.packedSize() + taken * 64 : taken * 64);
        }
        return allReady;
    }

    void planContact(qsizetype i, bool allReady)
    {
        const Contact& c = contact(i);
        // The contact's record, whole, written here unless the records are ready.
        char* const w = allReady ? nullptr : record_.bytes.data();
        if (!allReady && !quickRecord(i, w))
            for (Field f : kAllFields)
                storeField(i, c, f, w);
        if (!c.notKept.isEmpty()) {
            plan_.notKept << ImportPlan::NotKept{static_cast<int>(i + 1), c.notKept};
            mention(i);
        }
        if (w && w[0] == '\0')   // a record, never a free slot (a quick one never is)
            put(w, Field::FirstName, " ");
        findDuplicate(i, w);
        if (w)
            plan_.records.append(w);
        plan_.contacts << static_cast<int>(i + 1);
    }

    // The field's value stored at `w`, and what the code page or the
    // field's width does not keep of it named.
    void storeField(qsizetype i, const Contact& c, Field f, char* w)
    {
        const int number = static_cast<int>(i + 1);
        QString lost;
        storable(bytes_, c[f], &lost);
        if (!lost.isEmpty()) {
            plan_.unmapped << ImportPlan::Unmapped{number, f, lost};
            mention(i);
        }
        const std::size_t width = layoutOf(f).width;
        if (bytes_.size() > width) {
            mention(i);
            if (f == Field::Comments && !c.extras.isEmpty())
                leaveOut(number, c, width);
            else
                plan_.cuts << ImportPlan::Cut{number, f, static_cast<int>(bytes_.size() - width),
                                              codepage::decode(std::string_view(bytes_).substr(width))};
        }
        put(w, f, bytes_);
    }

    // Each value of Comments that finds no room is named, not a count.
    void leaveOut(int number, const Contact& c, std::size_t width)
    {
        QStringList parts = c.extras;
        if (!c.note.isEmpty())
            parts << c.note;
        std::size_t at = 0;
        for (const QString& part : parts) {
            QString ignored;
            storable(partBytes_, part, &ignored);
            const std::size_t n = partBytes_.size();
            if (at + n > width)
                plan_.leftOut << ImportPlan::LeftOut{number, part, at < width};
            at += n + 2;   // and the line break after it
        }
    }

    // The same e-mail, or else the same name, as a record of the book (the
    // last such) or an earlier contact of the file (the first such).
    void findDuplicate(qsizetype i, const char* w)
    {
        const int number = static_cast<int>(i + 1);
        const auto field = [&](Field f) { return w ? fieldOf(w, f) : plan_.records.field(i, f); };
        keyInto(email_, field(Field::Email));
        nameKeyInto(name_, scratch_, field(Field::FirstName), field(Field::LastName));
        const auto bookEmail = [&](int n) { return key(fieldOf(bookRecord(n).bytes.data(), Field::Email)); };
        const auto bookName = [&](int n) {
            const ContactRecord r = bookRecord(n);
            return nameKey(fieldOf(r.bytes.data(), Field::FirstName), fieldOf(r.bytes.data(), Field::LastName));
        };
        const auto fileEmail = [&](int m) { return key(plan_.records.field(m - 1, Field::Email)); };
        const auto fileName = [&](int m) {
            return nameKey(plan_.records.field(m - 1, Field::FirstName), plan_.records.field(m - 1, Field::LastName));
        };
        const int inBookByEmail = email_.isEmpty() ? 0 : emails_->find(email_, bookEmail, true);
        const int inFileByEmail = email_.isEmpty() ? 0 : fileEmails_->find(email_, fileEmail, false);
        const int inBookByName = name_.isEmpty() ? 0 : names_->find(name_, bookName, true);
        const int inFileByName = name_.isEmpty() ? 0 : fileNames_->find(name_, fileName, false);
        if (inBookByEmail || inFileByEmail) {
            plan_.duplicates << ImportPlan::Duplicate{number, inBookByEmail, inFileByEmail, true};
            mention(i);
        } else if (inBookByName || inFileByName) {
            plan_.duplicates << ImportPlan::Duplicate{number, inBookByName, inFileByName, false};
            mention(i);
        }
        if (!email_.isEmpty() && !inFileByEmail)
            fileEmails_->insert(email_, number);
        if (!name_.isEmpty() && !inFileByName)
            fileNames_->insert(name_, number);
    }

    const QList<Contact>& contacts_;
    const QuickRecords* const quick_;
    const QByteArray& book_;
    ImportPlan& plan_;
    std::optional<KeyIndex> emails_, names_, fileEmails_, fileNames_;
    QByteArray email_, name_, scratch_;   // keys, their room used again
    std::string bytes_, partBytes_;       // one field's bytes, reused
    ContactRecord record_;
};

} // namespace

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
    ImportPlan plan;
    plan.skipped = read.skipped;
    plan.photosSkipped = read.photosSkipped;
    Planner(contacts, quick, book, plan).run();
    return plan;
}

} // namespace pb::exchange
