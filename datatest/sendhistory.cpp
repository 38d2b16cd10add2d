#include "datatest/sendhistory.h"

void SendHistory::add(const QString& text) {
    if (!text.isEmpty() && text.size() <= LongestEntry) {
        entries_.removeAll(text);
        entries_.append(text);
        if (entries_.size() > MostEntries) entries_.remove(0, entries_.size() - MostEntries);
    }
    place_ = entries_.size();
    draft_.clear();
}

void SendHistory::setEntries(const QStringList& entries) {
    entries_.clear();
    for (const QString& entry : entries) add(entry);
}

std::optional<QString> SendHistory::older(const QString& shown) {
    if (place_ == 0) return std::nullopt;
    if (place_ == entries_.size()) draft_ = shown;
    return entries_[--place_];
}

std::optional<QString> SendHistory::newer() {
    if (place_ == entries_.size()) return std::nullopt;
    ++place_;
    return place_ == entries_.size() ? draft_ : entries_[place_];
}
