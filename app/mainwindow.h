#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "app/modemlinesview.h"
#include "app/panel.h"
#include "app/reveal.h"
#include "datatest/datatest.h"
#include "radio/sequencer.h"
#include "serial/seriallink.h"

// What the status bar's port cell shows: the host of an open network port (a COMn slot or a
// whole URL would hide it, or not fit), the port as the link names it otherwise.
QString PortCellText(const QString& portText, const QString& openDevice);

// The main window: toolbar, menus, parameter column, data area, status bar and the hidden
// statistics row. It owns the five timers; their handlers do one tick's work each.
class TForm1 : public QWidget, public SerialLinkHost, public SequencerHost {
    Q_OBJECT
  public:
    explicit TForm1(QWidget* parent = nullptr);

    // Toolbar.
    QFrame* Panel1;
    QToolButton* Speed_R;
    QToolButton* Speed_W;
    QToolButton* Speed_O;
    QToolButton* Speed_C;
    QToolButton* BitBtn1;
    QToolButton* Speed_E;

    // Menus.
    QMenuBar* MainMenu1;
    QMenu* FIle_M;
    QAction* FileRead;
    QAction* FileWrite;
    QAction* N3;
    QAction* FileSaveProfile;
    QAction* FileLoadProfile;
    QAction* N2;
    QAction* FileExit;
    QMenu* Seri_M;
    QAction* Seri_O_M;
    QAction* Seri_C_M;
    QMenu* View_M;
    QMenu* Help_M;
    QAction* Help_U_M;
    QAction* Help_A_M;
    QAction* Test_M;

    // Radio model group.
    QGroupBox* GroupBox3;
    TPanel* ParaModel;
    QLineEdit* EditModelVer;
    TPanel* ParaID;
    QLineEdit* EditID;

    // Radio parameter group.
    QGroupBox* GroupBox1;
    TPanel* ParaChnn;
    QComboBox* ComboChnn;
    TPanel* ParaAriBaud;
    QComboBox* ComboAirBaud;
    TPanel* ParaSerialBaud;
    QComboBox* ComboRadioSerBaud;
    QComboBox* ComboRadioParity;

    // Data-transfer group.
    QGroupBox* GroupBox2;
    TPanel* Panel8;
    ReceiveView* Memo_Rec;
    QCheckBox* Check_RecHex;
    QCheckBox* Check_AutoClr;
    QPushButton* Button1;
    QPushButton* Button_ClrRecMemo;
    QPushButton* Button3;
    // DTR, RTS, CTS, DSR, CD and RI, where the port has them.
    ModemLinesView* ModemLines;
    TPanel* Panel9;
    QPlainTextEdit* Memo_Trtt;
    QPushButton* Button_ManulTrtt;
    QPushButton* Button_ClrTrttMemo;
    QCheckBox* Check_AutoTrtt;
    QLabel* Label9;
    QLineEdit* Edit_TrttPerio;
    QLabel* Label10;
    QCheckBox* Check_TrttHex;
    QLabel* Label_LineEnd;
    // What a line break of a text send goes out as, in the order of AllLineEndings.
    QComboBox* Combo_LineEnd;

    // Status bar and the two cells beside it.
    QStatusBar* StatusBar1;
    // Received bytes dropped for want of room; shown only once there are any.
    QLabel* StatusLost;
    TPanel* Panel10;
    TPanel* Panel11;

    // Statistics row.
    QFrame* Panel2;
    TPanel* PanelTrttTest;
    QCheckBox* CheckTrtt;
    TPanel* Panel3;
    QLineEdit* Edit1;
    TPanel* Panel4;
    QLineEdit* Edit2;
    TPanel* Panel7;
    QLineEdit* Edit4;
    QLabel* Label1;
    QLineEdit* Edit5;
    QLineEdit* Edit6;
    QLineEdit* Edit7;
    TPanel* Panel5;
    QLineEdit* Edit3;
    TPanel* Panel6;

    // Timers.
    QTimer* Timer_SdCmd;
    QTimer* Timer_RecCmd;
    QTimer* Timer_TrttData;
    QTimer* Timer_RecData;
    QTimer* Timer1;

