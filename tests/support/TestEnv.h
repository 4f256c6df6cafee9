#pragma once

#include "platform/MessageBoxes.h"
#include "platform/SettingsStore.h"
#include "records/ContactRecord.h"
#include "records/Data.h"
#include "shell/AppContext.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <initializer_list>
#include <memory>

namespace pb::test {

// A record given field by field, in record order; missing fields are empty.
ContactRecord makeRecord(std::initializer_list<QString> fields);
// A record whose first name only is set.
ContactRecord named(const QString& first);
// What the main window's seven boxes show for a stored record.
QStringList shownText(const ContactRecord& r);

// One run of the program in a temporary folder: the current directory, the
// settings file and scripted message boxes all belong to the test.
class TestEnv
{
public:
    TestEnv();
    ~TestEnv();

    QString path(const QString& name) const;
    QString phonebookPath() const { return path(QStringLiteral("DravikBase.z8B")); }
    QString clipboardPath() const { return path(QStringLiteral("PhoneClip.z8B")); }
    QString iniPath() const;

    // Files on disk.
    void writeBook(const QList<ContactRecord>& records);
    void writeBookNames(const QStringList& firstNames);
    void writeClipboard(const ContactRecord& r);
    QByteArray fileBytes(const QString& name) const;
    QList<ContactRecord> bookOnDisk() const;   // every whole record in the file
    QStringList firstNamesOnDisk() const;      // FieldText of each first name
    ContactRecord clipboardOnDisk() const;

    // Settings as the program stores them.
    void setSetting(const QString& key, const QString& value);
    QString setting(const QString& key) const;   // empty QString when absent
    bool hasSetting(const QString& key) const;

    // The program.
    Data* openData();                // creates, loads and shows the main window
    void closeData();                // closes it as the user would
    void restart();                  // a fresh run in the same folder
    AppContext& ctx() { return *ctx_; }
    ScriptedMessageBoxes& boxes() { return boxes_; }
    ScriptedDialogs& dialogs() { return dialogs_; }
    ScriptedProgramStarter& programs() { return programs_; }
    QStringList messages() const;    // text of every box shown so far
    void clearMessages() { boxes_.shown.clear(); }

private:
    QTemporaryDir dir_;
    QString oldCwd_;
    ScriptedMessageBoxes boxes_;
    ScriptedDialogs dialogs_;
    ScriptedProgramStarter programs_;
    SettingsStore settings_;
    std::unique_ptr<AppContext> ctx_;
};

// While alive, no file of this process can grow past `bytes`: writes there
// fail as on a full disk (also for root, unlike a read-only folder).
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    unsigned long long previous_;
};

// Widgets of the main window by object name.
QLineEdit* lineEdit(QWidget* w, const char* name);
QPushButton* button(QWidget* w, const char* name);
QAction* action(QWidget* w, const char* name);
QString title(Data* d);
QString recordBox(Data* d);
QString countLabel(Data* d);
QStringList shownBoxes(Data* d);   // the seven boxes' texts in record order
void click(QWidget* w, const char* buttonName);
void typeInto(QWidget* w, const char* boxName, const QString& text, bool clearFirst = true);

} // namespace pb::test
