#pragma once
#include <QIcon>

namespace velmora {

// The program's icon, drawn at the sizes the desktop asks for.
QIcon VelmoraIcon();

}  // namespace velmora
