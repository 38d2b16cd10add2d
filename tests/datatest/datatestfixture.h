#pragma once

#include <QApplication>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <memory>

#include "app/mainwindow.h"
#include "app/windows.h"
#include "core/language.h"
#include "core/messages.h"
#include "serial/portnames.h"
#include "tests/datatest/feedport.h"

// The main window with its data test back at its starting state, a message recorder and
// helpers that open a port onto a device of the test's choosing. No event loop runs while a
// test works, so the window's timers never fire on their own: the test calls the handlers.
class DataTestFixture : public QObject {
    Q_OBJECT

  protected:
    QList<Message> messages_;
    FeedPort* feed_ = nullptr;

    DataTest& data() { return *Form1->Data; }

    void setUpWindows() {
        LanguageFlag = 1;
        SetPinnedPorts({QStringLiteral("SIM")});
        SetMessagePresenter([this](const Message& m) {
            messages_ << m;
            return MessageAnswer::Ok;
        });
        CreateWindows();
        // Shown, so that the receive area has the width the user would see.
        Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
        Form1->Timer1->stop();
    }

    void resetDataTest() {
        LanguageFlag = 1;
        messages_.clear();
        Link().ClosePort();
        Form1->Timer_RecData->stop();
        Form1->Check_AutoTrtt->setEnabled(true);
        Form1->Check_AutoTrtt->setChecked(false);
        Form1->PanelTrttTest->setLowered(false);
        Form1->CheckTrtt->setChecked(false);
        Form1->Check_RecHex->setChecked(false);
        Form1->Check_AutoClr->setChecked(true);
        Form1->Check_TrttHex->setChecked(false);
        Form1->Edit_TrttPerio->setText(QStringLiteral("1000"));
        Form1->Memo_Trtt->setPlainText(QString());
        for (QLineEdit* box : {Form1->Edit1, Form1->Edit2, Form1->Edit3, Form1->Edit4, Form1->Edit5,
                               Form1->Edit6, Form1->Edit7}) {
            box->setText(QString());
        }
        Form1->Button_ClrRecMemoClick();
        Form1->Button3Click();
        if (data().RecDisplayStopped) Form1->Button1Click();
        data().RecIdleTicks = 0;
        data().TrttTickCount = 0;
        data().ErrTestActive = 0;
        data().ErrTestRxText.clear();
        data().ErrTest = {};
    }

    // Opens COM1 onto whatever `make` builds, at 9600 bit/s without parity.
    template <typename Make>
    void openPort(Make make) {
        Link().ClosePort();
        Link().setOpener(
            [make](const QString&) -> std::unique_ptr<SerialDevice> { return make(); });
        QVERIFY(Link().OpenPortByName(1));
        Link().BaudIndex = 4;
        Link().ParityIndex = 0;
        Link().ApplyPortSettings();
        Form1->Timer_RecData->stop();
    }

    void openFeedPort() {
        openPort([this] {
            auto port = std::make_unique<FeedPort>();
            feed_ = port.get();
            return port;
        });
    }

    // The receive area's text with its rows joined again.
    static QString recText() { return Form1->Memo_Rec->toPlainText().remove(u'\n'); }

    // Lines the receive area shows; an empty line after a final break is none.
    static int recLines() {
        QTextDocument* area = Form1->Memo_Rec->document();
        return area->blockCount() - (area->lastBlock().text().isEmpty() ? 1 : 0);
    }
};
