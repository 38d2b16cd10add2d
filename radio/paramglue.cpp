#include "radio/paramglue.h"

#include "radio/sequencerstate.h"

void CheckModelReply(ParameterView& view, const uint8_t* frame, size_t received) {
    SendReady = JudgeModelReply(frame, received, RadioPara);
    if (SendReady)
        view.showModelVersion(QString::fromStdString(ModelVersionText(RadioPara.VerCode)));
}

void DecodeReply(ParameterView& view, int step, const uint8_t* frame, size_t received) {
    SendReady = DecodeReadReply(step, frame, received, RadioPara);
    if (!SendReady || step != 0) return;
    view.showModelField(view.modelVersionShown());
    if (AirRateChangeable(RadioPara.ModelCode)) view.enableAirRate();
}

void ShowRadioPara(ParameterView& view, uint8_t baudIndex, uint8_t parityIndex) {
    const DisplayedParameters shown = PrepareDisplay(RadioPara);
    view.showParameters({shown.channelPosition, shown.airBaudPosition, baudIndex, parityIndex,
                         QString::fromStdString(shown.idText)});
}

bool EncodeWritePayload(int step, const WriteSelection& values, uint8_t* frame) {
    return FillWritePayload(step, values, frame);
}
