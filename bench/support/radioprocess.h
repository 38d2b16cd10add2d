#pragma once

// A tvrsim radio behind a link of its own, for the benches that provision radios: started and
// waited for until its link is there, stopped with a bound.

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <memory>

struct RadioProcess {
    static constexpr int StartMs = 5000;

    std::unique_ptr<QProcess> process;
    QString link;

    // Starts `tvrsim` with `args` behind `at`; false when its link is not there in time.
    bool start(const QString& tvrsim, const QString& at, const QStringList& args) {
        link = at;
        process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(tvrsim, QStringList{"--link", link} + args);
        if (!process->waitForStarted(StartMs)) return false;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < StartMs && process->state() == QProcess::Running) {
            if (QFileInfo(link).isSymLink()) return true;
            process->waitForReadyRead(50);
        }
        return false;
    }

    void stop() {
        if (!process || process->state() == QProcess::NotRunning) return;
        process->terminate();
        if (!process->waitForFinished(3000)) process->kill();
        process->waitForFinished(1000);
    }
};
