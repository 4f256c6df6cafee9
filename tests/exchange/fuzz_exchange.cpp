// libFuzzer target for the vCard and CSV readers and the import plan: any
// bytes, no crash, no sanitizer finding, every contact read survives being
// written again, no planned record is a free slot, and the quick way to a
// plan gives the plan the usual way gives.
#include "exchange/Exchange.h"
#include "exchange/Import.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace pb::exchange;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    ReadReport report;
    const QList<Contact> cards = readVCard(bytes, &report);
    if (readVCard(writeVCard(cards), nullptr).size() != cards.size())
        std::abort();
    const QList<Contact> rows = readCsv(bytes, &report);
    for (const Contact& c : rows)
        (void)toRecord(c);
    (void)writeCsv(rows);

    // The same bytes as a book the contacts go into.
    const ImportPlan plan = planImport(cards + rows, report, bytes);
    if (plan.count() > cards.size() + rows.size() || plan.records.size() != plan.count())
        std::abort();
    for (int i = 0; i < plan.count(); ++i)
        if (plan.record(i).isFree())
            std::abort();
    (void)summary(plan, QStringLiteral("fuzz.vcf"));
    (void)details(plan);

    // Contacts read straight into records plan what the usual way plans, as
    // cards and as rows.
    for (const bool csv : {false, true}) {
        ReadReport usualRead, quickRead;
        const QList<Contact> usual = csv ? readCsv(bytes, &usualRead) : readVCard(bytes, &usualRead);
        const ImportPlan want = planImport(usual, usualRead, QByteArray());
        QByteArray leftOut;
        const ImportPlan got = planFileImport(bytes, csv ? QStringLiteral("fuzz.csv") : QStringLiteral("fuzz.vcf"), &quickRead,
                                              QByteArray(), &leftOut);
        // Bytes that are no text at all are refused whole, with the reason.
        if (!notText(QByteArrayView(bytes).first(std::min<qsizetype>(bytes.size(), 4096))).isEmpty()) {
            if (got.blocked.isEmpty() || got.count() != 0)
                std::abort();
            continue;
        }
        if (!(got.records == want.records) || got.contacts != want.contacts || got.names != want.names || got.cuts != want.cuts ||
            got.leftOut != want.leftOut || got.notKept != want.notKept || got.unmapped != want.unmapped ||
            got.duplicates != want.duplicates || got.skipped != want.skipped || got.photosSkipped != want.photosSkipped ||
            leftOut != leftOutCards(usual, want))
            std::abort();
    }
    return 0;
}
