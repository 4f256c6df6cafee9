#include "mainwindow/Data.h"

#include "comm/MailPanel.h"
#include "platform/Busy.h"
#include "platform/CommonDialog.h"
#include "platform/FieldBox.h"
#include "platform/Twips.h"
#include "records/RecordNumber.h"
#include "search/frmFind.h"
#include "search/frmRecords.h"
#include "shell/AppContext.h"
#include "shell/Artwork.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QFontMetrics>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <cmath>

namespace pb {

using colors::kBrown;
using colors::kYellow;
using colors::kWhite;
using colors::kLightOrange;

namespace {

constexpr qint32 kSilver = 12632256;
constexpr qint32 kOlive = 49344;
constexpr qint32 kRed = 192;

constexpr double kMinWidth = 5460;
constexpr double kMinHeight = 8340;
constexpr double kRestoredWidth = 5700;

QFont boldFont(double points)
{
    QFont f = QApplication::font();
    f.setPointSizeF(twips::points(points));
    f.setBold(true);
    return f;
}

} // namespace

// The window's client area: the background colour under the background
// picture, and the mouse events that belong to the window itself.
class BackgroundArea final : public QWidget
{
public:
    explicit BackgroundArea(Data* owner) : QWidget(owner), owner_(owner)
    {
        setMouseTracking(true);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), colorFromInt(owner_->backColor_));
        if (!owner_->backPicture_.isNull()) {
            // The picture grows with the window when the text does; the
            // built-in one also fills the whole form, each way on its own so
            // that its frame stays where the fields are.
            double sx = twips::textScale(), sy = sx;
            if (owner_->builtInPicture_) {
                sx = std::max(sx, double(width()) / owner_->backPicture_.width());
                sy = std::max(sy, double(height()) / owner_->backPicture_.height());
            }
            if (sx != 1.0 || sy != 1.0) {
                p.setRenderHint(QPainter::SmoothPixmapTransform);
                p.scale(sx, sy);
            }
            p.drawImage(0, 0, owner_->backPicture_);
        }
    }
    void mouseMoveEvent(QMouseEvent* e) override
    {
        // Moves over a child reach here too when the child ignores them.
        if (!childAt(e->position().toPoint()))
            owner_->Form_MouseMove();
    }
    void resizeEvent(QResizeEvent* e) override
    {
        QWidget::resizeEvent(e);
        owner_->fitToArea();
    }
    void mouseReleaseEvent(QMouseEvent* e) override
    {
        // Releases that a control (a label, a button, the toolbar) lets
        // through are not the window's own.
        if (!childAt(e->position().toPoint()))
            owner_->Form_MouseUp(e->button(), e->globalPosition().toPoint());
    }

private:
    Data* owner_;
};

Data::Data(AppContext& ctx) : ctx_(ctx)
{
    setObjectName(QStringLiteral("Data"));
    setWindowIcon(artwork::appIcon());
    backPicture_ = artwork::backgroundPicture();
    dlgFileOpen_ = std::make_unique<CommonDialog>(ctx.dialogs);
    buildControls();
    buildMailPanel();
    layOutRightColumn();
    buildMenus();
    buildToolbar();
    Form_Load();
}

Data::~Data() = default;

