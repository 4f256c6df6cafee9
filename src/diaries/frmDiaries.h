#pragma once

#include "diaries/DiaryRecord.h"

#include <QWidget>

#include <cstdint>

class QLabel;
class QLineEdit;
class QToolBar;

namespace pb {

class AppContext;
class DiaryTextBox;

// "DiariesBook": one dated entry of the diaries file at a time, its date line
// above its text, with a toolbar to save it and to move to the previous or
// next entry. The file is open from loading to unloading.
class frmDiaries : public QWidget
{
    Q_OBJECT
public:
    explicit frmDiaries(AppContext& ctx);
    ~frmDiaries() override;

    // False when loading could not open the diaries file (it has said so).
    bool fileOpen() const { return file_.isOpen(); }
    int entryNumber() const { return EntryNumber; }

public slots:
    void Toolbar_ButtonClick(const QString& key);
    void SaveEntry();
    void PreviousEntry();
    void NextEntry();

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void Form_Load();
    void Form_Unload();
    void ShowEntry();
    QString shownDiaryText() const;
    void setCaption(int n);
    bool moveTo(int n);
    void txtDate_LostFocus();
    QWidget* messageOwner();

    AppContext& ctx_;
    QToolBar* Toolbar;
    QLabel* Label1;
    QLineEdit* txtDate;
    DiaryTextBox* txtDiaries;

    std::int16_t EntryNumber = 1;
    DiaryRecord record_;
    DiaryFile file_;
};

} // namespace pb
