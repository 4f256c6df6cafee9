// libFuzzer target for the vCard and CSV readers: any bytes, no crash, no
// sanitizer finding, and every contact read survives being written again.
#include "exchange/Exchange.h"

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
    return 0;
}