void Data::buildControls()
{
    area_ = new BackgroundArea(this);
    area_->setObjectName(QStringLiteral("DataArea"));
    setCentralWidget(area_);

    struct Place {
        Field field;
        const char* box;
        const char* label;
        const char* caption;
        int labelTop;
        int left, top, width, height;
    };
    static constexpr Place places[] = {
        {Field::FirstName, "txtFirst", "Label1", "FirstName", 1680, 370, 1920, 3120, 360},
        {Field::LastName, "txtLast", "Label2", "LastName", 2280, 370, 2520, 3120, 360},
        {Field::Phone, "txtPhone", "Label3", "Phone", 2880, 370, 3120, 3120, 360},
        {Field::Email, "txtEmail", "Label5", "E-mail", 3480, 370, 3720, 3120, 360},
        {Field::Company, "txtCompany", "Label7", "Company", 4080, 370, 4320, 3120, 360},
        {Field::Address, "txtAddress", "Label8", "Address", 4680, 360, 4920, 3135, 615},
        {Field::Comments, "txtComments", "Label9", "Comments", 5520, 360, 5780, 4920, 855},
    };
    for (const Place& s : places) {
        auto* label = new QLabel(QString::fromLatin1(s.caption), area_);
        label->setObjectName(QString::fromLatin1(s.label));
        label->setFont(boldFont(9));
        setForeColor(label, kWhite);
        twips::place(label, 420, s.labelTop, 1800, 240);

        QWidget* box = nullptr;
        const int limit = boxLimit(s.field);
        if (s.field == Field::Address || s.field == Field::Comments) {
            auto* m = new MultiLineBox(area_);
            m->setMaxChars(limit);
            box = m;
        } else {
            auto* f = new FieldBox(area_);
            f->setMaxChars(limit);
            box = f;
        }
        box->setObjectName(QString::fromLatin1(s.box));
        // The caption names its box for screen readers and gives it an access key's target.
        label->setBuddy(box);
        box->setAccessibleName(QString::fromLatin1(s.caption));
        setBackColor(box, kLightOrange);
        setForeColor(box, 0);
        twips::place(box, s.left, s.top, s.width, s.height);
        boxes_[static_cast<std::size_t>(s.field)] = box;
    }
    txtFirst = static_cast<FieldBox*>(boxes_[0]);
    txtLast = static_cast<FieldBox*>(boxes_[1]);
    txtPhone = static_cast<FieldBox*>(boxes_[2]);
    txtEmail = static_cast<FieldBox*>(boxes_[3]);
    txtCompany = static_cast<FieldBox*>(boxes_[4]);
    txtAddress = static_cast<MultiLineBox*>(boxes_[5]);
    txtComments = static_cast<MultiLineBox*>(boxes_[6]);

    auto counterLabel = [this](const char* name, const QString& text) {
        auto* l = new QLabel(text, area_);
        l->setObjectName(QString::fromLatin1(name));
        l->setTextFormat(Qt::PlainText);
        l->setFont(boldFont(9));
        setBackColor(l, kBrown);
        setForeColor(l, kYellow);
        return l;
    };
    counterLabel("Label4", QStringLiteral("Record"));
    txtRecord = new FieldBox(area_);
    txtRecord->setObjectName(QStringLiteral("txtRecord"));
    txtRecord->setAlignment(Qt::AlignCenter);
    txtRecord->setFont(boldFont(12));
    txtRecord->setToolTip(QStringLiteral("Enter a record number"));
    txtRecord->setAccessibleName(QStringLiteral("Record number"));
    txtRecord->setAccessibleDescription(QStringLiteral("The record on show; type a number to go to that record"));
    setBackColor(txtRecord, kBrown);
    setForeColor(txtRecord, kWhite);
    txtRecord->setMouseTracking(true);
    txtRecord->installEventFilter(this);
    QLabel* of = counterLabel("Label6", QStringLiteral("of"));
    QFont plain = boldFont(9);
    plain.setBold(false);
    of->setFont(plain);
    lblRecord = counterLabel("lblRecord", QString());
    lblRecord->setAccessibleName(QStringLiteral("Records in the book"));
    lblRecord->setFont(of->font());
    connect(txtRecord, &QLineEdit::textChanged, this, [this] { txtRecord_Change(); });
    // Typing, deleting or pasting: the number differs from the record on show.
    connect(txtRecord, &QLineEdit::textEdited, this, [this] { recordBoxEdited_ = true; });

    auto button = [this](const char* name, const QString& caption, const QString& tip) {
        auto* b = new QPushButton(caption, area_);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(tip);
        b->setMouseTracking(true);
        b->installEventFilter(this);
        b->setFocusPolicy(Qt::TabFocus);
        return b;
    };
    // Arrows set a little closer than the font has them, so that "<<" and
    // ">>" sit inside their buttons.
    const QFont navFont = [] {
        QFont f = QApplication::font();
        f.setPointSizeF(twips::points(13.5));
        f.setLetterSpacing(QFont::PercentageSpacing, 62);
        return f;
    }();
    cmdBegining = button("cmdBegining", QStringLiteral("<<"), QStringLiteral("Begining"));
    cmdPrevious = button("cmdPrevious", QStringLiteral("<"), QStringLiteral("Previous"));
    cmdNext = button("cmdNext", QStringLiteral(">"), QStringLiteral("Next"));
    cmdEnd = button("cmdEnd", QStringLiteral(">>"), QStringLiteral("End"));
    // Arrows say nothing to a screen reader.
    cmdBegining->setAccessibleName(QStringLiteral("First record"));
    cmdPrevious->setAccessibleName(QStringLiteral("Previous record"));
    cmdNext->setAccessibleName(QStringLiteral("Next record"));
    cmdEnd->setAccessibleName(QStringLiteral("Last record"));
    for (QPushButton* b : {cmdBegining, cmdPrevious, cmdNext, cmdEnd})
        b->setFont(navFont);
    connect(cmdBegining, &QPushButton::clicked, this, &Data::cmdBegining_Click);
    connect(cmdPrevious, &QPushButton::clicked, this, &Data::cmdPrevious_Click);
    connect(cmdNext, &QPushButton::clicked, this, &Data::cmdNext_Click);
    connect(cmdEnd, &QPushButton::clicked, this, &Data::cmdEnd_Click);

    cmdAdd = button("cmdAdd", QStringLiteral("Add"), QStringLiteral("Apply changes"));
    cmdDelete = button("cmdDelete", QStringLiteral("Delete"), QStringLiteral("Delete this record"));
    cmdAdd->setIcon(artwork::buttonIcon(QStringLiteral("Add")));
    cmdDelete->setIcon(artwork::buttonIcon(QStringLiteral("Delete")));
    for (QPushButton* b : {cmdAdd, cmdDelete}) {
        b->setFont(boldFont(12));
        b->setIconSize(QSize(24, 24));
        setBackColor(b, kBrown);
        setForeColor(b, kWhite);
    }
    connect(cmdAdd, &QPushButton::clicked, this, &Data::cmdAdd_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &Data::cmdDelete_Click);

    cmdRestore = button("cmdRestore", QStringLiteral("<<<"), QStringLiteral("Restore"));
    cmdRestore->setAccessibleName(QStringLiteral("Hide the e-mail panel"));
    twips::place(cmdRestore, 5740, 1485, 735, 210);
    connect(cmdRestore, &QPushButton::clicked, this, &Data::cmdRestore_Click);

    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    timePanel_ = new QLabel(bar);
    timePanel_->setObjectName(QStringLiteral("StatusBar1Time"));
    datePanel_ = new QLabel(bar);
    datePanel_->setObjectName(QStringLiteral("StatusBar1Date"));
    syncPanel_ = new QLabel(bar);
    syncPanel_->setObjectName(QStringLiteral("StatusBar1Sync"));
    syncPanel_->setTextFormat(Qt::PlainText);
    bar->addWidget(timePanel_, 1);
    bar->addWidget(datePanel_, 1);
    bar->addWidget(syncPanel_, 2);
    setStatusBar(bar);
    clock_ = new QTimer(this);
    clock_->setInterval(1000);
    connect(clock_, &QTimer::timeout, this, &Data::updateClock);
    clock_->start();
    updateClock();

    setTabOrder(txtFirst, txtLast);
    setTabOrder(txtLast, txtPhone);
    setTabOrder(txtPhone, txtEmail);
    setTabOrder(txtEmail, txtCompany);
    setTabOrder(txtCompany, txtAddress);
    setTabOrder(txtAddress, txtComments);
    setTabOrder(txtComments, txtRecord);
}

