#pragma once

// The six windows of the program, created once at start-up in this order and kept until the
// process ends. Every part of the program reaches them through these references.
class TForm1;
class TForm2;
class TSerial_Form;
class TForm_Progress;
class TAboutBox;
class TFormTest;

extern TForm1* Form1;
extern TForm2* Form2;
extern TSerial_Form* Serial_Form;
extern TForm_Progress* Form_Progress;
extern TAboutBox* AboutBox;
extern TFormTest* FormTest;

// Creates the six windows in table order; the main window runs FormCreate as it is built.
void CreateWindows();
