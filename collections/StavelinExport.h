#pragma once

#include <QtCore/qglobal.h>

#if defined(STAVELIN_BUILDING)
#define STAVELIN_EXPORT Q_DECL_EXPORT
#else
#define STAVELIN_EXPORT Q_DECL_IMPORT
#endif
