#include "exchange/Import.h"

#include "platform/Codepage.h"
#include "records/Phonebook.h"
#include "records/RecordNumber.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSet>

#include <algorithm>

namespace pb::exchange {

namespace {

constexpr qint64 kSize = static_cast<qint64>(kRecordSize);

QString fieldName(Field f)
{
    static const char* const names[] = {"FirstName", "LastName", "Phone", "E-mail", "Company", "Address", "Comments"};
    return QLatin1String(names[static_cast<int>(f)]);
}

bool plainByte(char b)
{
    const auto c = static_cast<unsigned char>(b);
    return (c >= 0x20 && c != 0x7F) || c == '\r' || c == '\n' || c == '\t';
}

// The bytes the code page stores for the text. Control characters other
// than line breaks and tabs (which would end or hide the field) and
// characters the code page has no byte for become '?'; those are returned
// in `lost`.
std::string storable(const QString& text, QString* lost)
{
    std::string bytes = codepage::encode(text);
    if (std::all_of(bytes.begin(), bytes.end(), plainByte) && codepage::decode(bytes) == text)
        return bytes;   // the common case: every character has its byte
    bytes.clear();
    for (char32_t c : text.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        const std::string b = codepage::encode(one);
        if (b.size() != 1 || !plainByte(b[0]) || codepage::decode(b) != one) {
            if (!lost->contains(one))
                *lost += one;
            bytes += '?';
        } else {
            bytes += b;
        }
    }
    return bytes;
}

// Stores bytes already in the code page: cut to the field's width or space
// padded to it.
void put(ContactRecord& r, Field f, const std::string& bytes)
{
    const FieldLayout l = layoutOf(f);
    const std::size_t n = std::min(bytes.size(), l.width);
    std::copy_n(bytes.data(), n, r.bytes.begin() + static_cast<std::ptrdiff_t>(l.offset));
    std::fill_n(r.bytes.begin() + static_cast<std::ptrdiff_t>(l.offset + n), l.width - n, ' ');
}

QString key(const ContactRecord& r, Field f)
{
    return FieldText(r, f).trimmed().toCaseFolded();
}

QString nameKey(const ContactRecord& r)
{
    const QString first = key(r, Field::FirstName), last = key(r, Field::LastName);
    return first.isEmpty() && last.isEmpty() ? QString() : first + QChar(0x1F) + last;
}

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

QList<Contact> readContacts(const QByteArray& data, const QString& fileName, ReadReport* report)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("csv"))
        return readCsv(data, report);
    if (suffix == QLatin1String("vcf") || suffix == QLatin1String("vcard"))
        return readVCard(data, report);
    return data.left(4096).toUpper().contains("BEGIN:VCARD") ? readVCard(data, report) : readCsv(data, report);
}

