#pragma once

// Makes ShowMessageBox show a real modal box: caption "Velmora Quindle", an
// OK button. A call from another thread is shown
// on the user-interface thread and returns when the user has closed the box.
void InstallQtMessageBoxes();
