#pragma once

// Watches a port whose radio is done, for the next radio: a device that vanished and came
// back (an adapter pulled and plugged in again, or one that appears), or a radio behind an
// adapter that stays, gone silent and then answering again.

#include <QObject>
#include <QTimer>
#include <optional>

#include "serial/portchoice.h"
#include "serial/seriallink.h"

class RadioWatch : public QObject, public SerialLinkHost {
    Q_OBJECT
  public:
    // One look a second: a model query, seven bytes, never more than one on the wire.
    static constexpr int PollMs = 1000;
    // Unanswered queries in a row after which the radio counts as gone; one lost reply is not.
    static constexpr int SilentPollsForGone = 2;

    // `answeredAt`: where the radio just handled answers; none when no radio answered.
    RadioWatch(QString device, const SerialDeviceOpener& opener,
               std::optional<RateAndParity> answeredAt, QObject* parent = nullptr);
    ~RadioWatch() override;

    // One look, as the timer makes it.
    void poll();

  signals:
    // Another radio is there, or the device is back: the row starts again. Said once; the
    // watch looks no further.
    void nextRadio();

    // ---- SerialLinkHost ----
  public:
    void setStatusText(int, const QString&) override {}
    void startReceivePoll() override {}
    void stopReceivePoll() override {}
    void portLost() override;
    void dataSent() override {}

  private:
    enum class State {
        RadioThere,  // the radio just handled still answers
        RadioGone,   // the port is there, no radio answers
        PortGone,    // the device vanished or would not open
    };
    void announce();
    // The reply to the last query, judged: a model reply from the radio.
    bool answered();
    void query();
    // The setting of the next query: where the radio answered, and once it has gone, in turn
    // also the setting a new radio leaves the factory with.
    RateAndParity nextSetting();

    QString device_;
    std::optional<RateAndParity> answeredAt_;
    State state_;
    std::optional<RateAndParity> applied_;
    bool querySent_ = false;
    bool announced_ = false;
    int silentPolls_ = 0;
    int gonePolls_ = 0;
    QTimer timer_;
    SerialLink link_;
};
