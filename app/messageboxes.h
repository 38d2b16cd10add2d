#pragma once

// Shows the program's messages in real modal boxes.
void InstallMessageBoxes();
