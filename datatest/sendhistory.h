#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The texts sent from the transmit area, newest last, and a place in them for recalling one
// with Up and Down, as a shell recalls its commands. What the user was typing before the first
// step back comes back after the newest entry.
class SendHistory {
  public:
    static constexpr qsizetype MostEntries = 50;
    // Longer texts are sent but not kept: the history is remembered between runs.
    static constexpr qsizetype LongestEntry = 4096;

    // A text sent again moves to the newest place instead of taking a second one. Browsing
    // starts over.
    void add(const QString& text);
    // Replaces every entry, the oldest first; empty, too long and surplus oldest ones are left
    // out.
    void setEntries(const QStringList& entries);
    const QStringList& entries() const { return entries_; }

    // The entry before the one shown, or nothing when there is none; `shown` is what the area
    // holds, kept when browsing starts.
    std::optional<QString> older(const QString& shown);
    // The entry after the one shown, then the text kept when browsing started.
    std::optional<QString> newer();

  private:
    QStringList entries_;
    qsizetype place_ = 0;  // entries_.size() while not browsing
    QString draft_;
};