// The column right of the fields (the record counter, the arrows, e-mail,
// Add and Delete) is as wide as its "E-Mail >>>" button, which leaves it a
// margin from the right edge of the narrowest window as the fields have one
// on the left. The count goes under the record box when it has no room
// beside it, each wide enough for the largest record number in its font.
void Data::layOutRightColumn()
{
    using twips::toPixels;
    const int left = toPixels(3615);
    const int width = toPixels(1560);
    const auto lineHeight = [](const QWidget* w, int atLeast) { return std::max(atLeast, w->fontMetrics().height()); };
    auto* caption = area_->findChild<QLabel*>(QStringLiteral("Label4"));
    caption->setGeometry(left, toPixels(1560), width, lineHeight(caption, toPixels(255)));

    const QString widest = QStringLiteral("32767");
    const int boxWidth = std::max(toPixels(780), txtRecord->fontMetrics().horizontalAdvance(widest) + 10);
    txtRecord->setGeometry(left, toPixels(1830), boxWidth, toPixels(420));
    auto* of = area_->findChild<QLabel*>(QStringLiteral("Label6"));
    const QFontMetrics small(of->font());
    const int ofWidth = small.horizontalAdvance(of->text()) + 3, countWidth = small.horizontalAdvance(widest) + 2;
    const int height = lineHeight(of, toPixels(255));
    QPoint at(txtRecord->geometry().right() + 3, toPixels(1920));
    int arrowsTop = toPixels(2430);
    if (at.x() + ofWidth + 1 + countWidth > left + width) {
        at = QPoint(left, txtRecord->geometry().bottom() + 3);
        arrowsTop = std::max(arrowsTop, at.y() + height + 6);
    }
    of->setGeometry(at.x(), at.y(), ofWidth, height);
    lblRecord->setGeometry(at.x() + ofWidth + 1, at.y(), countWidth, height);

    const QList<QPushButton*> arrows{cmdBegining, cmdPrevious, cmdNext, cmdEnd};
    for (int i = 0; i < arrows.size(); ++i) {
        const int from = left + width * i / 4, to = left + width * (i + 1) / 4;
        arrows[i]->setGeometry(from, arrowsTop, to - from, toPixels(420));
    }
    cmdAdd->setGeometry(left, toPixels(4440), width, toPixels(555));
    cmdDelete->setGeometry(left, toPixels(5100), width, toPixels(555));
}

