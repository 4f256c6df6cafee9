#include "comm/frmSyncConflicts.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace pb {

namespace {

QTableWidgetItem* textItem(const QString& text)
{
    // A contact's values are shown as text, never as markup.
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setToolTip(text);
    return item;
}

} // namespace

frmSyncConflicts::frmSyncConflicts(QWidget* parent, const QList<sync::SyncReport::Conflict>& conflicts)
    : QDialog(parent), conflicts_(conflicts)
{
    setObjectName(QStringLiteral("frmSyncConflicts"));
    setWindowTitle(QStringLiteral("Sync Conflicts"));
    auto* lbl = new QLabel(QStringLiteral("These fields were changed here and on the server in different ways. Choose "
                                          "the value to keep; the other is saved in a vCard file beside the book."),
                           this);
    lbl->setWordWrap(true);
    tblFields = new QTableWidget(this);
    tblFields->setObjectName(QStringLiteral("tblFields"));
    tblFields->setColumnCount(5);
    tblFields->setHorizontalHeaderLabels(
        {QStringLiteral("Contact"), QStringLiteral("Field"), QStringLiteral("Here"), QStringLiteral("There"), QStringLiteral("Keep")});
    tblFields->verticalHeader()->hide();
    tblFields->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (int c = 0; c < conflicts_.size(); ++c) {
        const sync::SyncReport::Conflict& k = conflicts_[c];
        for (int i = 0; i < k.fields.size(); ++i) {
            const int row = tblFields->rowCount();
            tblFields->insertRow(row);
            rows_.append({c, k.fields[i]});
            tblFields->setItem(row, 0, textItem(k.name));
            tblFields->setItem(row, 1, textItem(fieldName(k.fields[i])));
            tblFields->setItem(row, 2, textItem(k.here.value(i)));
            tblFields->setItem(row, 3, textItem(k.there.value(i)));
            auto* pick = new QComboBox(tblFields);
            pick->addItems({QStringLiteral("Keep here"), QStringLiteral("Take there"), QStringLiteral("Keep both")});
            pick->setAccessibleName(QStringLiteral("Keep for %1, %2").arg(k.name, fieldName(k.fields[i])));
            tblFields->setCellWidget(row, 4, pick);
            // Keeping both is a choice for the whole contact: its other rows follow.
            connect(pick, &QComboBox::activated, this, [this, row](int index) { choose(row, Pick(index)); });
        }
    }
    // The keyboard starts on the first choice; Tab goes on to the next.
    if (tblFields->rowCount() > 0)
        tblFields->cellWidget(0, 4)->setFocus();
    tblFields->resizeColumnsToContents();
    tblFields->resizeRowsToContents();   // room for the choice in any font
    tblFields->horizontalHeader()->setStretchLastSection(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Apply"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdApply"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("&Later"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdLater"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbl);
    layout->addWidget(tblFields, 1);
    layout->addWidget(buttons);
    resize(std::max(sizeHint().width(), tblFields->horizontalHeader()->length() + 40), sizeHint().height());
}

void frmSyncConflicts::choose(int row, Pick pick)
{
    const auto combo = [this](int r) { return qobject_cast<QComboBox*>(tblFields->cellWidget(r, 4)); };
    combo(row)->setCurrentIndex(pick);
    const int contact = rows_[row].first;
    for (int r = 0; r < rows_.size(); ++r) {
        if (r == row || rows_[r].first != contact)
            continue;
        if (pick == KeepBoth)
            combo(r)->setCurrentIndex(KeepBoth);
        else if (combo(r)->currentIndex() == KeepBoth)
            combo(r)->setCurrentIndex(pick);
    }
}

QHash<QString, sync::SyncOptions::Choice> frmSyncConflicts::choices() const
{
    QHash<QString, sync::SyncOptions::Choice> out;
    for (int r = 0; r < rows_.size(); ++r) {
        const auto& [contact, field] = rows_[r];
        sync::SyncOptions::Choice& c = out[conflicts_[contact].href];
        const int pick = qobject_cast<QComboBox*>(tblFields->cellWidget(r, 4))->currentIndex();
        if (pick == KeepBoth)
            c.keepBoth = true;
        else if (pick == TakeThere)
            c.takeThere << field;
    }
    return out;
}

} // namespace pb
