#include "app/productiontexts.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include "core/language.h"

QString PhaseText(ProductionPhase phase) {
    switch (phase) {
        case ProductionPhase::Idle:
            return Tr("Waiting", "等待");
        case ProductionPhase::Finding:
            return Tr("Finding", "查找");
        case ProductionPhase::Reading:
            return Tr("Reading", "读取");
        case ProductionPhase::Writing:
            return Tr("Writing", "写入");
        case ProductionPhase::Verifying:
            return Tr("Verifying", "校验");
        case ProductionPhase::LinkTest:
            return Tr("Link test", "链路测试");
        case ProductionPhase::Recording:
            return Tr("Recording", "记录");
        case ProductionPhase::Done:
            return Tr("Done", "完成");
    }
    return {};
}

namespace {

QString FailureCaption(ProductionFailure failure) {
    switch (failure) {
        case ProductionFailure::None:
            return {};
        case ProductionFailure::PortFailed:
            return Tr("Port failed", "串口故障");
        case ProductionFailure::NoRadio:
            return Tr("No radio answered", "电台无应答");
        case ProductionFailure::WrongModel:
            return Tr("Wrong model", "型号不符");
        case ProductionFailure::OldFirmware:
            return Tr("Firmware too old", "固件版本过低");
        case ProductionFailure::IdUnavailable:
            return Tr("No ID to give", "无可用ID");
        case ProductionFailure::ExchangeFailed:
            return Tr("Radio stopped answering", "电台中断应答");
        case ProductionFailure::VerifyMismatch:
            return Tr("Read-back differs", "回读不一致");
        case ProductionFailure::LinkTestFailed:
            return Tr("Link test failed", "链路测试未通过");
        case ProductionFailure::LinkDamaged:
            return Tr("Damaged frames in link test", "链路测试有错帧");
        case ProductionFailure::ReferenceFailed:
            return Tr("Reference station failed", "参考电台故障");
        case ProductionFailure::Stopped:
            return Tr("Stopped", "已停止");
        case ProductionFailure::RecordLost:
            return Tr("Passed, but not recorded", "合格，但未记录");
    }
    return {};
}

}  // namespace

namespace {

// A value of the details as a person reads it.
QString ValueText(const QJsonValue& value) {
    if (value.isBool()) return value.toBool() ? Tr("yes", "是") : Tr("no", "否");
    if (value.isDouble()) return QString::number(value.toDouble());
    if (value.isString()) return value.toString();
    return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
}

// The fields a read-back found other than written: "channel written 5, read 1".
QString DifferencesText(const QJsonObject& differing) {
    QStringList parts;
    for (auto it = differing.begin(); it != differing.end(); ++it) {
        const QJsonObject both = it.value().toObject();
        parts << Tr("%1 written %2, read %3", "%1 写入 %2，读出 %3")
                     .arg(it.key(), ValueText(both["written"]), ValueText(both["read"]));
    }
    return parts.join(QStringLiteral("; "));
}

QString FiguresText(const QJsonObject& figures) {
    return Tr("%1 of %2 whole, %3 damaged, %4 missing, %5% needed",
              "%2 帧中 %1 帧完好，%3 帧错误，%4 帧丢失，需 %5%")
        .arg(figures["matched"].toInt())
        .arg(figures["sent"].toInt())
        .arg(figures["damaged"].toInt())
        .arg(figures["no_reply"].toInt())
        .arg(figures["pass_percent"].toDouble());
}

// Every other detail as "key value" pairs, the keys as the record has them.
QString PairsText(const QJsonObject& detail) {
    QStringList parts;
    for (auto it = detail.begin(); it != detail.end(); ++it)
        parts << QStringLiteral("%1 %2").arg(it.key(), ValueText(it.value()));
    return parts.join(QStringLiteral(", "));
}

QString IdUnavailableText(const QJsonObject& detail) {
    const QString why = detail["why"].toString();
    const QString range = detail["range"].toString();
    if (why == QLatin1String("range_used_up"))
        return Tr("every ID of %1 is given", "%1 范围内的ID已用完").arg(range);
    if (why == QLatin1String("unreachable"))
        return Tr("the database cannot be reached", "无法连接数据库");
    return Tr("the database refused: %1", "数据库拒绝：%1").arg(ValueText(detail["database"]));
}

QString DetailText(ProductionFailure failure, const QJsonObject& detail) {
    switch (failure) {
        case ProductionFailure::WrongModel:
            return Tr("model %1, expected %2", "型号 %1，应为 %2")
                .arg(ValueText(detail["model"]), ValueText(detail["expected"]));
        case ProductionFailure::OldFirmware:
            return Tr("firmware %1, at least %2 needed", "固件 %1，至少需 %2")
                .arg(ValueText(detail["firmware"]), ValueText(detail["lowest"]));
        case ProductionFailure::VerifyMismatch:
            return DifferencesText(detail);
        case ProductionFailure::LinkTestFailed:
        case ProductionFailure::LinkDamaged:
            return FiguresText(detail);
        case ProductionFailure::IdUnavailable:
            return IdUnavailableText(detail);
        case ProductionFailure::NoRadio:
            if (detail.contains(QLatin1String("setting")))
                return Tr("tried only %1, the server's setting", "仅尝试了服务器的设置 %1")
                    .arg(ValueText(detail["setting"]));
            return PairsText(detail);
        default:
            return PairsText(detail);
    }
}

}  // namespace

