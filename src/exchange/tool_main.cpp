// z8p-phonebook-tool: the book in the current folder from the command line,
// for scripts and backups.
//   z8p-phonebook-tool export FILE.vcf|FILE.csv [--vcard4]
//   z8p-phonebook-tool check
#include "exchange/Exchange.h"
#include "platform/Codepage.h"
#include "platform/SettingsStore.h"
#include "records/Phonebook.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QSaveFile>

#include <cstdio>

namespace {

int usage()
{
    std::fputs("usage: z8p-phonebook-tool export FILE.vcf|FILE.csv [--vcard4]\n"
               "       z8p-phonebook-tool check\n",
               stderr);
    return 2;
}

QByteArray bookBytes(bool* ok)
{
    QFile f(QString::fromLatin1(pb::kPhonebookFileName));
    if (!f.exists()) {
        *ok = true;
        return {};
    }
    *ok = f.open(QIODevice::ReadOnly);
    const QByteArray bytes = *ok ? f.readAll() : QByteArray();
    if (!*ok || f.error() != QFileDevice::NoError) {
        std::fprintf(stderr, "z8p-phonebook-tool: %s: %s\n", pb::kPhonebookFileName, qPrintable(f.errorString()));
        *ok = false;
    }
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();

    // The files' code page, as the program chooses it.
    pb::SettingsStore settings;
    const auto pinned = pb::codepage::parse(
        settings.get(QStringLiteral("RiveVozuDezi"), QStringLiteral("Phonebook"), QStringLiteral("CodePage"), QString()));
    pb::codepage::setCurrent(pinned.value_or(pb::codepage::forLocale(QLocale::system())));

    bool ok = false;
    const QByteArray bytes = bookBytes(&ok);
    if (!ok)
        return 1;
    const pb::exchange::BookCheck check = pb::exchange::checkBook(bytes);

    if (args[0] == QLatin1String("check") && args.size() == 1) {
        std::printf("%s\n", qPrintable(pb::exchange::describe(check)));
        return check.clean() ? 0 : 1;
    }
    if (args[0] == QLatin1String("export") && (args.size() == 2 || (args.size() == 3 && args[2] == QLatin1String("--vcard4")))) {
        // The records the program shows: 1 up to the count.
        QList<pb::exchange::Contact> contacts;
        for (int n = 0; n < check.count; ++n) {
            pb::ContactRecord r;
            std::copy_n(bytes.constData() + n * static_cast<qsizetype>(pb::kRecordSize), pb::kRecordSize, r.bytes.begin());
            contacts << pb::exchange::fromRecord(r);
        }
        const QString target = args[1];
        const QByteArray out = target.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)
                                   ? pb::exchange::writeCsv(contacts)
                                   : pb::exchange::writeVCard(contacts, args.size() == 3 ? pb::exchange::VCardVersion::V40
                                                                                          : pb::exchange::VCardVersion::V30);
        QSaveFile file(target);
        if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size() || !file.commit()) {
            std::fprintf(stderr, "z8p-phonebook-tool: %s: %s\n", qPrintable(target), qPrintable(file.errorString()));
            return 1;
        }
        std::printf("%lld contacts written to %s\n", static_cast<long long>(contacts.size()), qPrintable(target));
        return 0;
    }
    return usage();
}
