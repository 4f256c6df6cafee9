// vCards read into contacts, and the plain ones straight into records.
#include "exchange/Exchange.h"
#include "exchange/FilePieces.h"
#include "exchange/RecordDraft.h"
#include "exchange/TextDecoding.h"
#include "exchange/vcard/PlainCard.h"
#include "exchange/vcard/VCardContact.h"
#include "exchange/vcard/VCardLine.h"

#include <QFile>

#include <optional>

namespace pb::exchange {

using namespace detail;

namespace {

// Reads the cards of a text handed over in pieces, each ending where a
// line that begins a card starts (no line is ever cut), into contacts and,
// when asked, straight into records.
class VCardReader
{
public:
    VCardReader(ReadReport* report, QuickRecords* quick, qint64 total) : report_(report), quick_(quick), total_(total)
    {
        fallbackPage = report && report->codePage ? report->codePage : 1252;
        const qsizetype likely = static_cast<qsizetype>(total / 256);   // cards, at about the size of a small one
        if (!quick) {
            out_.reserve(likely);
            memory::preferHugePages(out_.constData(), static_cast<std::size_t>(out_.capacity()) * sizeof(Contact));
            return;
        }
        room_.emplace(quick, total, 64);   // no card is much smaller
    }

    bool stopped() const { return stopped_; }

    // The next piece, which begins `at` bytes into the text.
    void read(QByteArrayView text, qint64 at)
    {
        piece_ = text.data();
        pieceAt_ = at;
        const char* p = text.data();
        const char* const end = p + text.size();
        while (p < end && !stopped_) {
            if (quick_ && !inCard_ && agentDepth_ == 0 && beginsCard(p, end)) {
                if (const char* after = plain_.read(p, end, room_->next())) {
                    room_->keep();
                    p = after;
                    if (!goOn(p))
                        break;
                    continue;
                }
                // Otherwise read the usual way below.
            }
            // The usual way, until the reading is outside any card again
            // (without records to read straight, to the end).
            p = forEachLogicalLine(QByteArrayView(p, end), [this](QByteArrayView line, const char* from, const char* to) {
                return this->line(line, from, to) && (!quick_ || inCard_ || agentDepth_ > 0);
            });
        }
        // A card that goes on in the next piece keeps what it has of its source.
        if (inCard_ && !stopped_) {
            const char* from = cardFrom_ ? cardFrom_ : piece_;
            pendingSource_.append(from, end - from);
            cardFrom_ = nullptr;
        }
    }

    QList<Contact> finish()
    {
        if (inCard_ && !stopped_)
            finishCard(nullptr, false);
        if (report_ && !unknownCharsets_.isEmpty())
            report_->skipped << QStringLiteral("Character sets this program does not know (read as UTF-8 or code page %1): %2")
                                    .arg(fallbackPage)
                                    .arg(unknownCharsets_.join(QStringLiteral(", ")));
        return std::move(out_);
    }

private:
    // Whether the line at `p` is a BEGIN:VCARD line.
    static bool beginsCard(const char* p, const char* end)
    {
        const QByteArrayView line(p, lineEnd(p, end) - p);
        const qsizetype colon = colonOf(line);
        return colon >= 0 && cardMark(line, colon, kindOf(nameOf(line.first(colon))), Prop::Begin);
    }

    // The contacts read so far, either way.
    qsizetype contactsRead() const { return quick_ ? static_cast<qsizetype>(quick_->record.size()) : out_.size(); }

    // Tells how far reading has come now and then; false once told to stop.
    bool goOn(const char* at)
    {
        if (!report_ || !report_->progress || contactsRead() < toldAt_ + 256)
            return true;
        toldAt_ = contactsRead();
        if (report_->progress(pieceAt_ + (at - piece_), total_))
            return true;
        stopped_ = true;
        report_->cancelled = true;
        return false;
    }

    // Ends the card being read at `to` (nullptr: where the text ended).
    void finishCard(const char* to, bool whole)
    {
        const qsizetype number = contactsRead() + 1;
        if (room_)
            room_->listed(out_.size());
        Contact c = contactFrom(card_, report_);
        c.source = std::exchange(pendingSource_, QByteArray());
        if (to) {
            const char* from = cardFrom_ ? cardFrom_ : piece_;
            c.source.append(from, to - from);
        }
        if (!whole) {
            c.source.append("END:VCARD\r\n");
            if (report_)
                report_->skipped << QStringLiteral("Contact %1: a card without its END:VCARD line (imported as far as it goes)")
                                        .arg(number);
        }
        out_ << std::move(c);
        card_.clear();
        inCard_ = false;
        cardFrom_ = nullptr;
    }

