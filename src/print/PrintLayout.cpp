#include "print/PrintLayout.h"

#include "platform/Codepage.h"
#include "records/FileIo.h"
#include "records/Phonebook.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstring>

namespace pb {

namespace {
const QString kCrLf = QStringLiteral("\r\n");
}

QString CurrentRecordText(const ShownContact& s)
{
    const auto& f = s.fields;
    return QStringLiteral("  (") + s.record + QStringLiteral(")") + kCrLf +                          //
           QStringLiteral("Name: ") + f[0] + f[1] + kCrLf +                                           //
           QStringLiteral("Phone: ") + f[2] + kCrLf +                                                 //
           QStringLiteral("E-mail: ") + f[3] + kCrLf +                                                //
           QStringLiteral("Company: ") + f[4] + kCrLf +                                               //
           QStringLiteral("Address: ") + f[5] + kCrLf +                                               //
           QStringLiteral("Comments: ") + f[6];
}

QString RecordBlock(int n, const ContactRecord& r)
{
    QString out;
    out.reserve(480);
    out.append(QString::number(n)).append(kCrLf);
    out.append(QLatin1String("Name: ")).append(FieldText(r, Field::FirstName)).append(QLatin1String("  "));
    out.append(FieldText(r, Field::LastName)).append(kCrLf);
    out.append(QLatin1String("Phone: ")).append(FieldText(r, Field::Phone)).append(kCrLf);
    out.append(QLatin1String("E-mail: ")).append(FieldText(r, Field::Email)).append(kCrLf);
    out.append(QLatin1String("Company: ")).append(FieldText(r, Field::Company)).append(kCrLf);
    out.append(QLatin1String("Address: ")).append(FieldText(r, Field::Address)).append(kCrLf);
    out.append(QLatin1String("Comments: ")).append(FieldText(r, Field::Comments)).append(kCrLf);
    out.append(kCrLf);
    return out;
}

bool WritePrintFile(Phonebook& book, int count, QString* error)
{
    std::string out;
    out.reserve(static_cast<std::size_t>(std::max(count, 0)) * 300);
    RecordScanner records = book.scanner(1);   // leaves the buffer on the last record read
    ContactRecord record;
    for (int n = 1; n <= count; ++n) {
        // A record that cannot be read would leave the rest of the book out
        // of the file without anyone knowing.
        const char* r = records.next();
        if (!r) {
            if (error) {
                const QString reason = book.phonebookFile().errorString();
                *error = QStringLiteral("Record %1 could not be read").arg(n) +
                         (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason);
            }
            return false;
        }
        std::memcpy(record.bytes.data(), r, kRecordSize);
        out.push_back('"');
        out.append(codepage::encode(RecordBlock(n, record)));
        out.append("\"\r\n");
    }
    // The file is replaced whole: a failed write leaves the last one as it
    // was, and a link or a pipe under its name is never written through.
    QString why;
    if (!io::writeWholeFile(QDir::current().filePath(QString::fromLatin1(kPrintFileName)),
                            QByteArray::fromRawData(out.data(), static_cast<qsizetype>(out.size())), &why)) {
        if (error)
            *error = why;
        return false;
    }
    return true;
}

} // namespace pb