// The toolbar runs across the whole window; the mail panel and its "<<<"
// show only when the window is wide enough to show them, never as a strip.
void Data::fitToArea()
{
    if (Toolbar1)
        Toolbar1->setGeometry(0, 0, area_->width(), Toolbar1->sizeHint().height());
    const bool panel = area_->width() > twips::toPixels(kRestoredWidth);
    if (cmdRestore)
        cmdRestore->setVisible(panel);
    if (auto* mail = findChild<MailPanel*>())
        mail->setPanelVisible(panel);
}

void Data::updateClock()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale loc;
    timePanel_->setText(loc.toString(now.time(), QLocale::ShortFormat));
    datePanel_->setText(loc.toString(now.date(), QLocale::ShortFormat));
}

// --- start-up and shutdown ---------------------------------------------------

void Data::Form_Load()
{
    // Geometry and colour. A value that does not convert falls back to its
    // default instead of abandoning the start-up.
    const auto number = [this](const char* key, const char* fallback) {
        bool ok = false;
        const float v = ctx_.setting(QString::fromLatin1(key), QString::fromLatin1(fallback))
                            .trimmed()
                            .toFloat(&ok);
        return ok && std::isfinite(v) ? static_cast<double>(v) : QString::fromLatin1(fallback).toDouble();
    };
    const double top = number("FormTop", "75");
    const double left = number("FormLeft", "75");
    {
        bool ok = false;
        const qint32 c = ctx_.setting(QStringLiteral("FormBackColor"), QStringLiteral("0")).trimmed().toInt(&ok);
        setBackgroundColor(ok ? c : 0);
    }
    const double width = std::max(number("FormWidth", "0"), kMinWidth);
    const double height = std::max(number("FormHeight", "0"), kMinHeight);
    twips::setOuterPosition(this, left, top);
    twips::setOuterSize(this, width, height);
    // A saved geometry that no screen can show (a hand-edited or foreign
    // settings file, a monitor since removed) is brought within reach.
    twips::keepOnScreen(this);
    const QRect kept = twips::outerGeometry(this);
    wantedOuterSize_ = QSizeF(std::min<double>(width, kept.width()), std::min<double>(height, kept.height()));

    backPicturePath_ = ctx_.setting(QStringLiteral("FormBackPicture"), QStringLiteral("0"));

    // The files and the book.
    Phonebook& book = ctx_.book;
    if (!book.openPhonebookFile()) {
        setRecordBox(QStringLiteral("1"));
        if (book.phonebookFile().notRegular()) {
            // Not a book at all: say so once, the window stays usable.
            const QString why = book.phonebookError();
            QTimer::singleShot(0, this, [this, why] {
                ctx_.boxes.show(this,
                                QStringLiteral("The phonebook could not be opened.\r\nCause: %1\r\n"
                                               "Nothing is read from it or written to it in this run.")
                                    .arg(why),
                                QStringLiteral("ERROR!"), MsgButtons::Ok, MsgIcon::Critical);
            });
        }
    }
    if (!book.openClipboardFile())
        setRecordBox(QStringLiteral("1"));
    // A journal set aside, or one that could not be dealt with: said once.
    if (const QString notice = book.takeNotice(); !notice.isEmpty()) {
        QTimer::singleShot(0, this, [this, notice] {
            ctx_.boxes.show(this, notice, QStringLiteral("ERROR!"), MsgButtons::Ok, MsgIcon::Exclamation);
        });
    }

    // The book is always counted from its first record, whatever was saved.
    const Phonebook::Scan scan = book.scanToFreeSlot(1);
    const int count = scan.end - 1;
    setRecordCount(count);
    if (scan.readFailed) {
        // A record that cannot be read is no end of the book: nothing may be
        // written where it may still lie.
        const QString why = book.phonebookError();
        book.refuseWrites(QStringLiteral("The book could not be read past record %1 (%2), so nothing is written to it.")
                              .arg(count)
                              .arg(why));
        QTimer::singleShot(0, this, [this, count, why] {
            ctx_.boxes.show(this,
                            QStringLiteral("The phonebook could not be read past record %1.\r\nCause: %2\r\n"
                                           "Records after it are not shown, and nothing is written to the book "
                                           "in this run.")
                                .arg(count)
                                .arg(why),
                            QStringLiteral("ERROR!"), MsgButtons::Ok, MsgIcon::Critical);
        });
    }
    if (count == 0)
        mnuNew->setEnabled(false);

    const auto saved = toRecordNumber(ctx_.setting(QStringLiteral("RecordNumber"), QStringLiteral("0")));
    const int shown = saved && *saved >= 1 && *saved <= count + 1 ? *saved : 1;
    setRecordBox(shown);
    txtRecord_Change();
    if (book.ReadRecord(shown))
        ToDisplay();
    startSyncTimer();
}

