#pragma once

#include <QString>
#include <functional>

// Every message box of the program goes through here, so the app can show real boxes and
// tests can record them and answer them without a modal loop.
enum class MessageButtons { Ok, RetryCancel };
enum class MessageAnswer { Ok, Retry, Cancel };
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

using MessagePresenter = std::function<MessageAnswer(const Message&)>;

// Replaces the presenter; returns the previous one.
MessagePresenter SetMessagePresenter(MessagePresenter presenter);

MessageAnswer ShowMessage(const Message& message);

// The simple box with the application title.
MessageAnswer ShowPlain(const QString& text);

// A box with the given caption.
MessageAnswer ShowBox(const QString& text, const QString& caption,
                      MessageButtons buttons = MessageButtons::Ok);

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
MessageAnswer ShowLocalized(const LocalizedMessage& message);