QString FailureText(ProductionFailure failure, const QString& detail) {
    const QString caption = FailureCaption(failure);
    const QJsonObject details = QJsonDocument::fromJson(detail.toUtf8()).object();
    if (details.isEmpty() || caption.isEmpty()) return caption;
    return Tr("%1: %2", "%1：%2").arg(caption, DetailText(failure, details));
}

QString VerdictText(const ProductionRow& row) {
    if (!row.passed) return {};
    return *row.passed ? QStringLiteral("PASS") : QStringLiteral("FAIL");
}

QString StoreOpeningText(const StoreOpening& opening) {
    QString why;
    switch (opening.failure) {
        case StoreOpening::Failure::None:
            return {};
        case StoreOpening::Failure::BadLocation:
            return LocationErrorText(opening.location, opening.detail);
        case StoreOpening::Failure::NoDriver:
            why = Tr("this computer has no driver for the database", "本机没有该数据库的驱动");
            break;
        case StoreOpening::Failure::NotFound:
            why = Tr("the file is not there", "文件不存在");
            break;
        case StoreOpening::Failure::CannotOpen:
            why = Tr("the file cannot be opened", "无法打开文件");
            break;
        case StoreOpening::Failure::Unreachable:
            why = Tr("the server does not answer", "服务器无应答");
            break;
        case StoreOpening::Failure::Refused:
            why = Tr("the server refused the station", "服务器拒绝了本工位");
            break;
        case StoreOpening::Failure::NewerSchema:
            why = Tr("a newer version of the program made it", "由更新版本的程序建立");
            break;
        case StoreOpening::Failure::SchemaFailed:
            why = Tr("its tables cannot be made or upgraded", "无法建立或升级数据表");
            break;
    }
    return opening.detail.isEmpty() ? why : QStringLiteral("%1\n%2").arg(why, opening.detail);
}

QString LocationErrorText(LocationError error, const QString& detail) {
    const QString form = QStringLiteral("postgresql://USER@HOST[:PORT]/DATABASE");
    switch (error) {
        case LocationError::None:
            return {};
        case LocationError::UnknownKind:
            return Tr("“%1” is no kind of database this program knows: give a file or %2",
                      "程序不认识“%1”类数据库：请给出文件或 %2")
                .arg(detail, form);
        case LocationError::NotAUrl:
            return Tr("not a valid address: %1", "地址无效：%1").arg(detail);
        case LocationError::NoUser:
            return Tr("the address names no user: %1", "地址中没有用户：%1").arg(form);
        case LocationError::NoHost:
            return Tr("the address names no host: %1", "地址中没有主机：%1").arg(form);
        case LocationError::BadPort:
            return Tr("the address's port is not one from 1 to 65535",
                      "地址中的端口不在 1 到 65535 之间");
        case LocationError::NoDatabase:
            return Tr("the address names no database: it ends in /DATABASE",
                      "地址中没有数据库：应以 /数据库 结尾");
        case LocationError::ExtraParts:
            return Tr("the address has a part after the database", "地址在数据库之后还有内容");
    }
    return detail;
}

std::optional<int> FirmwareCode(QStringView text) {
    static const QRegularExpression form(QStringLiteral("^(\\d{1,2})\\.(\\d{1,2})$"));
    const QRegularExpressionMatch match = form.match(text.trimmed().toString());
    if (!match.hasMatch()) return std::nullopt;
    const int major = match.capturedView(1).toInt();
    const int minor = match.capturedView(2).toInt();
    // One nibble each in the radio's version byte.
    if (major > 15 || minor > 15) return std::nullopt;
    return major * 16 + minor;
}