QList<ContactRecord> ImportPlan::records(bool skipDuplicates) const
{
    QSet<int> dropped;
    if (skipDuplicates)
        for (const Duplicate& d : duplicates)
            dropped.insert(d.contact);
    QList<ContactRecord> out;
    out.reserve(entries.size());
    for (const Entry& e : entries)
        if (!dropped.contains(e.contact))
            out << e.record;
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
    ImportPlan plan;
    plan.skipped = read.skipped;
    plan.photosSkipped = read.photosSkipped;

    const BookCheck check = checkBook(book);
    plan.bookCount = check.count;
    if (!check.uncounted.isEmpty())
        plan.blocked = QStringLiteral("The book holds records after a free slot (record %1), which new records would "
                                      "overwrite. Check the book and repair it first.")
                           .arg(check.freeSlots.value(0, check.count + 1));

    // What the book holds, to spot contacts it already has.
    QHash<QString, int> emails, names;
    for (int n = 1; n <= check.count; ++n) {
        ContactRecord r;
        std::copy_n(book.constData() + (n - 1) * kSize, std::min<qint64>(kSize, book.size() - (n - 1) * kSize), r.bytes.begin());
        if (const QString e = key(r, Field::Email); !e.isEmpty())
            emails.insert(e, n);
        if (const QString k = nameKey(r); !k.isEmpty())
            names.insert(k, n);
    }
    QHash<QString, int> fileEmails, fileNames;

    const int room = kMaxRecord - check.count;
    plan.entries.reserve(std::min<qsizetype>(room, contacts.size()));
    for (qsizetype i = 0; i < contacts.size(); ++i) {
        const int number = static_cast<int>(i + 1);
        const Contact& c = contacts[i];
        if (plan.entries.size() >= room) {
            plan.skipped << QStringLiteral("Contacts %1 to %2: the book holds at most %3 records.")
                                .arg(number)
                                .arg(contacts.size())
                                .arg(kMaxRecord);
            break;
        }
        ImportPlan::Entry e{number, {}, displayName(c, number)};
        for (Field f : kAllFields) {
            QString lost;
            const std::string bytes = storable(c[f], &lost);
            if (!lost.isEmpty())
                plan.unmapped << ImportPlan::Unmapped{number, f, lost};
            const std::size_t width = layoutOf(f).width;
            if (bytes.size() > width)
                plan.cuts << ImportPlan::Cut{number, f, static_cast<int>(bytes.size() - width)};
            put(e.record, f, bytes);
        }
        if (e.record.isFree())
            e.record.store(Field::FirstName, QStringLiteral(" "));

        const QString email = key(e.record, Field::Email), name = nameKey(e.record);
        if (!email.isEmpty() && (emails.contains(email) || fileEmails.contains(email)))
            plan.duplicates << ImportPlan::Duplicate{number, emails.value(email), fileEmails.value(email), true};
        else if (!name.isEmpty() && (names.contains(name) || fileNames.contains(name)))
            plan.duplicates << ImportPlan::Duplicate{number, names.value(name), fileNames.value(name), false};
        if (!email.isEmpty() && !fileEmails.contains(email))
            fileEmails.insert(email, number);
        if (!name.isEmpty() && !fileNames.contains(name))
            fileNames.insert(name, number);
        plan.entries << e;
    }
    return plan;
}

QString summary(const ImportPlan& plan, const QString& fileName)
{
    const QString file = QFileInfo(fileName).fileName();
    if (!plan.blocked.isEmpty())
        return QStringLiteral("Nothing can be imported from %1.\n\n%2").arg(file, plan.blocked);
    if (plan.entries.isEmpty())
        return QStringLiteral("%1 holds no contacts to import.").arg(file);
    QStringList lines;
    lines << QStringLiteral("%1 from %2 will be added after record %3 (the book then holds %4 records).")
                 .arg(counted(plan.entries.size(), "contact", "contacts"), file)
                 .arg(plan.bookCount)
                 .arg(plan.bookCount + plan.entries.size());
    if (!plan.cuts.isEmpty())
        lines << QStringLiteral("%1 longer than the book keeps and will be cut.").arg(counted(plan.cuts.size(), "field is", "fields are"));
    if (!plan.unmapped.isEmpty())
        lines << QStringLiteral("%1 characters the book cannot store; they become \"?\".")
                     .arg(counted(plan.unmapped.size(), "field holds", "fields hold"));
    if (const int d = plan.duplicateCount())
        lines << QStringLiteral("%1 like ones already there.").arg(counted(d, "contact looks", "contacts look"));
    if (!plan.skipped.isEmpty() || plan.photosSkipped)
        lines << QStringLiteral("Some of the file is left out (see the details).");
    return lines.join(u'\n');
}

