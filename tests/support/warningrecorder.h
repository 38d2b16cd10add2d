#pragma once

#include <QStringList>
#include <QtGlobal>
#include <mutex>

// Records every warning Qt or the program prints, from any thread, while it lives; the messages
// still reach the previous handler. One at a time.
class WarningRecorder {
  public:
    WarningRecorder() {
        {
            std::lock_guard lock(mutex_);
            warnings_.clear();
        }
        previous_ = qInstallMessageHandler(&WarningRecorder::handle);
    }
    ~WarningRecorder() { qInstallMessageHandler(previous_); }
    WarningRecorder(const WarningRecorder&) = delete;
    WarningRecorder& operator=(const WarningRecorder&) = delete;

    QStringList warnings() const {
        std::lock_guard lock(mutex_);
        return warnings_;
    }

  private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type != QtDebugMsg && type != QtInfoMsg) {
            std::lock_guard lock(mutex_);
            warnings_ << text;
        }
        if (previous_) previous_(type, context, text);
    }

    static inline std::mutex mutex_;
    static inline QStringList warnings_;
    static inline QtMessageHandler previous_ = nullptr;
};
