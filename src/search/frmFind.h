#pragma once

#include "records/ContactRecord.h"
#include "search/Search.h"

#include <QDialog>

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace pb {

class AppContext;

// "Search for...": finds the first contact whose first name, last name or
// e-mail begins with the query, and goes on to the next one with Find next.
// Where a search stands is the main window's current record.
class frmFind : public QDialog
{
    Q_OBJECT
public:
    explicit frmFind(AppContext& ctx);

public slots:
    void cmdSerach_Click();
    void cmdFindNext_Click();
    void reject() override;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    struct SearchField {
        Field field;
        QString notFound;
    };

    std::optional<SearchField> searchField() const;
    // The search from `from` on, the main window's boxes set at the end: a
    // bad pattern (when it fails) leaves the field's text in its box and
    // counts as Failed.
    SearchScan::Outcome scan(int from, Field field, const QString& query, bool badPatternFails, int* hit);
    void backTo(int record);

    AppContext& ctx_;
    QRadioButton* OptFirst;
    QRadioButton* OptLast;
    QRadioButton* OptEmail;
    QLineEdit* txtFind;
    QPushButton* cmdSerach;
    QPushButton* cmdFindNext;
};

} // namespace pb
