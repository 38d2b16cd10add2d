#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "factory/testexchange.h"

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class SerialLink;

// The factory test window, opened from the hidden Test menu: production test commands,
// single register access and the register dump. Each exchange runs while the window stays
// responsive, with the buttons disabled until its reply is in. Its texts are fixed and do not
// follow the language.
class TFormTest : public QWidget {
    Q_OBJECT
  public:
    // The window centres itself on `centreOn` (when given) each time it is shown; `onClose`
    // runs whenever it is closed.
    TFormTest(SerialLink& link, QWidget* centreOn, std::function<void()> onClose);

    // The clock exchanges time their replies by; a monotonic clock unless replaced.
    void setClock(MsClock clock);

    QGroupBox* GroupBox3;
    QPushButton* Button1;
    QPushButton* Button6;
    QPushButton* Button5;
    QLineEdit* EditDis;
    QPushButton* Button7;
    QLineEdit* Edit1;
    QPushButton* Button8;
    QComboBox* ComboBox1;
    QPushButton* Button9;
    QLineEdit* Edit6;
    QLineEdit* Edit5;

    QGroupBox* GroupBox1;
    QPushButton* Button3;
    QLineEdit* Edit2;
    QPushButton* Button4;
    QLineEdit* Edit3;
    QLineEdit* Edit4;

    QGroupBox* GroupBox2;
    QPushButton* Button2;
    QPlainTextEdit* Memo1;

    // Polls the running exchange.
    QTimer* ExchangeTimer;

    // Sends the frame and shows the reply in EditDis; `onResult` gets the reply's byte 4 when
    // there is one.
    void TestExchange(const TestFrame& frame,
                      std::function<void(std::optional<uint8_t>)> onResult = {});

    void Button1Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void Button8Click();
    void Button9Click();
    void Button3Click();
    void Button4Click();
    void Button2Click();
    void ExchangeTimerTimer();
    void FormClose();

    // Ends a running exchange without a result: the port closed or vanished, or the window
    // closed.
    void CancelExchange();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildControls();
    // Tells the user that no port is open.
    void showNoPort();
    // Sends a table frame without parameters; only EditDis shows the outcome.
    void sendPlain(TestCommand command, std::function<void(std::optional<uint8_t>)> onResult = {});
    void showReply(const TestReply& reply);
    void showDump(const RegisterDump& dump);
    void toggleReplyColour();
    // While an exchange runs, no other can be started.
    void setExchangeRunning(bool running);

    SerialLink& link_;
    QWidget* centreOn_;
    std::function<void()> onClose_;
    TestExchanger exchanger_;
    std::vector<QPushButton*> exchangeButtons_;
};
