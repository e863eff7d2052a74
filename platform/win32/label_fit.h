#pragma once

#include <windows.h>

// Widens each label, check box and radio button of the dialog to its text in
// the dialog's font, so that no translation, font or screen cuts it short;
// a control is never narrowed. A label aligned right keeps its right edge.
// The dialog grows where a control would pass its edge.
void FitLabelsToText(HWND dialog);
