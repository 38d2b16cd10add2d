#pragma once

#include <QList>
#include <QString>

#include "radio/sequencer.h"

// Everything the engine needs of its user, as plain values.
struct PlainHost : SequencerHost {
    bool timers = false;
    bool dataTestRunning = true;
    int progressMaximum = 0;
    int progressPosition = 0;
    bool progressShown = false;
    QString panel0;
    QString modelField;
    bool airRateEnabled = false;
    ShownParameters shown;
    WriteSelection values;
    bool writeEnabled = false;
    QList<SequenceOutcome> outcomes;
    SequenceResult last;

    void setCommandTimers(bool running) override { timers = running; }
    bool commandTimersRunning() const override { return timers; }
    void stopDataTest() override { dataTestRunning = false; }
    void resumeDataTest() override { dataTestRunning = true; }
    void showProgress(SequencePhase, int maximum) override {
        progressShown = true;
        progressMaximum = maximum;
    }
    void setProgress(int position) override { progressPosition = position; }
    void closeProgress() override { progressShown = false; }
    WriteSelection valuesToWrite() const override { return values; }
    void enableWrite() override { writeEnabled = true; }
    void sequenceEnded(const SequenceResult& result) override {
        outcomes << result.outcome;
        last = result;
    }
    void showModelVersion(const QString& text) override { panel0 = text; }
    QString modelVersionShown() const override { return panel0; }
    void showModelField(const QString& text) override { modelField = text; }
    void enableAirRate() override { airRateEnabled = true; }
    void showParameters(const ShownParameters& s) override {
        shown = s;
        values = {s.airBaudPosition, s.channelPosition, s.serialBaudPosition, s.parityPosition,
                  s.idText.toStdU16String()};
    }
    void clearReadResults() override {
        modelField.clear();
        shown = {};
    }
};