void Data::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    if (frameFixed_)
        return;
    frameFixed_ = true;
    // The saved size is the outer size; once the window has a frame, take it off.
    // (Only if nothing has resized the window since.)
    const QSize loaded = size();
    QTimer::singleShot(0, this, [this, loaded] {
        if (frameGeometry().size() != size() && size() == loaded)
            twips::setOuterSize(this, wantedOuterSize_.width(), wantedOuterSize_.height());
    });
}

void Data::closeEvent(QCloseEvent* e)
{
    Form_Unload();
    e->accept();
    ctx_.windows.forget(this);
}

void Data::Form_Unload()
{
    if (!isMinimized()) {
        const QRect g = twips::outerGeometry(this);
        ctx_.saveSetting(QStringLiteral("FormTop"), QString::number(g.top()));
        ctx_.saveSetting(QStringLiteral("FormLeft"), QString::number(g.left()));
        ctx_.saveSetting(QStringLiteral("FormWidth"), QString::number(g.width()));
        ctx_.saveSetting(QStringLiteral("FormHeight"), QString::number(g.height()));
    }
    ctx_.saveSetting(QStringLiteral("RecordNumber"), recordBoxText());
    ctx_.saveSetting(QStringLiteral("FormBackColor"), QString::number(backColor_));
    ctx_.saveSetting(QStringLiteral("FormBackPicture"), backPicturePath_);
    ctx_.settings.flush();

    ctx_.book.closePhonebookFile();
    ctx_.book.closeClipboardFile();

    ctx_.windows.unload<frmRecords>();
    ctx_.windows.unload<frmFind>();
    unloadPrintWindows();
    unloadDiaries();
}

void Data::mnuexit_Click()
{
    close();
}

void Data::setBackgroundPicture(const QImage& picture, const QString& path)
{
    backPicture_ = picture;
    backPicturePath_ = path;
    builtInPicture_ = false;
    area_->update();
}

