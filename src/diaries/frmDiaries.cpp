#include "diaries/frmDiaries.h"

#include "diaries/DateStamp.h"
#include "platform/FieldBox.h"
#include "platform/Twips.h"
#include "shell/RecordWindow.h"
#include "shell/AppContext.h"
#include "shell/Artwork.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

namespace pb {

using colors::kLightOrange;

namespace {


// Bytes a text takes in the file: one per character, two per line break (CR LF).
qsizetype storedLength(QStringView plain)
{
    return plain.size() + plain.count(u'\n');
}

QStringView withoutTrailingSpaces(QStringView s)
{
    while (!s.isEmpty() && s.back() == u' ')
        s.chop(1);
    return s;
}

} // namespace

// The entry's text box. It takes no more than the entry can keep, so that
// nothing typed or pasted is lost on saving. Spaces at the very end of the
// text do not count: they are what pads an entry anyway.
class DiaryTextBox final : public MultiLineBox
{
public:
    explicit DiaryTextBox(QWidget* parent) : MultiLineBox(parent) {}

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        const bool lineBreak = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
        const QString typed = lineBreak ? QStringLiteral("\n") : e->text();
        const bool adds = lineBreak || (!typed.isEmpty() && typed.at(0).isPrint());
        if (adds && !(e->modifiers() & Qt::ControlModifier) && !fits(typed))
            return;
        MultiLineBox::keyPressEvent(e);
    }

    void insertFromMimeData(const QMimeData* source) override
    {
        if (!source->hasText())
            return;
        QString t = source->text();
        t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        // The longest beginning of the pasted text that fits.
        qsizetype lo = 0;
        qsizetype hi = t.size();
        while (lo < hi) {
            const qsizetype mid = (lo + hi + 1) / 2;
            if (fits(QStringView(t).left(mid)))
                lo = mid;
            else
                hi = mid - 1;
        }
        insertPlainText(t.left(lo));
    }

private:
    // Whether the text with `inserted` in place of the selection still fits the entry.
    bool fits(QStringView inserted) const
    {
        const QString plain = toPlainText();
        const QTextCursor c = textCursor();
        QString after = plain.left(c.selectionStart());
        after.append(inserted).append(QStringView(plain).mid(c.selectionEnd()));
        return storedLength(withoutTrailingSpaces(after)) <= static_cast<qsizetype>(kDiaryTextWidth);
    }
};