QString details(const ImportPlan& plan)
{
    QHash<int, QString> names;
    for (const ImportPlan::Entry& e : plan.entries)
        names.insert(e.contact, e.name);
    const auto who = [&](int contact) { return names.value(contact, QStringLiteral("contact %1").arg(contact)); };

    QStringList parts;
    if (!plan.cuts.isEmpty()) {
        QStringList items;
        for (const ImportPlan::Cut& c : plan.cuts)
            items << QStringLiteral("%1: %2 loses its last %3 characters").arg(who(c.contact), fieldName(c.field)).arg(c.lost);
        parts << QStringLiteral("Cut to the field's width:\n") + listOf(items, 200);
    }
    if (!plan.unmapped.isEmpty()) {
        QStringList items;
        for (const ImportPlan::Unmapped& u : plan.unmapped) {
            QString chars;
            for (char32_t c : u.characters.toUcs4())
                chars += (c < 0x20 || c == 0x7F) ? QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QChar(u'0')).toUpper()
                                                 : QString::fromUcs4(&c, 1);
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

bool appendRecords(Phonebook& book, int after, const QList<ContactRecord>& records, QString* error)
{
    if (records.isEmpty())
        return true;
    const int count = static_cast<int>(records.size());
    if (after < 0 || after + count > kMaxRecord) {
        *error = QStringLiteral("The book holds at most %1 records.").arg(kMaxRecord);
        return false;
    }
    std::vector<char> block(static_cast<std::size_t>(count) * kRecordSize);
    for (int i = 0; i < count; ++i)
        std::copy(records[i].bytes.begin(), records[i].bytes.end(), block.begin() + static_cast<std::ptrdiff_t>(i) * static_cast<std::ptrdiff_t>(kRecordSize));
    Phonebook::Change change(book, after + 1, after + count);
    if (!change.ok() || !book.writeRecords(after + 1, count, block.data()) || !change.commit()) {
        *error = book.phonebookError();
        return false;
    }
    return true;
}

bool readBook(Phonebook& book, QByteArray* bytes, QString* error)
{
    RecordFile& file = book.phonebookFile();
    const qint64 length = file.length();
    if (length < 0) {
        *error = book.phonebookError();
        return false;
    }
    // Records past the last number never count; a last one cut short is read
    // as the program reads it, completed with zero bytes.
    const qint64 records = std::min<qint64>((length + kSize - 1) / kSize, kMaxRecord);
    const qint64 kept = std::min(length, records * kSize);
    bytes->resize(records * kSize);
    if (records > 0 && !file.readRange(1, static_cast<int>(records), bytes->data())) {
        *error = file.errorString();
        return false;
    }
    bytes->truncate(kept);
    return true;
}

QString backupName(const QDateTime& when)
{
    return QString::fromLatin1(kPhonebookFileName) + u'.' + when.toString(QStringLiteral("yyyy-MM-ddTHHmmss")) +
           QStringLiteral(".bak");
}

bool repairBook(Phonebook& book, const QString& backupPath, RepairResult* result, QString* error)
{
    QByteArray bytes;
    if (!readBook(book, &bytes, error))
        return false;
    const BookCheck check = checkBook(bytes);
    *result = {};
    result->records = check.count;
    if (check.freeSlots.isEmpty() && check.uncounted.isEmpty() && check.strayBytes == 0)
        return true;

    // The copy first, whole and on the disk, never over an existing file.
    if (QFileInfo::exists(backupPath)) {
        *error = QStringLiteral("%1 already exists.").arg(backupPath);
        return false;
    }
    QSaveFile copy(backupPath);
    if (!copy.open(QIODevice::WriteOnly) || copy.write(bytes) != bytes.size() || !copy.commit()) {
        *error = QStringLiteral("The backup copy %1 could not be written: %2").arg(backupPath, copy.errorString());
        return false;
    }
    result->backup = backupPath;

    // The records in their order, without the free slots between them.
    const qint64 total = (bytes.size() + kSize - 1) / kSize;
    bytes.resize(total * kSize, '\0');
    QByteArray kept;
    kept.reserve(bytes.size());
    for (qint64 i = 0; i < total; ++i)
        if (bytes[i * kSize] != '\0')
            kept.append(bytes.constData() + i * kSize, kSize);
    const int records = static_cast<int>(kept.size() / kSize);
    const int last = static_cast<int>(std::max<qint64>(total, (book.phonebookFile().length() + kSize - 1) / kSize));
    Phonebook::Change change(book, 1, std::min(last, kMaxRecord));
    if (!change.ok() || !book.writeRecords(1, records, kept.constData()) ||
        !book.truncateBook(static_cast<qint64>(records) * kSize) || !change.commit()) {
        *error = book.phonebookError();
        return false;
    }
    result->changed = true;
    result->records = records;
    return true;
}

} // namespace pb::exchange
