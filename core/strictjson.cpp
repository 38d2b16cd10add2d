#include "core/strictjson.h"

#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/escape.h"

namespace {

using Json = nlohmann::json;

// The most of the text that a reason quotes.
constexpr qsizetype MostQuoted = 40;

// nlohmann's message less its "[json.exception.parse_error.101] parse error at line 1,
// column 2: " head (the caller says where), its "last read: '...'" cut to the end, where the
// fault is.
QString Reason(const char* what) {
    QString reason = QString::fromUtf8(what);
    reason.remove(0, reason.indexOf(QLatin1String("] ")) + 2);
    if (reason.startsWith(QLatin1String("parse error"))) {
        reason.remove(0, reason.indexOf(QLatin1String(": ")) + 2);
    }
    const QLatin1String lastRead("; last read: '");
    const qsizetype at = reason.indexOf(lastRead);
    if (at < 0) return reason;
    const qsizetype tokenStart = at + lastRead.size();
    const qsizetype tokenEnd = reason.lastIndexOf(u'\'');
    if (tokenEnd - tokenStart > MostQuoted) {
        reason.replace(tokenStart, tokenEnd - tokenStart - MostQuoted, QStringLiteral("..."));
    }
    return reason;
}

// Takes nlohmann's events without building anything, to see every object's keys.
class StrictChecker : public nlohmann::json_sax<Json> {
  public:
    explicit StrictChecker(std::istream& input) : input_(input) {}

    std::optional<JsonFault> fault;

    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }

    bool start_object(std::size_t) override {
        objectKeys_.emplace_back();
        return true;
    }
    bool end_object() override {
        objectKeys_.pop_back();
        return true;
    }
    // nlohmann keeps the last of two equal keys without a word; a second one is a fault here.
    bool key(string_t& key) override {
        if (objectKeys_.back().insert(key).second) return true;
        // The parser has read up to the key's closing quote and no further.
        const auto read = input_.rdbuf()->pubseekoff(0, std::ios_base::cur, std::ios_base::in);
        fault = JsonFault{static_cast<qsizetype>(read) - 1,
                          QStringLiteral("duplicate key \"%1\"")
                              .arg(Shortened(QString::fromStdString(key), MostQuoted))};
        return false;
    }

    bool parse_error(std::size_t position, const std::string&,
                     const Json::exception& error) override {
        // The position counts the byte at fault, or one past the end at the end of the text.
        fault = JsonFault{static_cast<qsizetype>(position) - 1, Reason(error.what())};
        return false;
    }

  private:
    std::istream& input_;
    std::vector<std::set<std::string>> objectKeys_;
};

}  // namespace

std::optional<JsonFault> StrictJsonFault(const QByteArray& text) {
    // nlohmann takes a zero byte for the end of the text and ignores what follows; JSON has
    // none anywhere (in a string it is written \u0000).
    if (const qsizetype zero = text.indexOf('\0'); zero >= 0) {
        return JsonFault{zero, QStringLiteral("unexpected zero byte")};
    }
    // A stream, rather than the bytes themselves, lets the checker ask how far the parser read.
    std::istringstream input(text.toStdString());
    StrictChecker checker(input);
    Json::sax_parse(input, &checker);
    return checker.fault;
}
