#pragma once

#include <QLineEdit>
#include <QTest>
#include <chrono>
#include <list>
#include <memory>

#include "app/mainwindow.h"
#include "app/windows.h"
#include "serial/portnames.h"
#include "sim/simulatedport.h"
#include "sim/simulatedradio.h"
#include "tests/support/fakeserialdevice.h"
#include "tests/support/recorders.h"

// The program's windows, with COM1 onto a simulated radio or a fake device of the test's
// choosing and every message recorded. No event loop runs while a test works, so the windows'
// timers never fire on their own: the test calls their handlers and moves the radio on in step.
class WindowFixture {
  public:
    static constexpr std::chrono::milliseconds CommandTick{10};

    MessageRecorder messages;
    SimulatedRadio* radio = nullptr;
    FakeSerialDevice* fake = nullptr;
    std::shared_ptr<DeviceJournal> journal = std::make_shared<DeviceJournal>();
    // Line settings each port the program opened was given, in order.
    int settingsApplied = 0;

    // The port goes before the radios it may point at.
    ~WindowFixture() { Link().ClosePort(); }

    // Once per test program. Shown windows give the receive area the width a user sees.
    void createWindows(bool show = false) {
        LanguageFlag = 1;
        SetPinnedPorts({QStringLiteral("COM-TEST")});
        CreateWindows();
        if (show) {
            Form1->show();
            QVERIFY(QTest::qWaitForWindowExposed(Form1));
        }
        Form1->Timer1->stop();
    }

    // The port is onto a new simulated radio from the next open on.
    SimulatedRadio& useRadio(RadioParameters parameters = {}, RadioFaults faults = {},
                             LinkOptions links = {}) {
        Link().ClosePort();
        radios_.push_back(std::make_unique<SimulatedRadio>(parameters, links));
        radio = radios_.back().get();
        radio->setFaults(faults);
        fake = nullptr;
        Link().setOpener([this](const QString&) -> OpenResult {
            return OpenResult(std::make_unique<CountingPort>(*radio, &settingsApplied));
        });
        return *radio;
    }

    // The port is onto a fake device from the next open on; `fake` is that device once open.
    void useFake(FakeSerialDevice::Script script = {}) {
        Link().ClosePort();
        radio = nullptr;
        fake = nullptr;
        Link().setOpener([this, script](const QString& name) -> OpenResult {
            OpenResult opened = FakeOpener(journal, &fake)(name);
            if (fake && script) fake->answerWith(script);
            return opened;
        });
    }

    // Opens COM1 onto the chosen device at these settings, with the receive poll stopped.
    void openPort(uint8_t baudIndex = 4, uint8_t parityIndex = 0) {
        QVERIFY(Link().OpenPortByName(1));
        QVERIFY(Link().ApplyPortSettings({baudIndex, parityIndex}));
        Form1->Timer_RecData->stop();
    }

    // One tick of the command timers, send side first; then the far end moves on.
    void commandTick() {
        Form1->Timer_SdCmdTimer();
        Form1->Timer_RecCmdTimer();
        farEndTick();
    }

    // The far end after one command tick: the radio's time moves on, the fake answers.
    void farEndTick() {
        if (radio) radio->advance(CommandTick);
        if (fake) fake->deliver();
        Settle();
    }

    // Ticks until the exchange is over and its messages are answered; false if it still runs
    // after maxTicks.
    bool runExchange(int maxTicks = 2000) {
        for (int i = 0; i < maxTicks && Form1->commandTimersRunning(); ++i) commandTick();
        Settle();
        return !Form1->commandTimersRunning();
    }

    // A read of the radio from the toolbar to its end.
    void readRadio() {
        Form1->Speed_RClick();
        QVERIFY(runExchange());
        QCOMPARE(messages.last(), QStringLiteral("Read correct!"));
    }

    // The data test back at its starting state, the port closed, in English.
    void resetDataTest() {
        LanguageFlag = 1;
        messages.clear();
        Link().ClosePort();
        Form1->Timer_RecData->stop();
        DataTestEngine& data = Form1->Data->Engine;
        // A stop click raises the panel and unlocks the automatic send box.
        if (data.errTestRunning()) Form1->PanelTrttTestClick();
        Form1->Check_AutoTrtt->setChecked(false);
        Form1->CheckTrtt->setChecked(false);
        Form1->Check_RecHex->setChecked(false);
        Form1->Check_AutoClr->setChecked(true);
        Form1->Check_TrttHex->setChecked(false);
        Form1->Combo_LineEnd->setCurrentIndex(0);
        Form1->Edit_TrttPerio->setText(QStringLiteral("1000"));
        Form1->Memo_Trtt->setPlainText(QString());
        for (QLineEdit* box : {Form1->Edit1, Form1->Edit2, Form1->Edit3, Form1->Edit4, Form1->Edit5,
                               Form1->Edit6, Form1->Edit7}) {
            box->setText(QString());
        }
        Form1->Button_ClrRecMemoClick();
        Form1->Button3Click();
        if (data.RecDisplayStopped) Form1->Button1Click();
        data.RecIdleTicks = 0;
        data.TrttTickCount = 0;
        data.ErrTestActive = 0;
        data.ErrTestRxText.clear();
        data.ErrTest = {};
        messages.clear();
    }

  private:
    // Counts the line settings the program applies, so a test can tell whether the port moved.
    class CountingPort : public SimulatedPort {
      public:
        CountingPort(SimulatedRadio& radio, int* applied)
            : SimulatedPort(radio), applied_(applied) {}
        bool setLineSettings(const LineSettings& settings) override {
            ++*applied_;
            return SimulatedPort::setLineSettings(settings);
        }

      private:
        int* applied_;
    };

    // Every radio lives as long as the test program: a closed port may still point at its own.
    std::list<std::unique_ptr<SimulatedRadio>> radios_;
};

// The receive area's text, as it is copied.
inline QString RecText() {
    return Form1->Memo_Rec->allText();
}

// Lines the receive area shows; an empty line after a final break is none.
inline int RecLines() {
    return int(Form1->Memo_Rec->lineCount());
}
