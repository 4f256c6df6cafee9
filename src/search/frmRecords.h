#pragma once

#include <QAbstractListModel>
#include <QWidget>

#include <vector>

class QListView;
class QPushButton;


namespace pb {

// The list's lines: one text holding every line, and where each one ends.
class RecordLines final : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QString line(int row) const;
    void setLines(QString text, std::vector<qsizetype> ends);

private:
    QString text_;
    std::vector<qsizetype> ends_;
};

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
    class RecordLines* model_;
    QPushButton* cmdRefresh;
    QPushButton* cmdExit;
};

} // namespace pb
