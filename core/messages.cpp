#include "core/messages.h"

#include <QCoreApplication>
#include <deque>

#include "core/language.h"

namespace {

struct Queued {
    Message message;
    AnswerHandler onAnswer;
};

struct MessageQueue {
    MessagePresenter presenter;
    std::deque<Queued> waiting;
    // A delivery is on its way or running; new messages only join the queue.
    bool delivering = false;
};

MessageQueue& Queue() {
    static MessageQueue queue;
    return queue;
}

MessageAnswer Present(const Message& message) {
    if (Queue().presenter) return Queue().presenter(message);
    return message.buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

// Shows the waiting messages in order. A presenter that runs a modal loop lets more messages
// join meanwhile; they are shown after the current one, not inside it.
void Deliver() {
    MessageQueue& queue = Queue();
    while (!queue.waiting.empty()) {
        Queued next = std::move(queue.waiting.front());
        queue.waiting.pop_front();
        const MessageAnswer answer = Present(next.message);
        if (next.onAnswer) next.onAnswer(answer);
    }
    queue.delivering = false;
}

}  // namespace

MessagePresenter SetMessagePresenter(MessagePresenter presenter) {
    return std::exchange(Queue().presenter, std::move(presenter));
}

void ShowMessage(const Message& message, AnswerHandler onAnswer) {
    MessageQueue& queue = Queue();
    queue.waiting.push_back({message, std::move(onAnswer)});
    if (queue.delivering) return;
    queue.delivering = true;
    QCoreApplication* application = QCoreApplication::instance();
    if (!application) {
        Deliver();
        return;
    }
    QMetaObject::invokeMethod(application, Deliver, Qt::QueuedConnection);
}

void ShowPlain(const QString& text) {
    ShowMessage({MessageKind::Plain, text, ApplicationTitle(), MessageButtons::Ok});
}

void ShowErrorReport(const QString& text) {
    ShowMessage({MessageKind::ErrorReport, text, ApplicationTitle(), MessageButtons::Ok});
}

Message Localized(const LocalizedMessage& m, const QString& details) {
    const QString text =
        Tr(m.english, m.chinese) + (details.isEmpty() ? QString() : u'\n' + details);
    if (!IsEnglish()) {
        return {MessageKind::System, text, QString::fromUtf8(m.chineseCaption), m.chineseButtons};
    }
    if (m.englishCaption) {
        return {MessageKind::System, text, QString::fromUtf8(m.englishCaption), MessageButtons::Ok};
    }
    return {MessageKind::Plain, text, ApplicationTitle(), MessageButtons::Ok};
}

void ShowLocalized(const LocalizedMessage& m, const QString& details, AnswerHandler onAnswer) {
    ShowMessage(Localized(m, details), std::move(onAnswer));
}
