#pragma once

#include <QString>

class QLabel;

// A label that shows a value (a folder, a version) rather than naming
// something: assistive technology reads what it shows as its name and its
// text, and `description` says what the value is.
void MakeValueLabel(QLabel* label, const QString& description);

// Tells assistive technology that a value label shows something new.
void ValueLabelChanged(QLabel* label);
