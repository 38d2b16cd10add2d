#include "radio/paramglue.h"

#include <QComboBox>
#include <QLineEdit>

#include "core/language.h"
#include "core/messages.h"
#include "radio/paramcodec.h"
#include "radio/sequencerstate.h"

namespace {
ParameterControls& Controls() {
    static ParameterControls controls;
    return controls;
}
}  // namespace

void SetParameterControls(const ParameterControls& controls) {
    Controls() = controls;
}

void CheckModelReply(const uint8_t* frame, size_t received) {
    SendReady = JudgeModelReply(frame, received, RadioPara);
    if (SendReady) {
        Controls().setStatusPanel0(QString::fromStdString(ModelVersionText(RadioPara.VerCode)));
    }
}

void DecodeReply(int step, const uint8_t* frame, size_t received) {
    SendReady = DecodeReadReply(step, frame, received, RadioPara);
    if (!SendReady || step != 0) return;
    const ParameterControls& c = Controls();
    c.EditModelVer->setText(c.statusPanel0());
    if (AirRateChangeable(RadioPara.ModelCode)) c.ComboAirBaud->setEnabled(true);
}

void ShowRadioPara(uint8_t baudIndex, uint8_t parityIndex) {
    const ParameterControls& c = Controls();
    const DisplayedParameters shown = PrepareDisplay(RadioPara);
    c.ComboChnn->setCurrentIndex(shown.channelPosition);
    c.ComboAirBaud->setCurrentIndex(shown.airBaudPosition);
    c.ComboRadioSerBaud->setCurrentIndex(baudIndex);
    c.ComboRadioParity->setCurrentIndex(parityIndex);
    c.EditID->setText(QString::fromStdString(shown.idText));
}

bool EncodeWritePayload(int step, uint8_t* frame) {
    const ParameterControls& c = Controls();
    const WriteSelection selection{c.ComboAirBaud->currentIndex(), c.ComboChnn->currentIndex(),
                                   c.ComboRadioSerBaud->currentIndex(),
                                   c.ComboRadioParity->currentIndex(),
                                   c.EditID->text().toStdU16String()};
    if (FillWritePayload(step, selection, frame)) return true;
    ShowErrorReport(Tr("Invalid ID code! Four digits are needed.", "ID码无效！需要四位数字。"));
    return false;
}
