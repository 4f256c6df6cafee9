#include "search/frmFind.h"

#include "platform/Busy.h"
#include "platform/Twips.h"
#include "records/Data.h"
#include "records/RecordNumber.h"
#include "search/Pattern.h"
#include "shell/AppContext.h"
#include "shell/Artwork.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>

#include <algorithm>
#include <cstring>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace pb {

frmFind::frmFind(AppContext& ctx) : QDialog(nullptr), ctx_(ctx)
{
    setObjectName(QStringLiteral("frmFind"));
    setWindowTitle(QStringLiteral("Search for..."));
    setWindowIcon(artwork::appIcon());
    setFixedSize(twips::toPixels(3510), twips::toPixels(1275));
    setModal(false);

    QFont arial(QStringLiteral("Arial"));
    arial.setPointSizeF(8.5);

    auto option = [&](const char* name, const QString& caption, const QString& tip, int left) {
        auto* o = new QRadioButton(caption, this);
        o->setObjectName(QString::fromLatin1(name));
        o->setToolTip(tip);
        o->setFont(arial);
        twips::place(o, left, 60, 1110, 285);
        return o;
    };
    OptFirst = option("OptFirst", QStringLiteral("First name"), QStringLiteral("Search by first name"), 90);
    OptLast = option("OptLast", QStringLiteral("Last name"), QStringLiteral("Search by last name"), 1230);
    OptEmail = option("OptEmail", QStringLiteral("E-mail"), QStringLiteral("Search by e-mail"), 2370);

    txtFind = new QLineEdit(this);
    txtFind->setObjectName(QStringLiteral("txtFind"));
    txtFind->setAccessibleName(QStringLiteral("Search for"));
    txtFind->setAccessibleDescription(QStringLiteral("The beginning of the name or e-mail address to find"));
    twips::place(txtFind, 90, 400, 3330, 330);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    twips::place(line, 90, 800, 3330, 30);

    auto* pic = new QLabel(this);
    pic->setPixmap(artwork::logo(16));
    twips::place(pic, 150, 880, 255, 255);

    cmdSerach = new QPushButton(QStringLiteral("Find"), this);
    cmdSerach->setObjectName(QStringLiteral("cmdSerach"));
    cmdFindNext = new QPushButton(QStringLiteral("Find next"), this);
    cmdFindNext->setObjectName(QStringLiteral("cmdFindNext"));
    for (QPushButton* b : {cmdSerach, cmdFindNext}) {
        b->setFont(arial);
        twips::place(b, (3510 - 1095) / 2, 900, 1095, 255);
    }
    // The two share one place: Find is on top (and clickable) until a hit
    // enables Find next, which then lies over it. Find stays the default
    // button, so Enter runs it either way.
    cmdSerach->setDefault(true);
    cmdFindNext->setAutoDefault(false);
    cmdFindNext->setEnabled(false);
    cmdSerach->raise();
    connect(cmdSerach, &QPushButton::clicked, this, &frmFind::cmdSerach_Click);
    connect(cmdFindNext, &QPushButton::clicked, this, &frmFind::cmdFindNext_Click);

    setTabOrder(txtFind, OptFirst);
    setTabOrder(OptFirst, OptLast);
    setTabOrder(OptLast, OptEmail);
    setTabOrder(OptEmail, cmdSerach);
    setTabOrder(cmdSerach, cmdFindNext);

    OptFirst->setChecked(true);
}

void frmFind::reject()
{
    close();
}

void frmFind::closeEvent(QCloseEvent* e)
{
    e->accept();
    ctx_.windows.forget(this);
}

std::optional<frmFind::SearchField> frmFind::searchField() const
{
    if (OptFirst->isChecked())
        return SearchField{Field::FirstName, QStringLiteral("The first name ")};
    if (OptLast->isChecked())
        return SearchField{Field::LastName, QStringLiteral("The last name ")};
    if (OptEmail->isChecked())
        return SearchField{Field::Email, QStringLiteral("The e-mail ")};
    return std::nullopt;
}