void Data::setBackgroundColor(qint32 c)
{
    backColor_ = c;
    if (area_)
        area_->update();
}

// --- shared state -------------------------------------------------------------

QWidget* Data::boxWidget(Field f) const
{
    return boxes_[static_cast<std::size_t>(f)];
}

QString Data::boxText(Field f) const
{
    QWidget* w = boxWidget(f);
    if (auto* line = qobject_cast<FieldBox*>(w))
        return line->text();
    return static_cast<MultiLineBox*>(w)->text();
}

void Data::setBoxText(Field f, const QString& text)
{
    QWidget* w = boxWidget(f);
    if (auto* line = qobject_cast<FieldBox*>(w))
        line->setText(text);
    else
        static_cast<MultiLineBox*>(w)->setText(text);
}

QString Data::recordBoxText() const
{
    return txtRecord->text();
}

void Data::setRecordBox(const QString& text)
{
    recordBoxEdited_ = false;
    txtRecord->setText(text);
}

std::optional<std::int16_t> Data::currentRecord() const
{
    return toRecordNumber(txtRecord->text());
}

QString Data::recordCountText() const
{
    return lblRecord->text();
}

std::optional<std::int16_t> Data::recordCount() const
{
    return toRecordNumber(lblRecord->text());
}

void Data::setRecordCount(int n)
{
    lblRecord->setText(QString::number(n));
}

// --- display and navigation -----------------------------------------------------

void Data::ToDisplay()
{
    for (Field f : kAllFields)
        setBoxText(f, FieldText(ctx_.book.RecordBuffer, f));
}

bool Data::GoToNewSlot()
{
    const auto count = recordCount();
    if (!count)
        return false;
    const int n = *count + 1;
    if (!ctx_.book.ReadRecord(n))
        return false;
    ToDisplay();
    setRecordBox(n);
    return true;
}

void Data::txtRecord_Change()
{
    setWindowTitle(QStringLiteral("PhoneBook Record: ") + txtRecord->text() + QStringLiteral(" of ") +
                   lblRecord->text());
}

void Data::cmdBegining_Click()
{
    if (!ctx_.book.ReadRecord(1))
        return;
    ToDisplay();
    setRecordBox(QStringLiteral("1"));
}

