#pragma once

// How the window tells what the engine and the port report: every text, caption and button of
// those messages, in the current language.

#include <QList>

#include "core/messages.h"
#include "radio/sequencer.h"

// The messages that tell the outcome of an exchange, in the order shown; none for an end the
// user caused (the port closed, an interrupt).
[[nodiscard]] QList<Message> SequenceMessages(const SequenceResult& result);

// The progress window's title and text while a phase runs.
struct ProgressTexts {
    QString title;
    QString message;
};
ProgressTexts ProgressTextsFor(SequencePhase phase);

// The device of the open port vanished.
Message PortLostMessage();
