// The main window's dialling commands and its e-mail panel.
#include "mainwindow/Data.h"

#include "comm/Dial.h"
#include "comm/MailPanel.h"
#include "platform/SerialPort.h"
#include "platform/Twips.h"
#include "shell/AppContext.h"

#include <QPushButton>

namespace pb {

using colors::kBrown;

void Data::buildMailPanel()
{
    new MailPanel(ctx_, *this, centralWidget(), [this] {
        setBackColor(cmdDelete, kBrown);
        setBackColor(cmdAdd, kBrown);
    });
}

void Data::mnuDialer_Click()
{
    auto* line = findChild<ModemLine*>(QString(), Qt::FindDirectChildrenOnly);
    if (!line)
        line = new ModemLine(this);
    const QString device =
        ctx_.setting(QString::fromLatin1(kModemPortKey), SerialPort::deviceName(kModemPortNumber));
    DialContact(this, ctx_.boxes, line->port(), device, boxText(Field::Phone));
}

void Data::mnuPhoneDialer_Click()
{
    StartPhoneDialer(this, ctx_.boxes, ctx_.programs);
}

void Data::mnuMailTo_Click()
{
    if (auto* panel = findChild<MailPanel*>())
        panel->MailToContact();
}

void Data::mnuInfoAbout_Click()
{
    if (auto* panel = findChild<MailPanel*>())
        panel->InfoAboutContact();
}

void Data::mnuSendAllRecords_Click()
{
    if (auto* panel = findChild<MailPanel*>())
        panel->SendAllRecords();
}

} // namespace pb
