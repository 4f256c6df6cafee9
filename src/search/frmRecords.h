#pragma once

#include <QWidget>

class QListView;
class QPushButton;
class QStringListModel;

namespace pb {

class AppContext;

// "Available records": one line per record of the book, built when the
// window is loaded; choosing a line shows the record at that position.
class frmRecords : public QWidget
{
    Q_OBJECT
public:
    explicit frmRecords(AppContext& ctx);

    QStringList lines() const;

public slots:
    void cmdRefresh_Click();
    void cmdExit_Click();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void Form_Load();
    void lstRecord_Click(int row);

    AppContext& ctx_;
    QListView* lstRecord;
    QStringListModel* model_;
    QPushButton* cmdRefresh;
    QPushButton* cmdExit;
};

} // namespace pb
