#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// The edits that turn one word into the other: a letter added, removed, changed, or two
// neighbours swapped ("wrtie" is one edit from "write").
int EditDistance(QStringView from, QStringView to);

// The name a mistyped word most likely meant: the nearest of `names`, when it is at most two
// edits away and nearer than any other; empty otherwise.
QString DidYouMean(const QString& typed, const QStringList& names);