void Data::cmdPrevious_Click()
{
    const auto n = currentRecord();
    if (!n || !ctx_.book.ReadRecord(*n - 1)) {
        ctx_.boxes.show(this, QStringLiteral("This is the first record!"), QStringLiteral("X"),
                        MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    ToDisplay();
    setRecordBox(*n - 1);
}

void Data::cmdNext_Click()
{
    if (txtFirst->text().isEmpty()) {
        ctx_.boxes.show(this, QStringLiteral("Add a new record here\r\nPress 'Apply' to save"),
                        QStringLiteral("X"), MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    // Nothing follows a box that holds no number, nor record 32767.
    const auto n = currentRecord();
    if (!n || !ctx_.book.ReadRecord(*n + 1))
        return;
    ToDisplay();
    setRecordBox(*n + 1);
}

void Data::cmdEnd_Click()
{
    // Walks forward from the record on show while the first-name box is not
    // empty, reading the book in large blocks. The boxes are only brought up
    // to date at the end: on a failure they are left as the walk had them.
    const auto start = currentRecord();
    if (!start)
        return;
    Phonebook& book = ctx_.book;
    const BusyCursor busy;
    int n = *start;
    if (!txtFirst->text().isEmpty()) {
        if (n < 0 || n >= kMaxRecord) {
            setRecordBox(n);   // nothing to read after the last record number
            return;
        }
        const Phonebook::Scan scan = book.scanToFreeSlot(n + 1);
        if (!scan.complete) {
            if (scan.end - 1 != *start)
                txtFirst->setText(book.RecordBuffer.storedText(Field::FirstName));
            setRecordBox(scan.end - 1);
            return;
        }
        n = scan.end;
    }
    if (!book.ReadRecord(n - 1)) {
        if (n != *start) {
            txtFirst->setText(QString());
            setRecordBox(n);
        }
        return;
    }
    ToDisplay();
    setRecordBox(n - 1);
}

void Data::txtRecord_GotFocus()
{
    if (const auto n = currentRecord())
        ctx_.book.PreviousRecordNumber = *n;
}

void Data::txtRecord_MouseMove()
{
    // The selection runs from where it starts (else the caret) to the end, so
    // the moves that follow the first keep the whole number selected.
    const int start = txtRecord->hasSelectedText() ? txtRecord->selectionStart() : txtRecord->cursorPosition();
    txtRecord->setSelection(start, static_cast<int>(txtRecord->text().size()) - start);
    txtRecord->setFocus(Qt::MouseFocusReason);
}

void Data::txtRecord_KeyUp()
{
    Phonebook& book = ctx_.book;
    const auto fail = [&] {
        ctx_.boxes.show(this, QStringLiteral("Please enter a valid number"), QStringLiteral("ERROR!"),
                        MsgButtons::Ok, MsgIcon::Critical);
        const int prev = book.PreviousRecordNumber;
        if (prev != 0 && book.ReadRecord(prev)) {
            ToDisplay();
            setRecordBox(prev);
        }
    };
    const auto n = currentRecord();
    const auto count = recordCount();
    if (!n || !count)
        return fail();
    const auto backToPrevious = [&](const QString& message) {
        ctx_.boxes.show(this, message, QStringLiteral("X"), MsgButtons::Ok, MsgIcon::Information);
        const int prev = book.PreviousRecordNumber;
        if (!book.ReadRecord(prev))
            return fail();
        ToDisplay();
        setRecordBox(prev);
    };
    if (*n > *count)
        return backToPrevious(QStringLiteral("There are only ") + recordCountText() + QStringLiteral(" records"));
    if (*n < 1)
        return backToPrevious(QStringLiteral("Records begin with number 1"));
    if (!book.ReadRecord(*n))
        return fail();
    ToDisplay();
    book.PreviousRecordNumber = *n;
}

// --- mouse feedback -------------------------------------------------------------

void Data::Form_MouseMove()
{
    setBackColor(cmdAdd, kBrown);
    setBackColor(cmdDelete, kBrown);
}

void Data::Form_MouseUp(Qt::MouseButton button, const QPoint& globalPos)
{
    if (button == Qt::RightButton && mnuBackColor)
        mnuBackColor->popup(globalPos);
}

bool Data::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == txtRecord) {
        switch (e->type()) {
        // Only a key that changed the number jumps: the release of Enter or
        // Esc that closed a message, of Tab, arrows or modifiers must not
        // read the record again (that would raise the message once more, or
        // drop what was typed in another box).
        case QEvent::KeyRelease:
            if (recordBoxEdited_) {
                recordBoxEdited_ = false;
                txtRecord_KeyUp();
            }
            break;
        case QEvent::KeyPress: {
            // Tab leaves the box before its release arrives.
            const int key = static_cast<QKeyEvent*>(e)->key();
            if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && recordBoxEdited_) {
                recordBoxEdited_ = false;
                txtRecord_KeyUp();
            }
            break;
        }
        case QEvent::FocusIn:
            txtRecord_GotFocus();
            break;
        case QEvent::MouseMove:
            txtRecord_MouseMove();
            break;
        default:
            break;
        }
        return false;
    }
    if (watched == Toolbar1 && e->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
        customizeToolbar();
        return true;
    }
    if (e->type() == QEvent::MouseMove) {
        if (watched == cmdAdd) {
            setBackColor(cmdAdd, kSilver);
            setBackColor(cmdDelete, kBrown);
        } else if (watched == cmdDelete) {
            setBackColor(cmdDelete, kRed);
        } else if (watched == cmdBegining || watched == cmdPrevious || watched == cmdNext || watched == cmdEnd) {
            setBackColor(cmdAdd, kBrown);
        }
    } else if (e->type() == QEvent::MouseButtonPress) {
        if (watched == cmdAdd)
            setBackColor(cmdAdd, kOlive);
        else if (watched == cmdDelete)
            setBackColor(cmdDelete, kOlive);
    }
    return QMainWindow::eventFilter(watched, e);
}

void Data::cmdRestore_Click()
{
    twips::setOuterSize(this, kRestoredWidth, kMinHeight);
}

} // namespace pb
