#pragma once

// The loop-back link test between two radios in this process: the radio under test sends a
// frame each period and records what comes back, a reference station echoes what it hears.

#include <QObject>
#include <QTimer>
#include <memory>
#include <optional>

#include "datatest/datatestengine.h"
#include "records/radiorecord.h"
#include "serial/portchoice.h"
#include "serial/serialdevice.h"

// A port of the test and the setting it runs at.
struct LinkEnd {
    QString device;
    RateAndParity setting{4, 0};  // 9600 bit/s, no parity: the radio's as it leaves the factory
};

// How a check ended.
enum class LinkStop {
    Completed,        // every frame asked for was evaluated
    RecorderFailed,   // the port of the radio under test would not open or take its setting
    ReferenceFailed,  // the same of the reference station's port
    RecorderLost,     // a port went away during the test
    ReferenceLost,
    TimedOut,
    Stopped,
};

struct LinkCheckResult {
    LinkStop stop = LinkStop::Completed;
    // The statistics as the window's test panel shows them.
    ErrTestRow row;
    // RecorderFailed, ReferenceFailed: the link's account of a failed open, or the setting's
    // refusal.
    QString openFailure;
    std::optional<SettingsRefusal> refusal;
};

LinkFigures FiguresOf(const ErrTestRow& row, double passPercent);
// At least the pass share came back whole, and no frame came back damaged (same length,
// other bytes): a radio that garbles is no better for the frames it garbled being few.
bool LinkPassed(const LinkFigures& figures);

class LinkCheck : public QObject {
    Q_OBJECT
  public:
    // `timeoutMs` 0: no time limit but the frames.
    LinkCheck(LinkEnd recorder, LinkEnd reference, SerialDeviceOpener opener, int frames,
              int timeoutMs = 0, QObject* parent = nullptr);
    ~LinkCheck() override;

    // Opens both ports, the reference first so that it listens before the first frame, and
    // starts. Ends with finished(), never inside this call.
    void start();
    // Ends the check as Stopped; nothing of it is on the wire for long.
    void stop();
    bool isFinished() const { return finished_; }
    const LinkCheckResult& result() const { return result_; }

  signals:
    void finished();

  private:
    class Station;
    void sendTick();
    void receiveTick();
    void end(LinkStop stop);

    LinkEnd recorderEnd_;
    LinkEnd referenceEnd_;
    int frames_;
    int timeoutMs_;
    std::unique_ptr<Station> recorder_;
    std::unique_ptr<Station> reference_;
    QTimer sendTimer_;
    QTimer receiveTimer_;
    QTimer deadline_;
    bool finished_ = false;
    LinkCheckResult result_;
};
