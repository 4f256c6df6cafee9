// The sync's own part (read the book, compare it with the last sync, plan,
// write the records and the sync state) on a full book, against an address
// book in memory, so that only this program's work is timed.
//
//   bench_sync [--records N] [--reps R]
//
// Each case is reported as a ratio to one flushed read and write of the
// book's bytes in the same run, and with the memory it took above what was
// resident before it. It reports; it does not judge.

#include "records/ContactRecord.h"
#include "records/Phonebook.h"
#include "support/FakeCardDav.h"
#include "sync/CardDav.h"
#include "sync/SyncJob.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

using namespace pb;

namespace {

using Clock = std::chrono::steady_clock;
const QString kBook = QStringLiteral("http://127.0.0.1/user/contacts/");

double msSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

long statusKb(const char* key)
{
    long kb = 0;
    if (FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        const std::size_t n = std::strlen(key);
        while (std::fgets(line, sizeof line, f))
            if (std::strncmp(line, key, n) == 0) {
                kb = std::atol(line + n);
                break;
            }
        std::fclose(f);
    }
    return kb;
}

void resetPeak()
{
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

// Names and places of several languages, some outside the code page (kept
// as "?"), values of every length up to their fields' widths and past them.
QByteArray realisticBook(int count)
{
    static const char16_t* const firsts[] = {u"Anna", u"Bjørn", u"Chloé", u"Dmitri", u"Eleni", u"Fatima", u"Grzegorz",
                                             u"Hiroshi", u"Ingrid", u"José", u"Katarzyna", u"Łukasz", u"Zoë", u"Øyvind"};
    static const char16_t* const lasts[] = {u"Müller", u"O'Brien", u"Nováková", u"Smith-Jones", u"García Márquez",
                                            u"Ἀλέξανδρος", u"Тихонов", u"van der Berg", u"Ng", u"Kowalczyk"};
    QByteArray out;
    out.reserve(qsizetype(count) * kRecordSize);
    unsigned seed = 12345;
    const auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (int i = 1; i <= count; ++i) {
        ContactRecord r;
        r.store(Field::FirstName, QString::fromUtf16(firsts[next() % 14]));
        r.store(Field::LastName, QString::fromUtf16(lasts[next() % 10]) + QString::number(i));
        r.store(Field::Phone, QStringLiteral("+%1 %2 %3").arg(next() % 90 + 10).arg(next() % 900 + 100).arg(i));
        if (next() % 4)
            r.store(Field::Email, QStringLiteral("person.%1@mail%2.example.org").arg(i).arg(next() % 50));
        if (next() % 3 == 0)
            r.store(Field::Company, QStringLiteral("Very Long Company Name Holdings International %1 GmbH & Co. KG, Sales").arg(i));
        r.store(Field::Address, QStringLiteral("%1 Long Street\r\nApartment %2\r\nSome Town 12345\r\nCountry").arg(i).arg(next() % 200));
        if (next() % 5 == 0)
            r.store(Field::Comments, QStringLiteral("Met at the conference in %1; prefers calls after six. ✓").arg(2000 + i % 25));
        out.append(r.bytes.data(), kRecordSize);
    }
    return out;
}

// One read of the whole book and one flushed write of its bytes.
double flushedReadWrite(const QString& book)
{
    const auto t0 = Clock::now();
    QFile in(book);
    if (!in.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray bytes = in.readAll();
    const int fd = ::open(qPrintable(book + QStringLiteral(".copy")), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || ::write(fd, bytes.constData(), std::size_t(bytes.size())) != bytes.size())
        std::perror("write");
    ::fsync(fd);
    ::close(fd);
    return msSince(t0);
}

struct Run {
    double ms = 0;
    long extraKb = 0;
    sync::SyncReport report;
};

Run syncOnce(Phonebook& book, test::FakeCardDav& server, sync::SyncOptions options = {})
{
    Run run;
    malloc_trim(0);   // what earlier runs freed given back, so that the peak is this run's
    const long before = statusKb("VmRSS:");
    resetPeak();
    const auto t0 = Clock::now();
    sync::CardDav dav(server, QUrl(kBook));
    run.report = sync::SyncJob(book, dav, kBook, options).run();
    run.ms = msSince(t0);
    run.extraKb = statusKb("VmHWM:") - before;
    server.log.clear();
    return run;
}

// Every hundredth record's number changed, here (as the window would write
// it) or there (as the phone would).
void changeHere(int count, int rep)
{
    QFile f(QStringLiteral("DravikBase.z8B"));
    if (!f.open(QIODevice::ReadWrite))
        return;
    for (int r = 1 + rep; r <= count; r += 100) {
        ContactRecord rec;
        f.seek(qint64(r - 1) * kRecordSize);
        f.read(reinterpret_cast<char*>(rec.bytes.data()), kRecordSize);
        rec.store(Field::Phone, QStringLiteral("+1 555 %1 %2").arg(rep).arg(r));
        f.seek(qint64(r - 1) * kRecordSize);
        f.write(reinterpret_cast<const char*>(rec.bytes.data()), kRecordSize);
    }
}

void changeThere(test::FakeCardDav& server, int rep)
{
    int i = 0;
    for (auto it = server.cards.begin(); it != server.cards.end(); ++it, ++i)
        if (i % 100 == rep) {
            QByteArray data = it->data;
            const qsizetype at = data.indexOf("\r\nEMAIL");
            if (at > 0)
                data.insert(at, "\r\nTITLE:Changed " + QByteArray::number(rep));
            server.putCard(it.key(), data);
        }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int records = 32767, reps = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::string(argv[i]) == "--records")
            records = std::clamp(std::atoi(argv[i + 1]), 2, 32767);
        else if (std::string(argv[i]) == "--reps")
            reps = std::clamp(std::atoi(argv[i + 1]), 1, 50);
    }
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    {
        QFile f(QStringLiteral("DravikBase.z8B"));
        if (!f.open(QIODevice::WriteOnly) || f.write(realisticBook(records)) < 0)
            return 1;
    }
    Phonebook book;
    book.openPhonebookFile();
    test::FakeCardDav server;
    const qint64 bookKb = QFile(QStringLiteral("DravikBase.z8B")).size() / 1024;

    std::vector<double> base;
    for (int i = 0; i < reps; ++i)
        base.push_back(flushedReadWrite(QStringLiteral("DravikBase.z8B")));
    const double baseline = *std::min_element(base.begin(), base.end());
    std::printf("%d records, %lld kB; a flushed read and write of the book: %.1f ms\n", records,
                static_cast<long long>(bookKb), baseline);
    std::printf("%-44s %10s %8s %12s %8s\n", "case", "ms", "ratio", "memory kB", "× book");

    const bool verbose = qEnvironmentVariableIsSet("PB_BENCH_VERBOSE");
    const auto show = [&](const char* what, const Run& r) {
        if (verbose)
            for (const QString& line : r.report.details.mid(0, 5))
                std::printf("    %s\n", qPrintable(line));
        std::printf("%-44s %10.1f %8.2f %12ld %8.2f   %s\n", what, r.ms, r.ms / baseline, r.extraKb,
                    double(r.extraKb) / double(bookKb), qPrintable(r.report.summary()));
    };
    show("first sync: the whole book sent", syncOnce(book, server));
    const auto bestOf = [&](const char* what, const std::function<void(int)>& prepare) {
        Run best;
        best.ms = 1e18;
        for (int rep = 0; rep < reps; ++rep) {
            prepare(rep);
            Run r = syncOnce(book, server);
            if (r.ms < best.ms)
                best = r;
        }
        show(what, best);
    };
    bestOf("nothing changed", [](int) {});
    bestOf("1 % changed here", [&](int rep) { changeHere(records, rep + 1); });
    bestOf("1 % changed there", [&](int rep) { changeThere(server, rep + 1); });
    bestOf("1 % changed on each side", [&](int rep) {
        changeHere(records, rep + 11);
        changeThere(server, rep + 21);
    });
    return 0;
}
