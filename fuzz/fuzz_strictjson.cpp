// The strict JSON check against Qt's parser, which takes the values of what it passes: the
// check never crashes, places a fault inside the text, and passes nothing Qt then refuses,
// apart from nesting past Qt's limit and a value that is no object or array.

#include <QByteArray>
#include <QJsonDocument>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/strictjson.h"

namespace {

bool StartsAsObjectOrArray(const QByteArray& text) {
    const QByteArray bom("\xef\xbb\xbf");
    const QByteArray value = (text.startsWith(bom) ? text.sliced(bom.size()) : text).trimmed();
    return value.startsWith('{') || value.startsWith('[');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const std::optional<JsonFault> fault = StrictJsonFault(text)) {
        if (fault->offset < 0 || fault->offset > text.size() || fault->reason.isEmpty()) abort();
        return 0;
    }
    QJsonParseError error;
    QJsonDocument::fromJson(text, &error);
    const bool refusedByQt =
        error.error != QJsonParseError::NoError && error.error != QJsonParseError::DeepNesting;
    if (refusedByQt && StartsAsObjectOrArray(text)) abort();
    return 0;
}