    // Asks for the profile file to save to or load from; empty when the user cancels.
    std::function<QString(bool save)> ChooseProfileFile;
    // Where the user manual is (empty when it is not installed), and how it is opened.
    std::function<QUrl()> LocateManual;
    std::function<bool(const QUrl&)> OpenUrl;

    HiddenFeatureReveal Reveal;
    CommandSequencer Sequencer;
    // Built once the controls it works on exist.
    std::unique_ptr<DataTest> Data;

    static constexpr int StatusPanelCount = 6;
    // The status cell that names the port.
    static constexpr int PortPanel = 1;
    static constexpr std::array<int, StatusPanelCount> StatusPanelWidths{0,   100, 100,
                                                                         100, 150, 150};
    QString statusText(int panel) const;
    // A cell of the status bar, as wide as it prefers while the window has room for all.
    void addStatusCell(QLabel* cell, int preferredWidth);
    // Shares the window's width out among the status cells shown.
    void fitStatusCells();
    // The size of the design: the window's first size, and its least while the screen has room.
    QSize designSize() const { return designSize_; }
    // Keeps all of the window on the screen it is on: no larger than the room there, moved in.
    void fitToScreen();

    // SerialLinkHost
    void setStatusText(int panel, const QString& text) override;
    void startReceivePoll() override;
    void stopReceivePoll() override;
    void portLost() override;
    void dataSent() override;

    // SequencerHost
    void setCommandTimers(bool running) override;
    bool commandTimersRunning() const override;
    void stopDataTest() override;
    void resumeDataTest() override;
    void showProgress(SequencePhase phase, int maximum) override;
    void setProgress(int position) override;
    void closeProgress() override;
    WriteSelection valuesToWrite() const override;
    void enableWrite() override;
    void sequenceEnded(const SequenceResult& result) override;
    void showModelVersion(const QString& text) override;
    QString modelVersionShown() const override;
    void showModelField(const QString& text) override;
    void enableAirRate() override;
    void showParameters(const ShownParameters& shown) override;
    void clearReadResults() override;

    void FormCreate();
    // Measures the design size once every control is there with its texts, then lets the
    // receive and transmit areas shrink below theirs for a small screen.
    void settleDesignSize();
    void FormActivate();

    void Timer_SdCmdTimer();
    void Timer_RecCmdTimer();
    void Timer_TrttDataTimer();
    void Timer_RecDataTimer();
    void Timer1Timer();

    void Speed_RClick();
    void Speed_WClick();
    void Speed_OClick();
    void Seri_O_MClick();
    void Speed_CClick();
    void Help_A_MClick();
    // Opens the installed manual in the desktop's browser, or says why it cannot.
    void Help_U_MClick();
    void Test_MClick();
    void FileExitClick();
    // A profile of what the parameter controls hold; a control without a value is left out.
    void FileSaveProfileClick();
    // Fills the controls with what the profile holds; the user then presses Write.
    void FileLoadProfileClick();
    void Speed_EClick();
    void Panel10Click();
    void Panel11Click();
    void Button_ManulTrttClick();
    void Check_AutoTrttClick();
    void Button_ClrTrttMemoClick();
    void Button_ClrRecMemoClick();
    void Button1Click();
    void Button3Click();
    void PanelTrttTestClick();
    bool EditModelVerKeyPress(QKeyEvent* key);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildToolbar();
    void buildMenus();
    QWidget* buildParameterColumn();
    QGroupBox* buildDataGroup();
    QWidget* buildStatusRow();
    QFrame* buildStatisticsRow();
    void buildTimers();
    void watchActivation();
    void buildDataTest();
    void buildReceiveMenus();
    // Text and background colours from the palette, each checked to read against its ground.
    void applyColours();
    // Shows the messages that tell how an exchange ended.
    void showOutcome(const SequenceResult& result);
    // Puts list positions and the identity text into the parameter controls.
    void selectParameters(const ShownParameters& shown);

    std::array<QLabel*, StatusPanelCount> statusPanels_{};
    std::vector<std::pair<QLabel*, int>> statusCells_;
    QWidget* statusRow_ = nullptr;
    QSize designSize_;
    bool activatedOnce_ = false;
};
