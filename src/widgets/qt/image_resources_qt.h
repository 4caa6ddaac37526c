#pragma once

#include <QIcon>
#include <QPixmap>

// The pictures registered with RegisterImageResource, as Qt shows them.
QPixmap LoadBitmapResource(int id);
QIcon LoadIconResource(int id);
