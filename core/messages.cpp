#include "core/messages.h"

#include "core/language.h"

namespace {
MessagePresenter& Presenter() {
    static MessagePresenter presenter;
    return presenter;
}
}  // namespace

MessagePresenter SetMessagePresenter(MessagePresenter presenter) {
    return std::exchange(Presenter(), std::move(presenter));
}

MessageAnswer ShowMessage(const Message& message) {
    if (!Presenter()) {
        return message.buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
    }
    return Presenter()(message);
}

MessageAnswer ShowPlain(const QString& text) {
    return ShowMessage({MessageKind::Plain, text, ApplicationTitle(), MessageButtons::Ok});
}

MessageAnswer ShowBox(const QString& text, const QString& caption, MessageButtons buttons) {
    return ShowMessage({MessageKind::System, text, caption, buttons});
}

void ShowErrorReport(const QString& text) {
    ShowMessage({MessageKind::ErrorReport, text, ApplicationTitle(), MessageButtons::Ok});
}

MessageAnswer ShowLocalized(const LocalizedMessage& m) {
    if (IsEnglish()) {
        if (m.englishCaption) return ShowBox(QString::fromUtf8(m.english),
                                             QString::fromUtf8(m.englishCaption));
        return ShowPlain(QString::fromUtf8(m.english));
    }
    return ShowBox(QString::fromUtf8(m.chinese), QString::fromUtf8(m.chineseCaption),
                   m.chineseButtons);
}
