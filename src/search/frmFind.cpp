#include "search/frmFind.h"

#include "platform/Busy.h"
#include "platform/Twips.h"
#include "records/RecordNumber.h"
#include "search/Search.h"
#include "shell/AppContext.h"
#include "shell/Artwork.h"
#include "shell/RecordWindow.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include <algorithm>

namespace pb {

frmFind::frmFind(AppContext& ctx) : QDialog(nullptr), ctx_(ctx)
{
    setObjectName(QStringLiteral("frmFind"));
    setWindowTitle(QStringLiteral("Search for..."));
    setWindowIcon(artwork::appIcon());
    setFixedSize(twips::toPixels(3510), twips::toPixels(1275));
    setModal(false);

    QFont arial(QStringLiteral("Arial"));
    arial.setPointSizeF(twips::points(8.5));

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

    // A font wider than the one the window was drawn for (Arial is not on
    // every system) widens the options, and the window with them, so that
    // each caption shows whole.
    const QList<QRadioButton*> options{OptFirst, OptLast, OptEmail};
    int extra = 0;
    for (QRadioButton* o : options) {
        const int need = o->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, o) +
                         o->style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, o) +
                         o->fontMetrics().horizontalAdvance(o->text()) + 1;
        extra = std::max(extra, need - o->width());
    }
    if (extra > 0) {
        for (qsizetype i = 0; i < options.size(); ++i)
            options[i]->setGeometry(options[i]->geometry().adjusted(static_cast<int>(i) * extra, 0, static_cast<int>(i + 1) * extra, 0));
        const int grow = static_cast<int>(options.size()) * extra;
        for (QWidget* w : {static_cast<QWidget*>(txtFind), static_cast<QWidget*>(line)})
            w->resize(w->width() + grow, w->height());
        for (QPushButton* b : {cmdSerach, cmdFindNext})
            b->move(b->x() + grow / 2, b->y());
        setFixedSize(width() + grow, height());
    }
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

// The main window's boxes are set once, at the end.
SearchScan::Outcome frmFind::scan(int from, Field field, const QString& query, bool badPatternFails, int* hit)
{
    RecordWindow* data = ctx_.recordWindow();
    const auto count = data->recordCount();
    if (!count)
        return SearchScan::Outcome::Failed;
    const BusyCursor busy;
    const SearchScan s = searchBook(ctx_.book, from, *count, field, query, badPatternFails);
    if (s.outcome == SearchScan::Outcome::BadPattern) {
        data->setBoxText(field, s.firstText);
        return SearchScan::Outcome::Failed;
    }
    if (s.outcome == SearchScan::Outcome::Hit) {
        data->ToDisplay();
        data->setRecordBox(s.hit);
        *hit = s.hit;
    }
    return s.outcome;
}

void frmFind::backTo(int record)
{
    RecordWindow* data = ctx_.recordWindow();
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
    RecordWindow* data = ctx_.recordWindow();
    const auto s = data->currentRecord();
    if (!s)
        return;
    ctx_.book.PreviousRecordNumber = *s;
    const auto field = searchField();
    if (!field)
        return;

    int hit = 0;
    const SearchScan::Outcome result = scan(1, field->field, q, true, &hit);
    if (result == SearchScan::Outcome::Failed) {
        // Nothing to report, but the main window goes back to its record.
        backTo(*s);
        return;
    }
    if (result == SearchScan::Outcome::NotFound) {
        backTo(*s);
        ctx_.boxes.show(this, field->notFound + q + QStringLiteral(" is not found."),
                        QStringLiteral("Search Result"), MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    const auto count = data->recordCount();
    if (count && hit < *count) {
        cmdFindNext->setEnabled(true);
        cmdFindNext->raise();
    }
    else
        close();
}

void frmFind::cmdFindNext_Click()
{
    RecordWindow* data = ctx_.recordWindow();
    const auto s = data->currentRecord();
    const auto field = searchField();
    if (!s || !field)
        return;
    ctx_.book.PreviousRecordNumber = *s;
    // A stored name that is no valid pattern simply is no wildcard hit here,
    // and nothing follows record 32767.
    int hit = 0;
    if (*s < kMaxRecord && scan(*s + 1, field->field, txtFind->text(), false, &hit) == SearchScan::Outcome::Hit)
        return;
    backTo(*s);
    ctx_.boxes.show(this, QStringLiteral("No more records!"), QStringLiteral("Search Result"), MsgButtons::Ok,
                    MsgIcon::Information);
    close();
}

} // namespace pb
