// The main window's record commands: apply, delete, the inserts, the record
// clipboard and the toolbar.
#include "mainwindow/Data.h"
#include "platform/Busy.h"

#include "platform/FieldBox.h"
#include "records/RecordNumber.h"
#include "mainwindow/ToolbarCustomizer.h"
#include "search/frmFind.h"
#include "search/frmRecords.h"
#include "shell/AppContext.h"

#include <QMenu>
#include <QToolBar>

namespace pb {

namespace {
const QString kPlaceholder = QStringLiteral("[Inserted record]");
}

void Data::StoreBoxes()
{
    for (Field f : kAllFields)
        ctx_.book.RecordBuffer.store(f, boxText(f));
}

// --- apply and delete -----------------------------------------------------------

void Data::cmdAdd_Click()
{
    apply();
    reportUndoFailure();
}

// A change that did not happen is never silent: another program's change or
// a failed undo is told as such, anything else with its cause (a journal
// that found no room, a folder the program may not write in, ...).
void Data::reportFailedChange(const QString& what)
{
    const QString why = ctx_.book.phonebookError();
    if (explainFailedChange())
        return;
    ctx_.boxes.show(this, what + QStringLiteral("\r\nCause: ") + why, QStringLiteral("ERROR!"), MsgButtons::Ok,
                    MsgIcon::Critical);
}

void Data::reportUndoFailure()
{
    if (explainFailedChange())
        return;
    // A change that is done but may not last a power cut is said too.
    if (const QString notice = ctx_.book.takeNotice(); !notice.isEmpty())
        ctx_.boxes.show(this, notice, MessageBoxes::applicationTitle(), MsgButtons::Ok, MsgIcon::Exclamation);
}

// After a change that did not happen, the one true thing to tell: another
// program changed the book since this window counted it (it is counted
// again; nothing was written), or the change failed and could not even be
// undone (the book stays changed until the next start plays its journal
// back). False when neither: the caller gives its own reason.
bool Data::explainFailedChange()
{
    Phonebook& book = ctx_.book;
    if (book.takeChangedElsewhere()) {
        const auto before = recordCount();
        const auto shown = currentRecord();
        int count;
        {
            const BusyCursor busy;
            count = book.scanToFreeSlot(1).end - 1;
        }
        setRecordCount(count);
        if (count > 0)
            mnuNew->setEnabled(true);
        // The new slot moves past the records the other program added; what
        // the user typed stays in the boxes, to be applied again.
        if (shown && before && *shown > *before)
            setRecordBox(count + 1);
        else
            txtRecord_Change();
        ctx_.boxes.show(this,
                        QStringLiteral("Another program changed the book since it was counted here, so nothing was "
                                       "written.\r\nThe book now holds %1 records. Look at the record on show, then "
                                       "try again.")
                            .arg(count),
                        MessageBoxes::applicationTitle(), MsgButtons::Ok, MsgIcon::Exclamation);
        return true;
    }
    const QString why = book.takeUndoFailure();
    if (why.isEmpty())
        return false;
    ctx_.boxes.show(this,
                    QStringLiteral("The change failed, and the book could not be put back as it was.\r\nCause: ") + why +
                        QStringLiteral("\r\nIt is put back when z8P Phonebook starts again; until then nothing is "
                                       "written to it."),
                    QStringLiteral("ERROR!"), MsgButtons::Ok, MsgIcon::Critical);
    return true;
}

bool Data::apply()
{
    return applyBoxes() == ApplyResult::Done;
}

Data::ApplyResult Data::applyBoxes()
{
    Phonebook& book = ctx_.book;
    if (txtFirst->text().isEmpty()) {
        ctx_.boxes.show(this, QStringLiteral("To add a record you need to provide a first name"),
                        QStringLiteral("Please enter a first name"), MsgButtons::Ok, MsgIcon::Information);
        return ApplyResult::Refused;
    }
    int target = 1;
    if (txtRecord->text().isEmpty()) {
        setRecordBox(QStringLiteral("1"));
    } else {
        const auto n = currentRecord();
        if (!n)
            return ApplyResult::Refused;
        target = *n;
    }
    // A record written past the new slot would sit behind free slots, where
    // the next count from record 1 never reaches it: it goes into the new slot.
    if (const auto count = recordCount(); count && target > *count + 1) {
        target = *count + 1;
        setRecordBox(target);
    }
    StoreBoxes();
    {
        // The record is in the book whole, or the book is as it was.
        Phonebook::Change change(book, target, target);
        if (!change.ok() || !book.WriteRecord(target) || !change.commit()) {
            const QString why = book.phonebookError();
            if (!explainFailedChange())
                ctx_.boxes.show(this, QStringLiteral("The record was not saved.\r\nCause: ") + why,
                                QStringLiteral("ERROR!"), MsgButtons::Ok, MsgIcon::Critical);
            return ApplyResult::Failed;
        }
    }
    {
        const BusyCursor busy;
        setRecordCount(book.scanToFreeSlot(target).end - 1);
    }
    const auto shown = currentRecord();
    if (shown && book.ReadRecord(*shown))
        ToDisplay();
    mnuNew->setEnabled(true);
    return ApplyResult::Done;
}

void Data::cmdDelete_Click()
{
    deleteRecord();
    reportUndoFailure();
}

bool Data::deleteRecord()
{
    Phonebook& book = ctx_.book;
    const MsgAnswer answer =
        ctx_.boxes.show(this, QStringLiteral("You're about to cut or delete this record\r\nDo you want to continue?"),
                        QStringLiteral("Continue?"), MsgButtons::YesNo, MsgIcon::None);
    const auto k = currentRecord();
    const auto c = recordCount();
    if (!k || !c || answer != MsgAnswer::Yes || *k > *c)
        return false;

    // Every later record moves one place down, the free slot after the book
    // into its last place: in one move, journaled, so that it happens whole
    // or not at all. A failure leaves the book and the window as they were.
    {
        bool done = false;
        {
            const BusyCursor busy;
            Phonebook::Change change(book, *k, *c);
            done = change.ok() && book.shiftDown(*k, *c) && change.commit();
        }
        if (!done) {
            reportFailedChange(QStringLiteral("The record was not deleted; the book is as it was."));
            return false;
        }
    }
    ToDisplay();   // the last record the move read, as the record-by-record walk left it
    setRecordCount(*c - 1);
    if (*k - 1 < 1) {
        cmdBegining_Click();
        return true;
    }
    if (!book.ReadRecord(*k - 1))
        return false;
    ToDisplay();
    setRecordBox(*k - 1);
    return true;
}

// --- inserts ----------------------------------------------------------------------

void Data::showPlaceholder()
{
    txtFirst->setText(kPlaceholder);
    for (Field f : kAllFields)
        if (f != Field::FirstName)
            setBoxText(f, QString());
    StoreBoxes();
}

void Data::selectFirstName()
{
    txtFirst->selectAll();
    txtFirst->setFocus(Qt::OtherFocusReason);
}

void Data::mnuInsertBefore_Click()
{
    insertBefore();
    reportUndoFailure();
}

// Opens a place at record `at` (k for Insert Before, k + 1 for Insert
// After): records at ... c move up one place and the placeholder goes in,
// all in one journaled change. A failure leaves the book, the count and the
// boxes as they were.
bool Data::openPlaceAt(int at, int c)
{
    Phonebook& book = ctx_.book;
    bool done = false;
    {
        const BusyCursor busy;
        Phonebook::Change change(book, at, c + 1);
        if (change.ok() && book.shiftUp(at, c) && book.ReadRecord(at)) {
            showPlaceholder();
            done = book.WriteRecord(at) && change.commit();
        }
    }
    if (!done) {
        showRecordOnShow();
        // Inside a paste, the paste's own change is undone after this: it tells.
        if (!quietInserts_)
            reportFailedChange(QStringLiteral("No record was inserted; the book is as it was."));
        return false;
    }
    setRecordCount(c + 1);
    setRecordBox(at);
    selectFirstName();
    return true;
}

// After a change that was undone: the boxes and the buffer hold the record
// on show again.
void Data::showRecordOnShow()
{
    if (const auto n = currentRecord(); n && ctx_.book.ReadRecord(*n))
        ToDisplay();
}

bool Data::insertBefore()
{
    // The book is full at record 32767; a number below 1 has no place to open.
    const auto k = currentRecord();
    const auto c = recordCount();
    if (!k || !c || *k < 1 || *k > *c || *c >= kMaxRecord)
        return false;
    return openPlaceAt(*k, *c);
}

void Data::mnuInsertAfter_Click()
{
    const bool atNewSlot = currentRecord() && recordCount() && *currentRecord() == *recordCount();
    if (InsertAfterCurrent() && atNewSlot)
        selectFirstName();
    reportUndoFailure();
}

// The empty new slot, with the caret in the first name box: what is typed
// next is the new contact's name.
void Data::newRecordForTyping()
{
    if (GoToNewSlot())
        selectFirstName();
}

bool Data::InsertAfterCurrent()
{
    const auto k = currentRecord();
    const auto c = recordCount();
    if (!k || !c || *k < 1)
        return false;
    if (*k == *c)
        return GoToNewSlot();
    if (*k > *c)
        return true;
    if (*c >= kMaxRecord)
        return false;
    return openPlaceAt(*k + 1, *c);
}

void Data::mnuInsertBegining_Click()
{
    if (!ctx_.book.ReadRecord(1))
        return;
    setRecordBox(QStringLiteral("1"));
    insertBefore();
    reportUndoFailure();
}

void Data::mnuInsertEnd_Click()
{
    newRecordForTyping();
}

// --- the record clipboard -------------------------------------------------------

bool Data::copyRecord()
{
    // The record on show, as stored: a scan since it was shown (the list, a
    // search, printing) leaves another record in the buffer.
    const auto k = currentRecord();
    if (!k || !ctx_.book.ReadRecord(*k))
        return false;
    ToDisplay();
    return ctx_.book.WriteClipboardRecord();
}

bool Data::cutRecord()
{
    // The copy is on the disk before the record leaves the book: a power cut
    // in between never leaves it in neither file.
    if (!copyRecord())
        return false;
    if (!ctx_.book.syncClipboard()) {
        ctx_.boxes.show(this,
                        QStringLiteral("The record was not cut: the clipboard file could not be written.\r\nCause: ") +
                            ctx_.book.clipboardError(),
                        QStringLiteral("ERROR!"), MsgButtons::Ok, MsgIcon::Critical);
        return false;
    }
    return deleteRecord();
}

bool Data::pasteRecord()
{
    // The place and the pasted record land together or not at all. An
    // empty clipboard is no failure: Apply refuses it with its message and
    // the placeholder stays, as a record of the book.
    Phonebook& book = ctx_.book;
    const auto k = currentRecord();
    const auto c = recordCount();
    if (!k || !c || *k < 1)
        return false;
    const int first = std::min<int>(*k, *c) + 1;
    if (first > kMaxRecord)
        return false;
    ApplyResult applied = ApplyResult::Failed;
    bool placed = false;
    bool committed = false;
    bool told = false;
    {
        Phonebook::Change change(book, first, std::min(*c + 1, kMaxRecord));
        quietInserts_ = true;
        if (change.ok() && (placed = InsertAfterCurrent()) && book.ReadClipboardRecord()) {
            ToDisplay();
            applied = applyBoxes();
            told = applied == ApplyResult::Failed;   // Apply said why
            committed = applied != ApplyResult::Failed && change.commit();
        }
        quietInserts_ = false;
    }
    if (!committed) {
        // Undone: the window shows the book as it is again.
        if (placed) {
            setRecordCount(*c);
            setRecordBox(*k);
        }
        showRecordOnShow();
        if (told)
            reportUndoFailure();
        else
            reportFailedChange(QStringLiteral("The record was not pasted; the book is as it was."));
        return false;
    }
    return applied == ApplyResult::Done;
}

// --- windows and the toolbar ------------------------------------------------------

void Data::mnuFind_Click()
{
    frmFind* w = ctx_.windows.get<frmFind>();
    w->show();
    w->raise();
    w->activateWindow();
}

void Data::mnuShow_Click()
{
    frmRecords* w = ctx_.windows.get<frmRecords>();
    w->show();
    w->raise();
    w->activateWindow();
}

// The toolbar's own dialog: from its "Customize" button, or a double-click
// on the toolbar itself (the way back once that button is removed).
void Data::customizeToolbar()
{
    if (auto* open = findChild<ToolbarCustomizer*>()) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto* dlg = new ToolbarCustomizer(Toolbar1, toolbarButtons_, this);
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    dlg->open();
}

void Data::Toolbar1_ButtonClick(const QString& key)
{
    if (key == QLatin1String("NewRecord")) {
        newRecordForTyping();
    } else if (key == QLatin1String("SaveRecord")) {
        apply();
    } else if (key == QLatin1String("OpenData")) {
        mnuShow_Click();
    } else if (key == QLatin1String("CopyRecord")) {
        copyRecord();
    } else if (key == QLatin1String("CutRecord")) {
        cutRecord();
    } else if (key == QLatin1String("PasteRecord")) {
        pasteRecord();
    } else if (key == QLatin1String("Customize")) {
        customizeToolbar();
    } else if (key == QLatin1String("PrintRecord")) {
        mnuPrint_Click();
    } else if (key == QLatin1String("FindRecord")) {
        mnuFind_Click();
    }
    reportUndoFailure();
}

} // namespace pb
