#pragma once

#include "exchange/ImportJob.h"
#include "platform/Busy.h"
#include "records/ContactRecord.h"
#include "shell/RecordWindow.h"

#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <memory>
#include <cstdint>
#include <optional>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;
class QToolBar;

namespace pb {

namespace sync {
struct SyncAccount;
}
class AppContext;
class CommonDialog;
class FieldBox;
class MultiLineBox;
class BackgroundArea;

// The main window: one contact at a time in seven boxes, with the record
// number, the count, navigation, apply and delete, the toolbar and the menus
// from which every other window is opened.
class Data : public QMainWindow, public RecordWindow
{
    Q_OBJECT
public:
    explicit Data(AppContext& ctx);
    ~Data() override;

    // --- what the other windows use (RecordWindow) ----------------------
    QWidget* widget() override { return this; }
    void ToDisplay() override;
    // Shows the empty slot after the last record.
    bool GoToNewSlot();
    // Copies the seven boxes into the record buffer.
    void StoreBoxes();
    // Opens a placeholder after the record on show (or moves to the new slot
    // on the last record). False when a step failed.
    bool InsertAfterCurrent();

    QString recordBoxText() const;
    void setRecordBox(const QString& text) override;
    void setRecordBox(int n) { setRecordBox(QString::number(n)); }
    std::optional<std::int16_t> currentRecord() const override;
    QString recordCountText() const;
    std::optional<std::int16_t> recordCount() const override;

    QString boxText(Field f) const override;
    void setBoxText(Field f, const QString& text) override;

    qint32 backgroundColor() const { return backColor_; }
    void setBackgroundColor(qint32 c);
    QString backPicturePath() const { return backPicturePath_; }
    // Replaces the built-in background picture for this run.
    void setBackgroundPicture(const QImage& picture, const QString& path);

    // The one common dialog of the main window, shared by its commands and
    // by the record viewer.
    CommonDialog& dlgFileOpen() override { return *dlgFileOpen_; }

    AppContext& context() { return ctx_; }


public slots:
    void cmdBegining_Click();
    void cmdPrevious_Click();
    void cmdNext_Click();
    void cmdEnd_Click();
    void cmdAdd_Click();
    void cmdDelete_Click();
    void cmdRestore_Click();
    void mnuInsertBefore_Click();
    void mnuInsertAfter_Click();
    void mnuInsertBegining_Click();
    void mnuInsertEnd_Click();
    void mnuexit_Click();
    void mnuFind_Click();
    void mnuShow_Click();
    void Toolbar1_ButtonClick(const QString& key);
    void customizeToolbar();

    // Printing and export (DataPrint.cpp).
    void mnuPrint_Click();
    QString CurrentRecordText() const override;
    // The diaries book (DataDiaries.cpp).
    void mnuDiaries_Click();
    // Dialling and e-mail (DataComm.cpp).
    void mnuDialer_Click();
    void mnuPhoneDialer_Click();
    void mnuMailTo_Click();
    void mnuInfoAbout_Click();
    void mnuSendAllRecords_Click();
    // Appearance, help and the About box (DataAppearance.cpp).
    void mnuDefault_Click();
    void mnuOther_Click();
    void mnuBackColors_Click();
    void mnuBackPic_Click();
    void mnuContents_Click();
    // The manual's first page, or empty when it is not installed.
    static QString manualPath();
    void mnuAbout_Click();
    // Contacts in and out, and the book's check (DataExchange.cpp).
    void mnuImport_Click();
    void mnuExport_Click();
    void mnuCheck_Click();
    // The book in step with a CardDAV server (DataSync.cpp).
    void mnuSyncAccount_Click();
    void mnuSyncNow_Click();
    void mnuSyncStatus_Click();
    // The browser (DataBrowser.cpp).
    void mnuProHandler_Click();
    void ShowPublisherPage(const QString& page);
    QString publisherSiteBase() const;
    // The shared browser window, loaded on first use; without the plugin,
    // nothing (the user told why unless `quietly`).
    class BrowserWindow* browser(bool quietly = false);
    bool showInOwnBrowser(const QString& address);
    void tellWhereTheManualIs(const QString& manual);

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    friend class BackgroundArea;

