#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// Icon and bitmap resources by their resource ID, as the dialog templates
// name them.
void RegisterImageResource(int id, const QString& path);
QPixmap LoadBitmapResource(int id);
QIcon LoadIconResource(int id);
