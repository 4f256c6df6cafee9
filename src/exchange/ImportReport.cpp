// The plan of an import told: a paragraph for the question, the details
// line by line.
#include "exchange/Import.h"

#include "platform/Codepage.h"

#include <QFileInfo>

namespace pb::exchange {

namespace {

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
