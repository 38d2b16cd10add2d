#pragma once

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>
#include <functional>

#include "datatest/datatestengine.h"
#include "datatest/savedsends.h"

// View > Saved Sends: the named sends in a table, the fields of the one selected, and what it
// puts on the wire. A send goes out by a double click, the Send button, Ctrl+1 to Ctrl+9 for
// the first nine, or every period while its Repeat box is ticked. Sends go out as sends by
// hand do, and count towards the TX counter; they have timers of their own and leave the
// periodic send of the transmit area alone.
class TFormSavedSends : public QWidget {
    Q_OBJECT
  public:
    enum Column {
        KeyColumn,
        NameColumn,
        DataColumn,
        ChecksumColumn,
        PeriodColumn,
        RepeatColumn,
        ColumnCount
    };

    // What the window needs of the data test: the line ending of text sends, a send of bytes
    // as a send by hand, and whether the previous send is still on its way.
    struct Sender {
        std::function<LineEnding()> lineEnding;
        std::function<DataTestResult(const QByteArray&)> send;
        std::function<bool()> sendPending;
        // A radio exchange has the port: repeated sends wait.
        std::function<bool()> portTaken;
    };

    TFormSavedSends(Sender sender, QWidget* parent);

    QTreeWidget* Table;
    QLineEdit* EditName;
    QPlainTextEdit* EditData;
    QCheckBox* CheckHex;
    QComboBox* ComboChecksum;
    QSpinBox* SpinPeriod;
    QLabel* LabelBytes;
    QPushButton* ButtonAdd;
    QPushButton* ButtonReplace;
    QPushButton* ButtonRemove;
    QPushButton* ButtonSend;
    QPushButton* ButtonImport;
    QPushButton* ButtonExport;
    // Ctrl+1 to Ctrl+9; the main window takes them too.
    QList<QAction*> ShortcutActions;

    // Asks for the file to import from or export to; empty when the user cancels.
    std::function<QString(bool exporting)> ChooseFile;

    const QList<SavedSend>& savedSends() const { return sends_; }
    // Replaces every send; their repeats stop.
    void setSavedSends(const QList<SavedSend>& sends);
    // Whether the send at `row` goes out every period.
    bool repeating(int row) const;
    void setRepeating(int row, bool on);

    // The row of the send selected, -1 when none is.
    int currentRow() const;
    // Sends the send at `row` once; a row past the list does nothing.
    void sendRow(int row);
    // The period of the repeating send at `row` has passed.
    void repeatTimer(int row);

    // Shows the bytes the fields would send, or why they cannot be kept; the host calls it
    // again when the line ending changes.
    void showFieldBytes();

    void ButtonAddClick();
    void ButtonReplaceClick();
    void ButtonRemoveClick();
    void ButtonImportClick();
    void ButtonExportClick();

  private:
    QWidget* buildFields();
    QWidget* buildButtons();
    // The send the fields describe.
    SavedSend fieldSend() const;
    void showFields(int row);
    // Keeps the fields' send at `row` (a new one at the end); false after saying why not.
    bool keepFieldSend(int row);
    void appendSend(const SavedSend& send);
    void showRow(int row);

    Sender sender_;
    QList<SavedSend> sends_;
    // One per send; running while the send repeats.
    QList<QTimer*> repeats_;
};

// A checksum's name as the window shows it.
QString ChecksumCaption(Checksum checksum);