// The first record examined is tried as a wildcard pattern, every later one
// for an exact prefix. The main window's boxes are set once, at the end.
frmFind::Scan frmFind::scan(int from, Field field, const QString& query, bool badPatternFails)
{
    Data* data = ctx_.windows.get<Data>();
    Phonebook& book = ctx_.book;
    const auto count = data->recordCount();
    if (!count || !book.ReadRecord(from))
        return {Outcome::Failed, 0};
    const BusyCursor busy;

    const qsizetype len = query.size();
    const std::u16string q = query.toStdU16String();
    QString candidate = FieldText(book.RecordBuffer, field);
    const PatternResult first =
        matchPattern(q, std::u16string_view(reinterpret_cast<const char16_t*>(candidate.utf16()),
                                            static_cast<std::size_t>(std::min(len, candidate.size()))));
    if (first == PatternResult::Invalid && badPatternFails) {
        data->setBoxText(field, candidate);
        return {Outcome::Failed, 0};
    }
    int n = from;
    if (first != PatternResult::Match && QStringView(candidate).left(len) != query) {
        // The rest of the book in large blocks, compared on the stored bytes
        // where the query is plain ASCII; the buffer ends on the last record read.
        RecordScanner records = book.scanner(from + 1);
        const FieldLayout at = layoutOf(field);
        const std::string ascii = query.toStdString();
        const bool plain = std::all_of(query.begin(), query.end(), [](QChar ch) { return ch.unicode() < 0x80; });
        bool hit = false;
        const char* r = nullptr;
        while (n <= *count) {
            r = records.next();
            if (!r)
                break;
            n = records.number();
            const std::string_view shown = FieldTextBytes(std::string_view(r + at.offset, at.width));
            hit = plain ? shown.substr(0, ascii.size()) == ascii
                        : QStringView(FieldText(std::string_view(r + at.offset, at.width))).left(len) == query;
            if (hit)
                break;
        }
        if (r)
            std::memcpy(book.RecordBuffer.bytes.data(), r, kRecordSize);
        if (!r || !hit || n > *count)
            return {Outcome::NotFound, 0};
    }
    data->ToDisplay();
    data->setRecordBox(n);
    return {Outcome::Hit, n};
}

void frmFind::backTo(int record)
{
    Data* data = ctx_.windows.get<Data>();
    if (ctx_.book.ReadRecord(record))
        data->ToDisplay();
    data->setRecordBox(record);
}

void frmFind::cmdSerach_Click()
{
    const QString q = txtFind->text();
    if (q.isEmpty() || q == QLatin1String(" ")) {
        ctx_.boxes.show(this, QStringLiteral("Please enter a query."), QStringLiteral("?"), MsgButtons::Ok,
                        MsgIcon::Exclamation);
        return;
    }
    Data* data = ctx_.windows.get<Data>();
    const auto s = data->currentRecord();
    if (!s)
        return;
    ctx_.book.PreviousRecordNumber = *s;
    const auto field = searchField();
    if (!field)
        return;

    const Scan result = scan(1, field->field, q, true);
    if (result.outcome == Outcome::Failed) {
        // Nothing to report, but the main window goes back to its record.
        backTo(*s);
        return;
    }
    if (result.outcome == Outcome::NotFound) {
        backTo(*s);
        ctx_.boxes.show(this, field->notFound + q + QStringLiteral(" is not found."),
                        QStringLiteral("Search Result"), MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    const auto count = data->recordCount();
    if (count && result.hit < *count) {
        cmdFindNext->setEnabled(true);
        cmdFindNext->raise();
    }
    else
        close();
}

void frmFind::cmdFindNext_Click()
{
    Data* data = ctx_.windows.get<Data>();
    const auto s = data->currentRecord();
    const auto field = searchField();
    if (!s || !field)
        return;
    ctx_.book.PreviousRecordNumber = *s;
    // A stored name that is no valid pattern simply is no wildcard hit here,
    // and nothing follows record 32767.
    const Scan result = *s < kMaxRecord ? scan(*s + 1, field->field, txtFind->text(), false)
                                        : Scan{Outcome::NotFound, 0};
    if (result.outcome == Outcome::Hit)
        return;
    backTo(*s);
    ctx_.boxes.show(this, QStringLiteral("No more records!"), QStringLiteral("Search Result"), MsgButtons::Ok,
                    MsgIcon::Information);
    close();
}

} // namespace pb
