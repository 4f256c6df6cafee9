#pragma once

#include <QDialog>
#include <QImage>

class QLabel;
class QPushButton;

namespace pb {

class AppContext;

// The About box: the program's title and version, a word about the product
// and a notice, with "OK" to close it and "&System Info..." to start the
// system's own information program. Every use opens a new box of its own;
// it is not one of the shared windows.
class frmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout(AppContext& ctx);

    // What the About menu items do: a new box, shown not modally, that
    // deletes itself when it closes. The caller need not keep the pointer.
    static frmAbout* showNew(AppContext& ctx);

    // Finds and starts System Information, or says it is unavailable.
    void StartSysInfo();

public slots:
    void cmdOK_Click();
    void cmdSysInfo_Click();
    void reject() override;   // Esc

protected:
    void paintEvent(QPaintEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void Form_Load();

    AppContext& ctx_;
    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* lblDescription;
    QLabel* lblDisclaimer;
    QLabel* picIcon;
    QPushButton* cmdOK;
    QPushButton* cmdSysInfo;
    QImage picture_;
};

} // namespace pb
