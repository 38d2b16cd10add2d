#pragma once

#include <QString>
#include <QStringView>

// Text from a file or a device made safe to put into a message: every control character (C0
// below U+0020, DEL, and C1 from U+0080 to U+009F) becomes a visible \xHH, so that printing the
// message cannot clear a terminal, move its cursor or set its window title. A backslash is left
// as it is: messages also carry Windows paths and advice such as "escaped to \u001B" that must
// read as written, and what matters is that nothing reaches the terminal as a command.
QString EscapeControlCharacters(QStringView text);

// The text's first `most` characters followed by "...", or the text itself when it is no
// longer: a message quotes a key or a value of any length without growing with it.
QString Shortened(QStringView text, qsizetype most);
