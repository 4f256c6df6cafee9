// The main window's record commands: apply, delete, the inserts, the record
// clipboard and the toolbar.
#include "records/Data.h"
#include "platform/Busy.h"

#include "platform/FieldBox.h"
#include "records/RecordNumber.h"
#include "records/ToolbarCustomizer.h"
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
}

bool Data::apply()
{
    Phonebook& book = ctx_.book;
    if (txtFirst->text().isEmpty()) {
        ctx_.boxes.show(this, QStringLiteral("To add a record you need to provide a first name"),
                        QStringLiteral("Please enter a first name"), MsgButtons::Ok, MsgIcon::Information);
        return false;
    }
    int target = 1;
    if (txtRecord->text().isEmpty()) {
        setRecordBox(QStringLiteral("1"));
    } else {
        const auto n = currentRecord();
        if (!n)
            return false;
        target = *n;
    }
    // A record written past the new slot would sit behind free slots, where
    // the next count from record 1 never reaches it: it goes into the new slot.
    if (const auto count = recordCount(); count && target > *count + 1) {
        target = *count + 1;
        setRecordBox(target);
    }
    StoreBoxes();
    if (!book.WriteRecord(target)) {
        ctx_.boxes.show(this,
                        QStringLiteral("The record was not saved.\r\nCause: ") + book.phonebookError(),
                        QStringLiteral("ERROR!"), MsgButtons::Ok, MsgIcon::Critical);
        return false;
    }
    {
        const BusyCursor busy;
        setRecordCount(book.scanToFreeSlot(target).end - 1);
    }
    const auto shown = currentRecord();
    if (shown && book.ReadRecord(*shown))
        ToDisplay();
    mnuNew->setEnabled(true);
    return true;
}

void Data::cmdDelete_Click()
{
    deleteRecord();
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

    // Every later record moves one place down; the boxes show the last one
    // moved if the walk breaks off.
    const BusyCursor busy;
    bool moved = false;
    for (int n = *k; n <= *c; ++n) {
        if (n + 1 > kMaxRecord) {
            book.RecordBuffer.clear();   // nothing lies past the last record number
        } else if (!book.ReadRecord(n + 1)) {
            if (moved)
                ToDisplay();
            return false;
        }
        moved = true;
        if (!book.WriteRecord(n)) {
            ToDisplay();
            return false;
        }
    }
    setRecordCount(*c - 1);
    if (*k - 1 < 1) {
        cmdBegining_Click();
        return true;
    }
    if (!book.ReadRecord(*k - 1)) {
        ToDisplay();
        return false;
    }
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
}

bool Data::insertBefore()
{
    // The book is full at record 32767; a number below 1 has no place to open.
    Phonebook& book = ctx_.book;
    const auto k = currentRecord();
    const auto c = recordCount();
    if (!k || !c || *k < 1 || *k > *c || *c >= kMaxRecord)
        return false;

    // A shift that breaks off stops there: going on would write the next
    // record over one that has not moved yet (a full disk fails the very
    // first write, which grows the file). The placeholder's steps carry on.
    const BusyCursor busy;
    for (int n = *c; n >= *k; --n) {
        if (!book.ReadRecord(n) || !book.WriteRecord(n + 1)) {
            book.ReadRecord(*k);   // the buffer holds the record on show again
            return false;
        }
    }
    setRecordCount(*c + 1);
    book.ReadRecord(*k);
    showPlaceholder();
    book.WriteRecord(*k);
    setRecordBox(*k);
    selectFirstName();
    return true;
}

void Data::mnuInsertAfter_Click()
{
    InsertAfterCurrent();
}

bool Data::InsertAfterCurrent()
{
    Phonebook& book = ctx_.book;
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

    // On a failed move the boxes keep the record on show and the buffer gets
    // it back: showing the record last read there would let the next Apply
    // write it over the record on show.
    const BusyCursor busy;
    for (int n = *c; n >= *k + 1; --n) {
        if (!book.ReadRecord(n) || !book.WriteRecord(n + 1)) {
            book.ReadRecord(*k);
            return false;
        }
    }
    setRecordCount(*c + 1);
    if (!book.ReadRecord(*k + 1))
        return false;
    showPlaceholder();
    if (!book.WriteRecord(*k + 1))
        return false;
    setRecordBox(*k + 1);
    selectFirstName();
    return true;
}

void Data::mnuInsertBegining_Click()
{
    if (!ctx_.book.ReadRecord(1))
        return;
    setRecordBox(QStringLiteral("1"));
    insertBefore();
}

void Data::mnuInsertEnd_Click()
{
    GoToNewSlot();
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
    return copyRecord() && deleteRecord();
}

bool Data::pasteRecord()
{
    if (!InsertAfterCurrent() || !ctx_.book.ReadClipboardRecord())
        return false;
    ToDisplay();
    return apply();
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
        GoToNewSlot();
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
}

} // namespace pb
