#pragma once

#include <QObject>

class QSocketNotifier;

// SIGINT, SIGTERM and SIGHUP (Ctrl+C, kill, a closed terminal) delivered by the event loop as a
// Qt signal, so that a program ends its work in order, its ports closed and their locks
// released, instead of dying in the middle of it. One instance at a time; the signals take
// their default action again once it is gone.
class TerminationSignals : public QObject {
    Q_OBJECT
  public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // The first of them that arrived while an instance existed; 0 while none has.
    static int first();

  signals:
    void arrived(int signal);

  private:
    void takeArrivals();

    QSocketNotifier* notifier_ = nullptr;
};
