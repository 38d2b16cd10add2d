#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "production/productionrun.h"
#include "radio/paramcodec.h"
#include "records/radiorecord.h"
#include "records/recordstore.h"
#include "serial/portreturn.h"
#include "serial/serialdevice.h"

class TFormProductionHistory;

// File > Production…: a profile, the ports, the checks and the IDs, then one row per port with
// its radio, phase, verdict, reason, time and ID, all ports run at once. Space starts, Escape
// stops. Readable across a workbench: the rows and the summary are set large.
class TFormProduction : public QWidget {
    Q_OBJECT
  public:
    using ValuesSource = std::function<WriteSelection()>;
    using DeviceLister = std::function<QList<ListedDevice>()>;

    enum Column {
        PortColumn,
        ModelColumn,
        PhaseColumn,
        ResultColumn,
        ReasonColumn,
        TimeColumn,
        IdColumn,
        ColumnCount
    };
    static constexpr int WaitingPollMs = 1000;
    static constexpr int AdapterPollMs = 1000;
    static constexpr int FitColumnsMs = 100;

    TFormProduction(ValuesSource mainWindowValues, SerialDeviceOpener opener,
                    DeviceLister listDevices, QWidget* parent);
    ~TFormProduction() override;

    // Profile
    QLabel* LabelProfile;
    QPushButton* ButtonLoadProfile;
    QPushButton* ButtonMainValues;
    // Ports
    QCheckBox* CheckEveryAdapter;
    QListWidget* ListPorts;
    QLineEdit* EditAddPort;
    QPushButton* ButtonAddPort;
    QPushButton* ButtonRefreshPorts;
    // Checks
    QSpinBox* SpinModel;  // its lowest value reads "Any"
    QLineEdit* EditFirmware;
    QCheckBox* CheckVerify;
    QCheckBox* CheckLinkTest;
    QLineEdit* EditReference;
    QSpinBox* SpinFrames;
    QSpinBox* SpinPassPercent;
    // IDs
    QRadioButton* RadioKeepId;
    QRadioButton* RadioSameId;
    QRadioButton* RadioNextId;
    QLineEdit* EditSameId;
    QLineEdit* EditIdRange;
    // Station and record
    QLineEdit* EditStation;
    QLineEdit* EditOperator;
    QLineEdit* EditDatabase;
    QCheckBox* CheckContinuous;
    // The run
    QTableWidget* Rows;
    QLabel* LabelSummary;
    QLabel* LabelWaiting;
    QPushButton* ButtonStart;
    QPushButton* ButtonStop;
    QPushButton* ButtonHistory;
    QTimer* WaitingTimer;
    // Looks for adapters plugged in while a continuous run over every USB adapter goes on.
    QTimer* AdapterTimer;

    // Asks for a profile file; empty when the user cancels.
    std::function<QString()> ChooseProfile;

    void ButtonLoadProfileClick();
    void ButtonMainValuesClick();
    void ButtonAddPortClick();
    void ButtonRefreshPortsClick();
    void ButtonStartClick();
    void ButtonStopClick();
    void ButtonHistoryClick();
    void WaitingTimerTimer();
    void AdapterTimerTimer();

    // The plan the controls describe, or why they describe none.
    struct PlanFromControls {
        std::optional<ProductionPlan> plan;
        QString error;
    };
    PlanFromControls planFromControls() const;
    QStringList chosenDevices() const;
    ProductionRun* run() const { return run_.get(); }
    RecordStore* store() const { return store_.get(); }

  signals:
    void runFinished();

  private:
    QWidget* buildSetup();
    QWidget* buildRunArea();
    void showRow(int row);
    void showSummary();
    void showRunning(bool running);
    // Opens the database typed, unless it is open already, then calls `then`; says why when it
    // cannot be opened. A server that cannot be reached is no obstacle: records wait for it.
    void withStore(std::function<void()> then);
    void startRun(const ProductionPlan& plan, const QStringList& devices);

    ValuesSource mainWindowValues_;
    SerialDeviceOpener opener_;
    DeviceLister listDevices_;
    QWidget* setup_ = nullptr;
    QTimer fitColumns_;
    RadioProfile profile_;
    std::unique_ptr<RecordStore> store_;
    QString storeLocation_;
    bool storeOpening_ = false;
    TFormProductionHistory* history_ = nullptr;
    std::unique_ptr<ProductionRun> run_;
};

// A USB-serial adapter, which "every USB adapter" takes.
bool IsUsbAdapter(const ListedDevice& device);

class TForm1;
// File > Production…, which makes the window when first chosen.
void AddProductionMenu(TForm1& form);
