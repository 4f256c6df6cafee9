#pragma once

#include "records/ContactRecord.h"

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
    enum class Outcome { Hit, NotFound, Failed };
    struct Scan {
        Outcome outcome;
        int hit;
    };
    struct SearchField {
        Field field;
        QString notFound;
    };

    std::optional<SearchField> searchField() const;
    Scan scan(int from, Field field, const QString& query, bool badPatternFails);
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
