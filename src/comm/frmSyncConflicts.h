#pragma once

// The contacts a sync left as they were because a field changed here and
// on the server in two ways: one row per field with both values, and the
// user's choice for it (keep this book's, take the server's, or keep both
// versions as two contacts).

#include "sync/SyncJob.h"

#include <QDialog>

class QTableWidget;

namespace pb {

class frmSyncConflicts : public QDialog
{
    Q_OBJECT
public:
    frmSyncConflicts(QWidget* parent, const QList<sync::SyncReport::Conflict>& conflicts);

    // The choices made, by card, for the sync to apply.
    QHash<QString, sync::SyncOptions::Choice> choices() const;

    enum Pick { KeepHere, TakeThere, KeepBoth };
    // Sets the choice of one row (a test's hand, or the user's).
    void choose(int row, Pick pick);

private:
    QList<sync::SyncReport::Conflict> conflicts_;
    QList<QPair<int, Field>> rows_;   // conflict and field of each row
    QTableWidget* tblFields;
};

} // namespace pb
