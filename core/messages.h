#pragma once

#include <QString>
#include <functional>

// Every message box of the program goes through here. Messages wait in one queue and are
// shown from the event loop, one at a time, never inside the handler that raised them: a
// timer tick finishes its work (and stops what must stop) before the user sees its outcome,
// and a second message never opens on top of the first.
enum class MessageButtons { Ok, RetryCancel, AppendReplaceCancel };
enum class MessageAnswer { Ok, Retry, Cancel, Append, Replace };
enum class MessageKind {
    Plain,        // the toolkit's simple box: application title, OK
    System,       // a box with its own caption and buttons
    ErrorReport,  // the toolkit's report of an error raised in a handler
};

struct Message {
    MessageKind kind = MessageKind::Plain;
    QString text;
    QString caption;
    MessageButtons buttons = MessageButtons::Ok;
};

// Shows one message and returns once it has been answered: the app's modal boxes, or a test's
// recorder.
using MessagePresenter = std::function<MessageAnswer(const Message&)>;
// What to do with the answer, once there is one.
using AnswerHandler = std::function<void(MessageAnswer)>;

// Replaces the presenter; returns the previous one.
MessagePresenter SetMessagePresenter(MessagePresenter presenter);

// Queues the message. Without an event loop (no application object) it is shown at once.
void ShowMessage(const Message& message, AnswerHandler onAnswer = {});

// The simple box with the application title.
void ShowPlain(const QString& text);

void ShowErrorReport(const QString& text);

// A text pair: English in the simple box (or under englishCaption when one is given, always
// OK), Chinese in a box with its caption and buttons.
struct LocalizedMessage {
    const char* english;
    const char* chinese;
    const char* chineseCaption;
    const char* englishCaption = nullptr;
    MessageButtons chineseButtons = MessageButtons::Ok;
};
// The message of the pair in the current language. `details`, when given, follow the message's
// own text on a line of their own.
Message Localized(const LocalizedMessage& message, const QString& details = {});
// Shows Localized(message, details).
void ShowLocalized(const LocalizedMessage& message, const QString& details = {},
                   AnswerHandler onAnswer = {});
