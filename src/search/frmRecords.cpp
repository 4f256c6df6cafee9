#include "search/frmRecords.h"

#include "platform/Busy.h"
#include "platform/Codepage.h"
#include "platform/Twips.h"
#include "shell/RecordWindow.h"
#include "records/RecordNumber.h"
#include "shell/AppContext.h"
#include "shell/Artwork.h"

#include <QCloseEvent>
#include <QListView>
#include <QPushButton>
#include <QShortcut>

#include <charconv>
#include <vector>
#include <cstring>

namespace pb {

frmRecords::frmRecords(AppContext& ctx) : QWidget(nullptr), ctx_(ctx)
{
    setObjectName(QStringLiteral("frmRecords"));
    setWindowTitle(QStringLiteral("Available records"));
    setWindowIcon(artwork::appIcon());
    setFixedSize(twips::toPixels(3135), twips::toPixels(5625));

    model_ = new RecordLines(this);
    lstRecord = new QListView(this);
    lstRecord->setObjectName(QStringLiteral("lstRecord"));
    lstRecord->setAccessibleName(QStringLiteral("Records"));
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
    // Esc does what Exit does, as in the desktop's dialogs.
    connect(new QShortcut(QKeySequence::Cancel, this), &QShortcut::activated, this, &frmRecords::cmdExit_Click);
    setTabOrder(lstRecord, cmdRefresh);
    setTabOrder(cmdRefresh, cmdExit);

    Form_Load();
}

void frmRecords::Form_Load()
{
    RecordWindow* data = ctx_.recordWindow();
    const auto count = data->recordCount();
    if (!count)
        return;
    const BusyCursor busy;
    // Every line goes into one text, the list showing pieces of it: one
    // string for the whole book rather than one per record.
    const int n = std::max<int>(*count, 0);
    // At most 18 + 2 + 18 + 3 + 5 + 1 characters a line (a first or last
    // name from other software may be longer: the room grows for it).
    QString text(static_cast<qsizetype>(n) * 48, Qt::Uninitialized);
    qsizetype used = 0;
    std::vector<qsizetype> ends;
    ends.reserve(static_cast<std::size_t>(n));
    Phonebook& book = ctx_.book;
    RecordScanner records = book.scanner(1);   // leaves the buffer on the last record read
    const FieldLayout f = layoutOf(Field::FirstName);
    const FieldLayout l = layoutOf(Field::LastName);
    for (int i = 1; i <= n; ++i) {
        const char* r = records.next();
        if (!r)
            break;
        // The line is built straight from the stored bytes.
        const std::string_view first = FieldTextBytes(std::string_view(r + f.offset, f.width));
        const std::string_view last = FieldTextBytes(std::string_view(r + l.offset, l.width));
        const qsizetype need = static_cast<qsizetype>(first.size() + last.size()) + 12;
        if (used + need > text.size())
            text.resize(std::max(text.size() * 2, used + need));
        QChar* out = text.data() + used;
        out = codepage::decodeInto(out, first);
        *out++ = u' ';
        *out++ = u' ';
        out = codepage::decodeInto(out, last);
        char digits[12] = {' ', ' ', '('};
        char* end = std::to_chars(digits + 3, digits + sizeof digits - 1, i).ptr;
        *end++ = ')';
        for (const char* d = digits; d != end; ++d)
            *out++ = QLatin1Char(*d);
        used = out - text.constData();
        ends.push_back(used);
    }
    text.truncate(used);
    model_->setLines(std::move(text), std::move(ends));
}

QStringList frmRecords::lines() const
{
    QStringList out;
    for (int i = 0; i < model_->rowCount(); ++i)
        out.append(model_->line(i));
    return out;
}

int RecordLines::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(ends_.size());
}

QVariant RecordLines::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return {};
    return line(index.row());
}

QString RecordLines::line(int row) const
{
    const qsizetype from = row == 0 ? 0 : ends_[static_cast<std::size_t>(row) - 1];
    return text_.mid(from, ends_[static_cast<std::size_t>(row)] - from);
}

void RecordLines::setLines(QString text, std::vector<qsizetype> ends)
{
    beginResetModel();
    text_ = std::move(text);
    ends_ = std::move(ends);
    endResetModel();
}

void frmRecords::lstRecord_Click(int row)
{
    RecordWindow* data = ctx_.recordWindow();
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
