#pragma once

#include <QCoreApplication>
#include <QList>
#include <QMap>
#include <QString>

#include "core/language.h"
#include "core/messages.h"
#include "serial/seriallink.h"

// Lets the event loop's queued work run once: messages are shown from there.
inline void Settle() {
    QCoreApplication::sendPostedEvents();
}

// Opens the port (a COMn number or a device name) at 9600 bit/s without parity, the simulated
// radio's own settings.
template <typename Port>
bool OpenAt9600(SerialLink& link, const Port& port) {
    if (!link.OpenPortByName(port)) return false;
    return link.ApplyPortSettings({4, 0});
}

// Records every message box and gives the answers the test lined up (OK, or Cancel for a
// Retry/Cancel box, when none is left); restores the previous presenter when done.
struct MessageRecorder {
    QList<Message> shown;
    QList<MessageAnswer> answers;
    // Runs while a box is open, as a user acting behind a modal box would.
    std::function<void(const Message&)> whileOpen;
    MessagePresenter previous;

    MessageRecorder() {
        previous = SetMessagePresenter([this](const Message& m) {
            shown.append(m);
            if (whileOpen) whileOpen(m);
            if (!answers.isEmpty()) return answers.takeFirst();
            return m.buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
        });
    }
    ~MessageRecorder() { SetMessagePresenter(std::move(previous)); }

    // The texts shown so far, once the queued ones have been shown.
    QStringList texts() {
        Settle();
        QStringList all;
        for (const Message& m : shown) all << m.text;
        return all;
    }
    QString last() {
        const QStringList all = texts();
        return all.isEmpty() ? QString() : all.last();
    }
    void clear() {
        Settle();
        shown.clear();
        answers.clear();
        whileOpen = nullptr;
    }
};

// Stands in for the main window as the link's host.
struct HostRecorder : SerialLinkHost {
    QMap<int, QString> panels;
    bool polling = true;
    int pollStarts = 0;
    int portsLost = 0;
    int sentNotices = 0;
    void setStatusText(int panel, const QString& text) override { panels[panel] = text; }
    void startReceivePoll() override {
        polling = true;
        ++pollStarts;
    }
    void stopReceivePoll() override { polling = false; }
    void portLost() override { ++portsLost; }
    void dataSent() override { ++sentNotices; }
};

// Sets the language for one scope.
struct LanguageScope {
    uint8_t saved = LanguageFlag;
    explicit LanguageScope(uint8_t flag) { LanguageFlag = flag; }
    ~LanguageScope() { LanguageFlag = saved; }
};