    void buildControls();
    void buildMenus();
    void buildToolbar();
    void fitToArea();
    void Form_Load();
    void Form_Unload();
    void Form_MouseMove();
    void Form_MouseUp(Qt::MouseButton button, const QPoint& globalPos);
    // Shutdown steps that belong to the windows opened from here.
    void unloadPrintWindows();   // DataPrint.cpp
    void unloadDiaries();        // DataDiaries.cpp
    void buildMailPanel();       // DataComm.cpp
    void txtRecord_Change();
    void txtRecord_GotFocus();
    void txtRecord_MouseMove();
    void txtRecord_KeyUp();

    enum class ApplyResult { Done, Refused, Failed };
    bool apply();
    ApplyResult applyBoxes();
    bool openPlaceAt(int at, int c);
    void showRecordOnShow();
    void reportUndoFailure();
    bool deleteRecord();
    bool insertBefore();
    bool copyRecord();
    bool cutRecord();
    bool pasteRecord();
    void showPlaceholder();
    void selectFirstName();
    void newRecordForTyping();
    void layOutRightColumn();
    void setRecordCount(int n);
    // After the book changed under the window: the new count, and record
    // `show` in the boxes.
    void showAfterBookChange(int count, int show);
    bool explainFailedChange();
    exchange::ImportJob::Answer confirmImport(const exchange::ImportPlan& plan, const QString& file,
                                              std::optional<Progress>* progress, std::optional<BusyCursor>* busy);
    void reportFailedChange(const QString& what);
    void updateClock();

    QWidget* boxWidget(Field f) const;

    AppContext& ctx_;
    QWidget* area_ = nullptr;
    std::array<QWidget*, kFieldCount> boxes_{};
    FieldBox* txtFirst = nullptr;
    FieldBox* txtLast = nullptr;
    FieldBox* txtPhone = nullptr;
    FieldBox* txtEmail = nullptr;
    FieldBox* txtCompany = nullptr;
    MultiLineBox* txtAddress = nullptr;
    MultiLineBox* txtComments = nullptr;
    FieldBox* txtRecord = nullptr;
    bool recordBoxEdited_ = false;
    bool quietInserts_ = false;   // a paste's insert leaves the telling to the paste   // the record box's text was changed by the user since it showed a record
    QLabel* lblRecord = nullptr;
    QPushButton* cmdBegining = nullptr;
    QPushButton* cmdPrevious = nullptr;
    QPushButton* cmdNext = nullptr;
    QPushButton* cmdEnd = nullptr;
    QPushButton* cmdAdd = nullptr;
    QPushButton* cmdDelete = nullptr;
    QPushButton* cmdRestore = nullptr;
    QToolBar* Toolbar1 = nullptr;
    QList<QAction*> toolbarButtons_;
    QMenu* mnuNew = nullptr;
    QMenu* mnuBackColor = nullptr;
    QLabel* timePanel_ = nullptr;
    QLabel* datePanel_ = nullptr;
    QLabel* syncPanel_ = nullptr;   // the last sync, when the book has an account
    QTimer* clock_ = nullptr;
    QString syncPassword_;          // kept while the program runs, never stored
    bool syncPasswordRefused_ = false;   // the server said no to the keyring's
    QTimer* syncTimer_ = nullptr;   // the account's "sync every N minutes"
    // Asks for the account (or only its password, saying why); false when
    // cancelled.
    bool askSyncAccount(const QString& note);
    QString syncPassword(const sync::SyncAccount& account, QString* why);
    // A sync: asked for (questions and a report) or the timer's (the status
    // bar only).
    void runSync(bool asked);
    void showSyncStatus(const QString& text);
    void startSyncTimer();
    void syncTimer_Timer();

    qint32 backColor_ = 0;
    QString backPicturePath_;
    QImage backPicture_;
    bool builtInPicture_ = true;   // drawn to fill the form
    std::unique_ptr<CommonDialog> dlgFileOpen_;
    QSizeF wantedOuterSize_;   // twips, re-applied once the frame is known
    bool frameFixed_ = false;
    class BrowserWindow* browser_ = nullptr;
    QPointer<QWidget> browserWidget_;   // gone once the browser is closed
};

} // namespace pb
