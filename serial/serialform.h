#pragma once

#include <QDialog>
#include <QStringList>

#include "core/messages.h"
#include "serial/seriallink.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;

// The port refused the settings it was given and was closed.
extern const LocalizedMessage kSettingsRejected;

// The entry an editable list stands on: the current entry while its text is shown, an entry
// whose text the user typed, and -1 for any other text (or when nothing was selected).
int ChosenEntry(const QStringList& entries, int currentIndex, const QString& shownText,
                bool typedByUser);
int ChosenEntry(const QComboBox& list);

// The port settings dialog: opens a port by hand with a chosen rate and parity. Its lists also
// show the current port settings. Not modal; closing it only hides it.
class TSerial_Form : public QDialog, public PortSettingsDisplay {
    Q_OBJECT
  public:
    explicit TSerial_Form(PortSettingsLink& link, QWidget* parent = nullptr);

    QGroupBox* GroupBox1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QComboBox* Comb_ComNo;
    QComboBox* ComboBaudRate;
    QComboBox* ComboParity;
    QComboBox* Comb_DataBit;
    QPushButton* Button1;
    QPushButton* Button2;
    QComboBox* Comb_StopBit;
    // Which device the port list's entry stands for; the server of a network port.
    QLabel* PortDevice;
    static constexpr int PortDeviceChars = 40;
    // Runs while the dialog is shown, so that the devices shown follow adapters plugged in and
    // out.
    QTimer* PortWatch;
    static constexpr int PortWatchMs = 1000;

    void Button1Click();
    void Button2Click();
    void PortWatchTimer();

    QString portListText() const override;
    void selectPort(int entry) override;
    void selectRateAndParity(int baudIndex, int parityIndex) override;

  signals:
    // OK opened the chosen port with the chosen settings.
    void portOpened();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void showPortDevices();

    PortSettingsLink& link_;
};

// The process-wide dialog, created by the main window.
extern TSerial_Form* Serial_Form;
