#include "datatest/recdisplay.h"

#include <algorithm>
#include <string>

#include "radio/frame.h"

std::vector<uint32_t> RecReadSizes(uint32_t waiting) {
    std::vector<uint32_t> sizes;
    sizes.reserve(waiting / RecReadLimit + 1);
    while (waiting > 0) {
        const uint32_t size = std::min(waiting, RecReadLimit);
        sizes.push_back(size);
        waiting -= size;
    }
    return sizes;
}

QString RecHexText(QByteArrayView bytes) {
    QString text;
    text.reserve(3 * bytes.size());
    std::string piece(3 * RecReadLimit + 1, '\0');
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    for (qsizetype done = 0; done < bytes.size();) {
        const int n = static_cast<int>(std::min<qsizetype>(bytes.size() - done, RecReadLimit));
        const int length = BytesToHex(data + done, n, piece.data());
        text += QLatin1String(piece.data(), length);
        done += n;
    }
    return text;
}

int32_t AddByteCount(int32_t count, uint32_t n) {
    return static_cast<int32_t>(static_cast<uint32_t>(count) + n);
}
