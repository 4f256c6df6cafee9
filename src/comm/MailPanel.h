#pragma once

#include <QObject>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace pb {

class AppContext;
class RecordWindow;
class MultiLineBox;

// The e-mail panel on the right of the main window: recipient name and
// address, subject and message, and "Send", which hands the message to the
// system's mail client. Widening the window shows the panel; the window's
// "<<<" narrows it again. "E-Mail >>>", in the contact area, opens and fills it.
class MailPanel final : public QObject
{
    Q_OBJECT
public:
    // The outer window width, in twips, that shows the panel.
    static constexpr int kOpenWidth = 10620;

    // Builds the panel's controls in `area`, the window's client area.
    // `pointerOverSendMail` runs when the pointer moves over "E-Mail >>>".
    MailPanel(AppContext& ctx, RecordWindow& window, QWidget* area, std::function<void()> pointerOverSendMail);

    // Opens the panel with the contact on show as the recipient.
    void MailToContact();
    // Opens the panel with the contact on show as the message.
    void InfoAboutContact();
    // Opens the panel with every record, as in the print file, as the message.
    void SendAllRecords();
    // Hands the four boxes to the mail client.
    void SendMail();
    // Shows or hides the panel's controls ("E-Mail >>>" stays).
    void setPanelVisible(bool visible);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void showPanel();

    AppContext& ctx_;
    RecordWindow& window_;
    std::function<void()> pointerOverSendMail_;
    QPushButton* cmdSendMail = nullptr;
    QLabel* Label10 = nullptr;
    QLineEdit* txtMFirst = nullptr;
    QLineEdit* txtMEmail = nullptr;
    QLabel* Label11 = nullptr;
    QLineEdit* txtSubject = nullptr;
    MultiLineBox* txtMessage = nullptr;
    QPushButton* cmdSend = nullptr;
};

} // namespace pb