frmDiaries::frmDiaries(AppContext& ctx) : QWidget(nullptr), ctx_(ctx)
{
    setObjectName(QStringLiteral("frmDiaries"));
    setWindowTitle(QStringLiteral("DiariesBook"));
    setWindowIcon(artwork::appIcon());
    setFixedSize(twips::toPixels(7455), twips::toPixels(4590));
    setBackColor(this, kLightOrange);

    struct Button {
        const char* key;
        const char* tip;
        const char* picture;
    };
    static constexpr Button buttons[] = {
        {"OpenNew", "Open new", "NewRecord"},     {"FindRecord", "Find ", "FindRecord"},
        {"SaveRecord", "Save", "SaveRecord"},     {"GoPrevious", "Previous", "GoPrevious"},
        {"GoNext", "Next", "GoNext"},
    };
    Toolbar = new QToolBar(this);
    Toolbar->setObjectName(QStringLiteral("Toolbar"));
    Toolbar->setMovable(false);
    Toolbar->setIconSize(QSize(16, 16));
    // The toolbar keeps the system's colours, not the window's.
    QPalette plain = Toolbar->palette();
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Button, QPalette::Base})
        plain.setColor(role, QApplication::palette().color(role));
    Toolbar->setPalette(plain);
    Toolbar->setAutoFillBackground(true);
    for (const Button& b : buttons) {
        const QString key = QString::fromLatin1(b.key);
        const QString tip = QString::fromLatin1(b.tip);
        auto* a = new QAction(artwork::toolbarIcon(QString::fromLatin1(b.picture)), tip.trimmed(), Toolbar);
        a->setObjectName(key);
        a->setData(key);
        a->setToolTip(tip);
        // From the keyboard too: Save, and Previous / Next entry.
        if (key == QLatin1String("SaveRecord"))
            a->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_S)});
        else if (key == QLatin1String("GoPrevious"))
            a->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_PageUp), QKeySequence(Qt::ALT | Qt::Key_Left)});
        else if (key == QLatin1String("GoNext"))
            a->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_PageDown), QKeySequence(Qt::ALT | Qt::Key_Right)});
        a->setShortcutContext(Qt::WindowShortcut);
        Toolbar->addAction(a);
        // Pressing a button leaves the focus where it was.
        if (QWidget* w = Toolbar->widgetForAction(a))
            w->setFocusPolicy(Qt::NoFocus);
    }
    connect(Toolbar, &QToolBar::actionTriggered, this,
            [this](QAction* a) { Toolbar_ButtonClick(a->data().toString()); });
    twips::place(Toolbar, 0, 0, 7455, 360);

    QFont small(QStringLiteral("MS Sans Serif"));
    small.setStyleHint(QFont::SansSerif);
    small.setPointSizeF(twips::points(8));

    Label1 = new QLabel(QStringLiteral("Record Date:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(small);
    setBackColor(Label1, kLightOrange);
    setForeColor(Label1, 0);   // black on the fixed orange, whatever the palette
    // The date box stands right of the caption, further right where the
    // caption's font is wider than the one it was laid out for.
    const int labelLeft = twips::toPixels(45);
    const int boxLeft = std::max(twips::toPixels(1080), labelLeft + Label1->sizeHint().width() + 2);
    Label1->setGeometry(labelLeft, twips::toPixels(615), boxLeft - labelLeft, twips::toPixels(255));

    txtDate = new QLineEdit(this);
    txtDate->setObjectName(QStringLiteral("txtDate"));
    Label1->setBuddy(txtDate);
    txtDate->setAccessibleName(QStringLiteral("Record Date"));
    setBackColor(txtDate, kLightOrange);
    setForeColor(txtDate, 0);
    txtDate->setGeometry(boxLeft, twips::toPixels(570), width() - twips::toPixels(45) - boxLeft,
                         twips::toPixels(330));

    QFont big(QStringLiteral("MS Sans Serif"));
    big.setStyleHint(QFont::SansSerif);
    big.setPointSizeF(twips::points(12));
    txtDiaries = new DiaryTextBox(this);
    txtDiaries->setObjectName(QStringLiteral("txtDiaries"));
    txtDiaries->setAccessibleName(QStringLiteral("Diary entry"));
    txtDiaries->setFont(big);
    setBackColor(txtDiaries, kLightOrange);
    setForeColor(txtDiaries, 0);
    twips::place(txtDiaries, 0, 4590 - 3495, 7455, 3495);

    setTabOrder(txtDiaries, txtDate);
    txtDiaries->setFocus();
    txtDate->installEventFilter(this);

    Form_Load();
}

frmDiaries::~frmDiaries() = default;

void frmDiaries::Form_Load()
{
    EntryNumber = 1;
    setCaption(EntryNumber);
    QString notice;
    if (!file_.openDiaries(QString::fromLatin1(kDiariesFileName), &notice)) {
        ctx_.boxes.show(messageOwner(),
                        QStringLiteral("The diaries book could not be opened.\r\nCause: ") + file_.errorString(),
                        QStringLiteral("ERROR!"), MsgButtons::Ok, MsgIcon::Critical);
        return;
    }
    if (!notice.isEmpty())
        ctx_.boxes.show(messageOwner(), notice, QStringLiteral("ERROR!"), MsgButtons::Ok, MsgIcon::Exclamation);
    file_.read(EntryNumber, record_);
    ShowEntry();
}

void frmDiaries::Form_Unload()
{
    file_.close();
}

void frmDiaries::closeEvent(QCloseEvent* e)
{
    Form_Unload();
    e->accept();
    ctx_.windows.forget(this);
}

// Until the window is on show, its messages belong to the main window.
QWidget* frmDiaries::messageOwner()
{
    if (isVisible())
        return this;
    if (RecordWindow* d = ctx_.existingRecordWindow())
        return d->widget();
    return this;
}

void frmDiaries::setCaption(int n)
{
    setWindowTitle(QStringLiteral("DiariesBook            Record ") + QString::number(n));
}

// The text without the spaces that pad it: they are not part of what was
// written, and a caret behind them would have no room left to type.
QString frmDiaries::shownDiaryText() const
{
    return withoutTrailingSpaces(record_.shownText(DiaryField::Text)).toString();
}

void frmDiaries::ShowEntry()
{
    txtDate->setText(record_.shownText(DiaryField::Date));
    txtDiaries->setText(shownDiaryText());
}

void frmDiaries::Toolbar_ButtonClick(const QString& key)
{
    if (key == QLatin1String("OpenNew"))
        ctx_.boxes.show(this, QStringLiteral("open"), QString(), MsgButtons::Ok, MsgIcon::None);
    else if (key == QLatin1String("FindRecord"))
        ctx_.boxes.show(this, QStringLiteral("find"), QString(), MsgButtons::Ok, MsgIcon::None);
    else if (key == QLatin1String("SaveRecord"))
        SaveEntry();
    else if (key == QLatin1String("GoPrevious"))
        PreviousEntry();
    else if (key == QLatin1String("GoNext"))
        NextEntry();
}

void frmDiaries::SaveEntry()
{
    const QString date = txtDate->text();
    record_.store(DiaryField::Date, date.isEmpty() ? dateStamp(QDateTime::currentDateTime(), stampLocale(QLocale::system())) : date);
    const QString text = txtDiaries->text();
    record_.store(DiaryField::Text, text);
    if (!file_.write(EntryNumber, record_)) {
        ctx_.boxes.show(this, QStringLiteral("The diary entry was not saved.\r\nCause: ") + file_.errorString(),
                        QStringLiteral("ERROR!"), MsgButtons::Ok, MsgIcon::Critical);
        return;
    }
    txtDate->setText(record_.shownText(DiaryField::Date));
    // The text stays as typed, unless what was stored differs from it (a
    // character the file cannot hold, a text that did not fit): then the box
    // shows what the entry really holds.
    if (!record_.showsWhole(DiaryField::Text, text)) {
        // The caret stays where it was.
        const int caret = txtDiaries->textCursor().position();
        txtDiaries->setText(shownDiaryText());
        QTextCursor c = txtDiaries->textCursor();
        c.setPosition(std::min(caret, static_cast<int>(txtDiaries->document()->characterCount()) - 1));
        txtDiaries->setTextCursor(c);
    }
}

// A move to an entry that cannot be read (before the first, past the last
// possible) changes nothing.
bool frmDiaries::moveTo(int n)
{
    if (!file_.read(n, record_))
        return false;
    ShowEntry();
    setCaption(n);
    EntryNumber = static_cast<std::int16_t>(n);
    return true;
}

void frmDiaries::NextEntry()
{
    moveTo(EntryNumber + 1);
}

void frmDiaries::PreviousEntry()
{
    moveTo(EntryNumber - 1);
}

bool frmDiaries::eventFilter(QObject* watched, QEvent* e)
{
    // The focus moving on inside this window, not the window losing it to
    // another one; the advice comes once the focus has settled.
    if (watched == txtDate && e->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(e)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            QMetaObject::invokeMethod(this, [this] { txtDate_LostFocus(); }, Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, e);
}

void frmDiaries::txtDate_LostFocus()
{
    if (!isVisible())
        return;
    ctx_.boxes.show(this,
                    QStringLiteral("Date will be entered automatically upon saving.\r\n"
                                   "You can add your own date, else delete everything\r\n"
                                   "in date box and re-save."),
                    QStringLiteral("~"), MsgButtons::Ok, MsgIcon::Information);
}

} // namespace pb