    // One logical line, read the usual way; false once told to stop.
    bool line(QByteArrayView line, const char* from, const char* to)
    {
        if (!goOn(from))
            return false;
        if (line.trimmed().isEmpty())
            return true;
        const qsizetype colon = colonOf(line);
        const Prop kind = colon < 0 ? Prop::Other : kindOf(nameOf(line.first(colon)));
        const bool begins = colon >= 0 && cardMark(line, colon, kind, Prop::Begin);
        const bool ends = colon >= 0 && cardMark(line, colon, kind, Prop::End);
        if (agentDepth_ > 0) {
            // The lines of a card embedded in a property belong to it.
            agentDepth_ += begins ? 1 : ends ? -1 : 0;
            return true;
        }
        if (begins) {
            if (inCard_)
                finishCard(from, false);   // a card that never ended
            card_.clear();
            inCard_ = true;
            cardFrom_ = from;
        } else if (ends && inCard_) {
            finishCard(to, true);
        } else if (inCard_ && colon < 0) {
            if (report_)
                report_->skipped << QStringLiteral("Contact %1: a line that is no property: %2")
                                        .arg(contactsRead() + 1)
                                        .arg(QString::fromUtf8(line.first(std::min<qsizetype>(60, line.size()))));
        } else if (inCard_) {
            if (kind == Prop::Agent && startsWithLetters(line.sliced(colon + 1).trimmed(), "BEGIN:VCARD"))
                agentDepth_ = 1;   // vCard 2.1: the agent's card follows on the next lines
            if (kind != Prop::Begin && kind != Prop::End && kind != Prop::Meta) {
                if (kind == Prop::Other) {
                    Property p;
                    p.name = QString::fromLatin1(nameOf(line.first(colon))).toUpper();
                    card_ << p;   // named in the report, never parsed
                } else {
                    card_ << parseLine(line, colon, kind, &unknownCharsets_);
                }
            }
        } else if (report_) {
            report_->skipped << QStringLiteral("A line outside any card: %1").arg(QString::fromUtf8(line.first(std::min<qsizetype>(60, line.size()))));
        }
        return true;
    }

    ReadReport* const report_;
    QuickRecords* const quick_;
    const qint64 total_;
    QList<Contact> out_;
    PlainCard plain_;
    QList<Property> card_;
    QStringList unknownCharsets_;
    bool inCard_ = false;
    int agentDepth_ = 0;                // inside an embedded (AGENT) card
    const char* cardFrom_ = nullptr;    // where the card began, in this piece
    QByteArray pendingSource_;          // what earlier pieces held of the card
    std::optional<RecordRoom> room_;    // when records are read straight
    const char* piece_ = nullptr;
    qint64 pieceAt_ = 0;
    bool stopped_ = false;
    qsizetype toldAt_ = 0;              // the contacts read when progress was last told
};

// Where the piece of `text` that can be read now ends: before the last line
// that begins with "BEGIN:VCARD" (in any case), the next piece starting
// there; 0 when there is none.
qsizetype pieceEnd(QByteArrayView text)
{
    constexpr qsizetype kBegin = 11;   // "BEGIN:VCARD"
    for (qsizetype q = text.size() - kBegin; q > 0; --q)
        if ((text[q - 1] == '\n' || text[q - 1] == '\r') && (text[q] == 'B' || text[q] == 'b') &&
            sameLetters(text.sliced(q, kBegin), "BEGIN:VCARD"))
            return q;
    return 0;
}

} // namespace

QList<Contact> readVCard(const QByteArray& input, ReadReport* report)
{
    return readVCard(input, report, nullptr);
}

QList<Contact> readVCard(const QByteArray& input, ReadReport* report, QuickRecords* quick)
{
    const QByteArray data = fromUtf16(input);
    QByteArrayView bytes(data);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);   // a UTF-8 mark before the first card
    VCardReader reader(report, quick, bytes.size());
    reader.read(bytes, 0);
    return reader.finish();
}

QList<Contact> readVCard(QFile& in, ReadReport* report, QuickRecords* quick, QString* error, qsizetype piece)
{
    error->clear();
    if (QList<Contact> out; readUtf16File(in, error, &out, [&](const QByteArray& all) { return readVCard(all, report, quick); }))
        return out;
    const QByteArray mark = in.peek(3);
    if (mark == "\xEF\xBB\xBF")
        in.skip(3);
    const qint64 total = in.isSequential() ? 0 : std::max<qint64>(0, in.size() - in.pos());
    VCardReader reader(report, quick, total);
    std::vector<LineCut> cuts;
    const bool read = forEachPiece(in, piece, error, [&](std::string_view text, qint64 at, bool last) -> qsizetype {
        if (reader.stopped())
            return -1;
        // Whole cards only, but for the last piece.
        const QByteArrayView view(text.data(), static_cast<qsizetype>(text.size()));
        const qsizetype end = last ? view.size() : pieceEnd(view);
        if (end > 0)
            reader.read(view.first(end), at);
        return end;
    }, &cuts);
    if (!read)
        return {};
    reportCuts(cuts, report);
    return reader.finish();
}

} // namespace pb::exchange
