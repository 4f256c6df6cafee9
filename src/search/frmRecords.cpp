#include "search/frmRecords.h"

#include "platform/Busy.h"
#include "platform/Codepage.h"
#include "platform/Twips.h"
#include "records/Data.h"
#include "records/RecordNumber.h"
#include "shell/AppContext.h"
#include "shell/Artwork.h"

#include <QCloseEvent>
#include <QListView>
#include <QPushButton>
#include <QStringListModel>

#include <charconv>
#include <cstring>

namespace pb {

frmRecords::frmRecords(AppContext& ctx) : QWidget(nullptr), ctx_(ctx)
{
    setObjectName(QStringLiteral("frmRecords"));
    setWindowTitle(QStringLiteral("Available records"));
    setWindowIcon(artwork::appIcon());
    setFixedSize(twips::toPixels(3135), twips::toPixels(5625));

    model_ = new QStringListModel(this);
    lstRecord = new QListView(this);
    lstRecord->setObjectName(QStringLiteral("lstRecord"));
    lstRecord->setUniformItemSizes(true);
    lstRecord->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstRecord->setModel(model_);
    twips::place(lstRecord, 0, 0, 3135, 5100);

    cmdRefresh = new QPushButton(QStringLiteral("Refresh"), this);
    cmdRefresh->setObjectName(QStringLiteral("cmdRefresh"));
    twips::place(cmdRefresh, 240, 5175, 1095, 375);
    cmdExit = new QPushButton(QStringLiteral("Exit"), this);
    cmdExit->setObjectName(QStringLiteral("cmdExit"));
    twips::place(cmdExit, 1800, 5175, 1095, 375);

    // The selection, not the current index: the view makes its first line
    // current on its own when it gets the focus, which selects nothing.
    connect(lstRecord->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected) {
                const QModelIndexList rows = selected.indexes();
                if (!rows.isEmpty())
                    lstRecord_Click(rows.first().row());
            });
    connect(cmdRefresh, &QPushButton::clicked, this, &frmRecords::cmdRefresh_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmRecords::cmdExit_Click);
    setTabOrder(lstRecord, cmdRefresh);
    setTabOrder(cmdRefresh, cmdExit);

    Form_Load();
}

void frmRecords::Form_Load()
{
    Data* data = ctx_.windows.get<Data>();
    const auto count = data->recordCount();
    if (!count)
        return;
    const BusyCursor busy;
    QStringList lines;
    lines.reserve(std::max<int>(*count, 0));
    Phonebook& book = ctx_.book;
    RecordScanner records = book.scanner(1);
    const char* r = nullptr;
    for (int i = 1; i <= *count; ++i) {
        const char* next = records.next();
        if (!next)
            break;
        r = next;
        // The line is built straight from the stored bytes: one string per record.
        const FieldLayout f = layoutOf(Field::FirstName);
        const FieldLayout l = layoutOf(Field::LastName);
        const std::string_view first = FieldTextBytes(std::string_view(r + f.offset, f.width));
        const std::string_view last = FieldTextBytes(std::string_view(r + l.offset, l.width));
        QString line;
        line.reserve(static_cast<qsizetype>(first.size() + last.size()) + 12);
        codepage::appendDecoded(line, first);
        line.append(QLatin1String("  "));
        codepage::appendDecoded(line, last);
        char digits[8];
        const auto end = std::to_chars(digits, digits + sizeof digits, i).ptr;
        line.append(QLatin1String("  (")).append(QLatin1StringView(digits, end - digits)).append(QLatin1Char(')'));
        lines.append(std::move(line));
    }
    if (r)
        std::memcpy(book.RecordBuffer.bytes.data(), r, kRecordSize);   // the last record read
    model_->setStringList(lines);
}

QStringList frmRecords::lines() const
{
    return model_->stringList();
}

void frmRecords::lstRecord_Click(int row)
{
    Data* data = ctx_.windows.get<Data>();
    const int n = row + 1;
    // A line that no longer has a record to read leaves the main window as it is.
    if (!ctx_.book.ReadRecord(n))
        return;
    data->ToDisplay();
    data->setRecordBox(n);
}

void frmRecords::cmdRefresh_Click()
{
    const QRect where = geometry();
    close();
    frmRecords* fresh = ctx_.windows.get<frmRecords>();
    fresh->setGeometry(where);
    fresh->show();
}

void frmRecords::cmdExit_Click()
{
    hide();
}

void frmRecords::closeEvent(QCloseEvent* e)
{
    e->accept();
    ctx_.windows.forget(this);
}

} // namespace pb
