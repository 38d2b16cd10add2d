#include "radio/paramglue.h"

bool CheckModelReply(ParameterView& view, RadioParameterSet& para, const uint8_t* frame,
                     size_t received) {
    const bool accepted = JudgeModelReply(frame, received, para);
    if (accepted) view.showModelVersion(QString::fromStdString(ModelVersionText(para.VerCode)));
    return accepted;
}

bool DecodeReply(ParameterView& view, RadioParameterSet& para, int step, const uint8_t* frame,
                 size_t received) {
    const bool valid = DecodeReadReply(step, frame, received, para);
    if (!valid || step != 0) return valid;
    view.showModelField(view.modelVersionShown());
    if (AirRateChangeable(para.ModelCode)) view.enableAirRate();
    return true;
}

namespace {
ShownParameters Shown(const RadioParameterSet& para, int baudPosition, int parityPosition) {
    const DisplayedParameters displayed = PrepareDisplay(para);
    return {displayed.channelPosition,
            displayed.airBaudPosition,
            baudPosition,
            parityPosition,
            QString::fromStdString(displayed.idText),
            RawValuesOf(para)};
}
}  // namespace

ShownParameters ShowRadioPara(ParameterView& view, const RadioParameterSet& para, uint8_t baudIndex,
                              uint8_t parityIndex) {
    const ShownParameters shown = Shown(para, baudIndex, parityIndex);
    view.showParameters(shown);
    return shown;
}

ShownParameters ExpectedReading(const WriteSelection& written) {
    return Shown(ParametersWritten(written), written.serialBaudPosition,
                 ParityTaken(written.serialBaudPosition, written.parityPosition));
}

WriteSelection AsWriteSelection(const ShownParameters& shown) {
    return {shown.airBaudPosition, shown.channelPosition, shown.serialBaudPosition,
            shown.parityPosition, shown.idText.toStdU16String()};
}

bool EncodeWritePayload(int step, const WriteSelection& values, uint8_t* frame) {
    return FillWritePayload(step, values, frame);
}
