#include "app/datatestmessages.h"

#include "core/language.h"
#include "core/messages.h"
#include "datatest/trttperiod.h"

namespace {

const LocalizedMessage kPortNotOpened{"Port not opened", "串口未打开", "ERROR"};
const LocalizedMessage kPortNotOpenedWrite{"Port not opened", "串口未打开", "ERROR", "Write"};
const LocalizedMessage kStringEmpty{"String is empty", "发送字符串为空", "传送"};

}  // namespace

void ShowDataTestOutcome(const DataTestResult& result) {
    switch (result.outcome) {
        case DataTestOutcome::Done:
            return;
        case DataTestOutcome::PortNotOpened:
            ShowLocalized(kPortNotOpened);
            return;
        case DataTestOutcome::AutoSendPortNotOpened:
            ShowLocalized(kPortNotOpenedWrite);
            return;
        case DataTestOutcome::StringEmpty:
            ShowLocalized(kStringEmpty);
            return;
        case DataTestOutcome::NoTestData:
            // Both languages use the simple box here.
            ShowPlain(Tr("Please input datas", "请输入发送字符"));
            return;
        case DataTestOutcome::PeriodNotInteger:
            ShowErrorReport(InvalidIntegerText(result.periodText));
            return;
    }
}
