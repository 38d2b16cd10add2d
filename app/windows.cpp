#include "app/windows.h"

#include "app/aboutbox.h"
#include "app/language.h"
#include "app/languagewindow.h"
#include "app/linkviews.h"
#include "app/mainwindow.h"
#include "app/portreturnview.h"
#include "app/preferences.h"
#include "app/productionwindow.h"
#include "app/progresswindow.h"
#include "app/sendviews.h"
#include "factory/formtest.h"
#include "serial/serialform.h"

TForm1* Form1 = nullptr;
TForm2* Form2 = nullptr;
// Serial_Form is defined beside its class.
TForm_Progress* Form_Progress = nullptr;
TAboutBox* AboutBox = nullptr;
TFormTest* FormTest = nullptr;

void CreateWindows() {
    Form1 = new TForm1;
    Form1->FormCreate();
    Link().setHost(Form1);
    Form2 = new TForm2;
    Serial_Form = new TSerial_Form(Link());
    Link().setDisplay(Serial_Form);
    QObject::connect(Serial_Form, &TSerial_Form::portOpened, RememberPort);
    ApplyPortDialogTexts();
    Form_Progress = new TForm_Progress;
    AboutBox = new TAboutBox;
    FormTest = new TFormTest(Link(), Form1, [] { Form1->startReceivePoll(); });
    CreateLinkViews();
    Reconnection = new PortReturnView(*Form1, Link());
    CreateSendViews();
    AddProductionMenu(*Form1);
    Form1->settleDesignSize();
}
